"""The package as it is found on disk."""
import glob
import os
import shutil
import subprocess
import sys

import qmv3


def test_a_package_without_its_extension_says_how_to_build_it(tmp_path):
    copy = tmp_path / "qmv3"
    copy.mkdir()
    for path in glob.glob(os.path.join(os.path.dirname(qmv3.__file__), "*.py")):
        shutil.copy(path, copy)
    done = subprocess.run([sys.executable, "-c", "import qmv3"], cwd=tmp_path, capture_output=True, text=True,
                          env={**os.environ, "PYTHONPATH": str(tmp_path)})
    assert done.returncode != 0
    assert "ImportError: the Python package qmv3 in " + str(copy) + " is incomplete" in done.stderr, done.stderr
    assert "cmake --build build --target qmv3_python" in done.stderr
