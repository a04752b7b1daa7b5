"""Ctrl-C during long calls, and memory that the objects release."""
import os
import signal
import subprocess
import sys
import threading

import numpy as np
import pytest

import qmv3
from conftest import gradient_frames


def interrupt_on_first_progress():
    sent = []

    def progress(fraction):
        if not sent:
            sent.append(fraction)
            os.kill(os.getpid(), signal.SIGINT)

    return progress


def test_ctrl_c_stops_a_grab():
    timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        qmv3.grab(1000, rate_ms=300)  # would take five minutes
    timer.join()
    assert len(qmv3.grab(1, rate_ms=100)) == 1  # the library is ready for the next grab


def test_ctrl_c_keeps_the_frames_a_grab_received():
    script = """
import qmv3
said = []
def progress(fraction):
    if fraction > 0 and not said:
        said.append(print("receiving", flush=True))
try:
    qmv3.grab(1000, rate_ms=300, progress=progress)  # would take five minutes
except qmv3.GrabInterrupted as stopped:
    frames = stopped.sequence
    print(isinstance(stopped, KeyboardInterrupt), len(frames), frames.is_complete, frames[0].frame_number, stopped)
"""
    child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "receiving\n"
        child.send_signal(signal.SIGINT)
        out = child.communicate(timeout=60)[0].split()
    finally:
        child.kill()
    assert child.returncode == 0 and out[:1] == ["True"], out
    assert 1 <= int(out[1]) < 1000 and out[2:4] == ["True", "1"], out
    assert "interrupted," in out and "frames" in out


@pytest.fixture(scope="module")
def long_sequence():
    return qmv3.Sequence.from_numpy(gradient_frames(150, 480, 640, "gray8"))


def test_ctrl_c_stops_a_save_and_leaves_no_file(tmp_path, long_sequence):
    for name in ("run.imc2", "run.imm"):
        with pytest.raises(KeyboardInterrupt):
            long_sequence.save(tmp_path / name, progress=interrupt_on_first_progress())
        assert not (tmp_path / name).exists()
        # A file being replaced stays as it was.
        long_sequence[:2].save(tmp_path / name)
        before = (tmp_path / name).read_bytes()
        with pytest.raises(KeyboardInterrupt):
            long_sequence.save(tmp_path / name, progress=interrupt_on_first_progress(), overwrite=True)
        assert (tmp_path / name).read_bytes() == before
        assert not [path for path in tmp_path.iterdir() if path.name.startswith(".")]


def test_ctrl_c_stops_a_load(tmp_path, long_sequence):
    long_sequence.save(tmp_path / "run.imc2")
    with pytest.raises(KeyboardInterrupt):
        qmv3.load(tmp_path / "run.imc2", progress=interrupt_on_first_progress())
    assert len(qmv3.load(tmp_path / "run.imc2")) == 150


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def test_loading_and_dropping_does_not_grow(tmp_path):
    mib = 1 << 20
    path = tmp_path / "big.imc2"
    qmv3.Sequence.from_numpy(np.full((16, 4096, 4096), 9, np.uint8)).save(path)  # 256 MiB of frames
    sizes = []
    for _ in range(20):
        sequence = qmv3.load(path)
        assert sequence[15].pixels[4095, 4095] == 9
        del sequence
        sizes.append(resident_bytes())
    assert sizes[-1] - sizes[2] < 32 * mib, [size // mib for size in sizes]
