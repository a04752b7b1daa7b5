"""Grabs from the simulated camera: frames, the test pattern, JPEG frames, progress, errors."""
import threading
import warnings

import numpy as np
import pytest

import qmv3


def pattern(frame_number, height=480, width=640, bits=8):
    y, x = np.mgrid[0:height, 0:width]
    return (x + 2 * y + 3 * frame_number) & ((1 << bits) - 1)


def test_grab_gives_the_camera_frames_without_holding_the_gil():
    ticks, done = [0], threading.Event()

    def count():  # runs only while the grab lets go of the GIL
        while not done.is_set():
            ticks[0] += 1

    counter = threading.Thread(target=count)
    counter.start()
    fractions = []
    try:
        frames = qmv3.grab(3, rate_ms=100, progress=fractions.append)
    finally:
        done.set()
        counter.join()
    assert ticks[0] > 1000
    assert len(frames) == 3 and frames.is_complete
    stack = frames.frames
    assert stack.shape == (3, 480, 640) and stack.dtype == np.uint8
    for image, pixels in zip(frames, stack):
        np.testing.assert_array_equal(pixels, pattern(image.frame_number))
        assert image.timestamp.tzinfo is not None and image.format == "GRAY"
    assert fractions == sorted(fractions) and fractions[-1] == 1.0


def test_grab_one_of_each_property():
    gray16 = qmv3.grab_one(prop="Frame16")
    assert gray16.pixels.dtype == np.uint16 and gray16.effective_bits == 12
    np.testing.assert_array_equal(gray16.pixels, pattern(gray16.frame_number, bits=12))
    rgb = qmv3.grab_one(prop="FrameRGB")
    assert rgb.pixels.shape == (480, 640, 3)
    np.testing.assert_array_equal(rgb.pixels[..., 1], (pattern(rgb.frame_number, bits=32) + 85) & 0xFF)
    assert rgb.header()["frameBufferSize"] == 640 * 480 * 3


def test_jpeg_frames():
    frames = qmv3.grab(2, prop="FrameJpeg", rate_ms=100)
    assert frames[0].format == "JPEG"
    with pytest.raises(ValueError, match="JPEG"):
        frames.frames
    with pytest.raises(ValueError, match="JPEG"):
        frames[0].pixels
    assert frames.decompress() == 2 and frames[0].format == "GRAY"
    assert frames.frames.shape == (2, 480, 640)
    assert qmv3.grab(1, prop="FrameJpeg", decompress=True)[0].format == "GRAY"


def test_grab_errors_carry_the_codes():
    with pytest.raises(qmv3.GrabError) as single:
        qmv3.grab_one(address="/SIM/CAMSERVER/NOPE", timeout_ms=100)
    assert (single.value.code, single.value.zant_code) == (-3, 12)
    assert "control system code 12" in str(single.value)
    with pytest.raises(qmv3.GrabError) as multi:
        qmv3.grab(2, prop="NoSuchProperty")
    assert multi.value.code in (-1, -6) and multi.value.sequence is None
    assert str(multi.value).endswith('its properties: Frame, Frame16, FrameRGB, FrameJpeg')
    assert "its properties" not in str(single.value)  # an unknown device has none to offer
    assert qmv3.device_properties() == ["Frame", "Frame16", "FrameRGB", "FrameJpeg"]
    assert qmv3.device_properties("/SIM/CAMSERVER/NOPE") is None
    with pytest.raises(qmv3.GrabError) as limited:
        qmv3.grab(1000, rate_ms=300, timeout_ms=700)
    assert limited.value.code == -2 and "time limit" in str(limited.value)
    assert 1 <= len(limited.value.sequence) < 1000
    with pytest.raises(ValueError):
        qmv3.grab(2, mode="NOT_A_MODE")


@pytest.mark.parametrize("rate, side", [(100, "below"), (4001, "above")])
def test_a_rate_outside_the_recommended_range_warns(rate, side):
    expected = f"an access rate of {rate} ms is {side} the recommended range of 300 to 4000 ms"
    with pytest.warns(UserWarning, match=expected) as caught, pytest.raises(qmv3.GrabError):
        qmv3.grab(1, prop="NoSuchProperty", rate_ms=rate)  # warned before the grab, which fails at once
    assert caught[0].filename == __file__
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert len(qmv3.grab(1, rate_ms=300)) == 1
