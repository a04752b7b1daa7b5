"""Streams: pooled frames as Images, their lifetimes across release and close, and Ctrl-C."""
import os
import signal
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import qmv3


def test_stream_lends_pattern_frames_and_copies_outlive_it():
    with qmv3.stream(prop="Frame16", rate_ms=1, keep="oldest") as frames:
        images = [frames.next(timeout_ms=5000) for _ in range(3)]
        numbers = [image.frame_number for image in images]
        assert numbers == list(range(numbers[0], numbers[0] + 3))
        pixels = images[0].pixels
        assert pixels.shape == (480, 640) and pixels.dtype == np.uint16
        y, x = np.mgrid[0:480, 0:640]
        assert np.array_equal(pixels, (x + 2 * y + 3 * numbers[0]) & 0xFFF)
        kept = images[1].copy()
        for image in images:
            image.release()
        with pytest.raises(ValueError):
            images[1].pixels
        stats = frames.stats
        assert stats["handed_out"] == 3 and stats["link_losses"] == 0
        for key in ("delivered", "dropped_queue_full", "gaps", "repeats", "queue_high_water"):
            assert key in stats
    # Closed: the view taken before and the copy stay valid; the stream refuses.
    assert pixels[0, 1] == (1 + 3 * numbers[0]) & 0xFFF
    assert kept.frame_number == numbers[1] and kept.pixels[0, 0] == (3 * numbers[1]) & 0xFFF
    with pytest.raises(qmv3.GrabError):
        frames.next(timeout_ms=0)
    frames.close()


@pytest.mark.parametrize(
    "arguments, error",
    [
        ({"keep": "middle"}, ValueError),
        ({"queue": 0}, ValueError),
        ({"prop": "Sm/all"}, qmv3.GrabError),
        ({"prop": "Absent"}, qmv3.GrabError),
    ],
)
def test_stream_refuses_bad_arguments(arguments, error):
    with pytest.raises(error):
        qmv3.stream(**arguments)


def test_stream_times_out_when_no_frame_comes():
    with qmv3.stream(rate_ms=60000) as frames:  # the first delivery comes after a minute
        with pytest.raises(TimeoutError):
            frames.next(timeout_ms=200)


def test_ctrl_c_ends_iteration_cleanly():
    script = textwrap.dedent(
        """
        import sys, qmv3
        try:
            with qmv3.stream(prop="Frame", rate_ms=5) as frames:
                for count, image in enumerate(frames):
                    if count == 3:
                        print("ready", flush=True)
        except KeyboardInterrupt:
            print("interrupted", flush=True)
        """
    )
    child = subprocess.Popen(
        [sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=os.environ
    )
    try:
        assert child.stdout.readline().strip() == "ready"
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=20)
    finally:
        child.kill()
    assert out.strip() == "interrupted", err
    assert child.returncode == 0, err
