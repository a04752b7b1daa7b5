"""The Python package's load against the C load, measured in one run (`make bench` prints the row).

Subject: qmv3.load(path).frames, 100 frames of 640 x 480 8-bit (a gradient plus noise, fixed seed) from
an IMC2 file, the sequence dropped again. Baseline: qmLoadImagesFromFileEx and qmFreeBunch of the same
file, called through ctypes on the same libqmv3 in the same process. Repetitions are interleaved in
random order; the ratio is that of the medians of the process CPU time (the package loads on a helper
thread, so the time of the calling thread alone would miss it), the wall-clock ratio beside it.
"""
import ctypes
import os
import random
import statistics
import sys
import tempfile
import time

import numpy as np

import qmv3

FRAMES, HEIGHT, WIDTH = 100, 480, 640
REPETITIONS = int(os.environ.get("QMV3_PY_BENCH_REPETITIONS", "9"))
GOAL = 1.3


class Bunch(ctypes.Structure):
    _fields_ = [("imageArray", ctypes.c_void_p), ("numFrames", ctypes.c_uint32)]


def library():
    """The libqmv3 the extension loaded (a dlopen of its soname returns the loaded object)."""
    lib = ctypes.CDLL("libqmv3.so.1")
    lib.qmLoadImagesFromFileEx.argtypes = [ctypes.c_char_p, ctypes.POINTER(Bunch), ctypes.c_void_p, ctypes.c_void_p,
                                           ctypes.c_char_p, ctypes.c_uint]
    lib.qmFreeBunch.argtypes = [ctypes.POINTER(Bunch)]
    return lib


def frames():
    rng = np.random.default_rng(42)
    y, x = np.mgrid[0:HEIGHT, 0:WIDTH]
    return np.stack([(x + y + k + rng.integers(0, 8, size=x.shape)) & 0xFF for k in range(FRAMES)]).astype(np.uint8)


def measure(work):
    cpu, real = time.process_time(), time.perf_counter()
    work()
    return time.process_time() - cpu, time.perf_counter() - real


def main():
    lib = library()
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "frames.imc2")
        qmv3.Sequence.from_numpy(frames()).save(path)
        encoded = os.fsencode(path)

        def c_load():
            bunch = Bunch()
            message = ctypes.create_string_buffer(1024)
            if lib.qmLoadImagesFromFileEx(encoded, ctypes.byref(bunch), None, None, message, 1024) != 0:
                sys.exit(f"C load failed: {message.value.decode()}")
            lib.qmFreeBunch(ctypes.byref(bunch))

        def python_load():
            array = qmv3.load(path).frames
            assert array.shape == (FRAMES, HEIGHT, WIDTH)

        results = {"subject": [], "baseline": []}
        c_load(), python_load()  # warm the file cache and the code
        order = ["subject", "baseline"] * REPETITIONS
        random.Random(1).shuffle(order)
        for name in order:
            results[name].append(measure(python_load if name == "subject" else c_load))
    medians = {name: [statistics.median(value[i] for value in values) for i in (0, 1)]
               for name, values in results.items()}
    ratio = medians["subject"][0] / medians["baseline"][0]
    real = medians["subject"][1] / medians["baseline"][1]
    label = f"Python load().frames {FRAMES} x {WIDTH}x{HEIGHT} 8-bit vs the C load (process CPU)"
    print()
    print("Python package, medians of %d interleaved repetitions" % REPETITIONS)
    print(f"{'measurement (subject / baseline)':<80}{'subject':>9}{'baseline':>12}{'ratio':>8}{'goal':>8}  met"
          f"{'real':>8}")
    print(f"{label:<80}{medians['subject'][0] * 1e3:>6.2f} ms{medians['baseline'][0] * 1e3:>9.2f} ms{ratio:>8.3f}"
          f"{'<=' + str(GOAL):>8}  {'yes' if ratio <= GOAL else 'NO ':<3}{real:>8.3f}")


if __name__ == "__main__":
    main()
