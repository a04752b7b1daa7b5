"""qmv3.record: frames of a stream straight to files, the summary, and Ctrl-C."""
import os
import signal
import threading

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
