"""Ctrl-C during long calls, and memory that the objects release."""
import os
import signal
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


@pytest.fixture(scope="module")
def long_sequence():
    return qmv3.Sequence.from_numpy(gradient_frames(150, 480, 640, "gray8"))


def test_ctrl_c_stops_a_save_and_leaves_no_file(tmp_path, long_sequence):
    for name in ("run.imc2", "run.imm"):
        with pytest.raises(KeyboardInterrupt):
            long_sequence.save(tmp_path / name, progress=interrupt_on_first_progress())
        assert not (tmp_path / name).exists()


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
