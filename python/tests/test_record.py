"""qmv3.record: frames of a stream straight to files, the summary, and Ctrl-C."""
import os
import signal
import subprocess
import sys
import threading
import time

import pytest

import qmv3


def test_record_writes_split_files_and_returns_the_summary(tmp_path):
    path = tmp_path / "run.imc2"
    summary = qmv3.record(path, n=7, rate_ms=20, split=4)
    assert {k: summary[k] for k in ("received", "written", "dropped", "files")} == {
        "received": 7, "written": 7, "dropped": 0, "files": 2}
    assert summary["bytes"] == os.path.getsize(path) + os.path.getsize(tmp_path / "run-0002.imc2")
    numbers = [image.frame_number for image in qmv3.load(path)] + [
        image.frame_number for image in qmv3.load(tmp_path / "run-0002.imc2")]
    assert numbers == list(range(numbers[0], numbers[0] + 7))


@pytest.mark.parametrize("arguments", [{}, {"n": 3, "duration_s": 1}, {"n": 3, "compress": "best"},
                                       {"n": 3, "split": 0}])
def test_record_refuses_bad_arguments(tmp_path, arguments):
    with pytest.raises(ValueError):
        qmv3.record(tmp_path / "a.imc2", **arguments)
    assert not (tmp_path / "a.imc2").exists()


def test_record_refuses_an_existing_file_without_force(tmp_path):
    path = tmp_path / "a.imc2"
    path.write_bytes(b"old")
    with pytest.raises(qmv3.FileError, match="exists"):
        qmv3.record(path, n=2)
    assert path.read_bytes() == b"old"


def test_ctrl_c_ends_the_recording_with_its_summary(tmp_path):
    path = tmp_path / "stopped.imc2"
    timer = threading.Timer(1.0, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    summary = qmv3.record(path, duration_s=60, rate_ms=20)
    timer.join()
    assert summary["interrupted"]
    assert summary["written"] > 0
    assert len(qmv3.load(path)) == summary["written"]


@pytest.mark.parametrize("prop, compress", [("Frame16", "fast"), ("FrameRGB", "none")])
def test_record_to_hdf5_gives_one_file_h5py_and_the_library_read_alike(tmp_path, prop, compress):
    h5py = pytest.importorskip("h5py", reason="scripts/install-deps.sh installs python3-h5py")
    path = tmp_path / "run.h5"
    summary = qmv3.record(path, n=6, rate_ms=30, prop=prop, compress=compress, split=2)
    assert (summary["written"], summary["files"], summary["bytes"]) == (6, 1, os.path.getsize(path))
    loaded = qmv3.load(path)
    with h5py.File(path, "r") as f:
        data = f["/entry/data/data"]
        assert data.chunks == (1,) + data.shape[1:]
        assert (data.compression == "gzip") == (compress != "none")
        assert (f["/entry"].attrs["NX_class"], f["/entry/data"].attrs["signal"]) == (b"NXentry", b"data")
        assert (data[:] == loaded.frames).all()
        numbers = f["/entry/data/frame_number"][:]
        assert list(numbers) == list(range(numbers[0], numbers[0] + 6))
        assert list(numbers) == list(loaded.frame_numbers)
        assert (f["/entry/data/timestamp"][:] == loaded.timestamps).all()


def test_h5py_reads_a_growing_recording(tmp_path):
    h5py = pytest.importorskip("h5py", reason="scripts/install-deps.sh installs python3-h5py")
    path = tmp_path / "growing.h5"
    script = f"import qmv3; print(qmv3.record({str(path)!r}, duration_s=4, rate_ms=20)['written'])"
    writer = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True)
    counts = []
    deadline = time.monotonic() + 10
    f = None
    while f is None and time.monotonic() < deadline:
        try:
            f = h5py.File(path, "r", libver="latest", swmr=True)
            data = f["/entry/data/data"]
        except (OSError, KeyError):  # not yet created, or not yet open to readers
            f = None
            time.sleep(0.1)
    assert f is not None
    with f:
        for _ in range(5):
            data.refresh()
            counts.append(data.shape[0])
            time.sleep(0.4)
    written = int(writer.communicate(timeout=30)[0])
    assert writer.returncode == 0
    assert counts == sorted(counts) and counts[-1] > counts[0], counts
    with h5py.File(path, "r") as f:
        assert f["/entry/data/data"].shape[0] == written
