#!/bin/sh
# The installed package: cmake --install into a fresh prefix, then import it from another folder with
# only PYTHONPATH set, and check that it uses the installed library, not the build tree's.
set -eu
build=$1 python=$2 cmake=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cmake" --install "$build" --prefix "$work/prefix" >/dev/null
cd "$work"
PYTHONPATH="$work/prefix/lib/python3/dist-packages" "$python" - "$work" <<'PYTHON'
import sys
import numpy as np
import qmv3

work = sys.argv[1]
assert qmv3.__file__.startswith(work + "/prefix/"), qmv3.__file__
with open("/proc/self/maps") as maps:
    libraries = {line.split()[-1] for line in maps if "libqmv3.so" in line}
assert libraries and all(path.startswith(work + "/prefix/") for path in libraries), libraries
frames = np.arange(2 * 6 * 4, dtype=np.uint8).reshape(2, 6, 4)
qmv3.Sequence.from_numpy(frames).save(work + "/x.imc2")
assert (qmv3.load(work + "/x.imc2").frames == frames).all()
print("installed package", qmv3.__version__, "works from", qmv3.__file__)
PYTHON
