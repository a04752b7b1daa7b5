"""Shared fixtures of the qmv3 package tests: the command-line tool and synthetic frames."""
import os
import subprocess

import numpy as np
import pytest


@pytest.fixture(scope="session")
def tool():
    """Runs the qmv3 command-line tool (its path comes from ctest) and returns its standard output."""
    path = os.environ.get("QMV3_TOOL")
    if not path:
        pytest.skip("QMV3_TOOL is not set (the tests run under ctest)")

    def run(*arguments):
        done = subprocess.run([path, *map(str, arguments)], capture_output=True, text=True)
        assert done.returncode == 0, done.stderr
        return done.stdout

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
