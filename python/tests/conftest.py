"""Shared fixtures of the qmv3 package tests: the command-line tool and synthetic frames."""
import os
import subprocess

import tempfile

import numpy as np
import pytest

# The grab tests check exact pixel values: the default camera serves the moving test pattern instead of
# its scene. The stand-in reads this when the control system starts, at the first grab.
_PATTERN_CAMERA = """<zantsim><device address="/SIM/CAMSERVER/CAM0">
<property name="Frame" source="pattern"/>
<property name="Frame16" source="pattern" bytesPerPixel="2" effectiveBits="12"/>
<property name="FrameRGB" source="pattern" format="RGB"/>
<property name="FrameJpeg" source="pattern" compression="jpeg"/>
</device></zantsim>"""
with tempfile.NamedTemporaryFile("w", suffix=".xml", prefix="qmv3-pattern-", delete=False) as _config:
    _config.write(_PATTERN_CAMERA)
os.environ["ZANTSIM_CONFIG"] = _config.name


@pytest.fixture(scope="session")
def tool():
    """Runs the qmv3 command-line tool (its path comes from ctest), expects the exit status (default 0)
    and returns its standard output, or with output="stderr" its standard error."""
    path = os.environ.get("QMV3_TOOL")
    if not path:
        pytest.skip("QMV3_TOOL is not set (the tests run under ctest)")

    def run(*arguments, status=0, output="stdout"):
        done = subprocess.run([path, *map(str, arguments)], capture_output=True, text=True)
        assert done.returncode == status, done.stderr
        return getattr(done, output)

    return run


def gradient_frames(count, height, width, kind):
    """Frames with a gradient plus noise, so that they compress like camera frames; fixed seed."""
    rng = np.random.default_rng(7)
    y, x = np.mgrid[0:height, 0:width]
    base = (x + 2 * y).astype(np.uint16)
    if kind == "rgb":
        out = np.empty((count, height, width, 3), np.uint8)
    else:
        out = np.empty((count, height, width), np.uint16 if kind == "gray16" else np.uint8)
    for k in range(count):
        frame = base + np.uint16(3 * k) + rng.integers(0, 4, size=base.shape, dtype=np.uint16)
        if kind == "gray8":
            out[k] = frame & 0xFF
        elif kind == "gray16":
            out[k] = (frame * 5) & 0x0FFF
        else:
            for channel in range(3):
                out[k, ..., channel] = (frame + 85 * channel) & 0xFF
    return out


def pytest_unconfigure(config):
    """Removes the camera configuration file."""
    os.unlink(_config.name)
