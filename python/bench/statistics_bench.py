"""Sequence.statistics against the same definitions written in numpy, measured in one run.

Subject: qmv3 Sequence.statistics(border=8) of 50 scene frames of 640 x 480 8-bit (the stand-in's beam
spot, grabbed from the simulated camera), computed by the library. Baseline: the same figures in numpy,
frame by frame, vectorised as a numpy user writes them (a border median, weights, moments). Repetitions are
interleaved in random order; the ratio is that of the medians of the process CPU time, the wall-clock
ratio beside it. Goal: the library at least 5 times faster (ratio at most 0.2).
"""
import os
import random
import statistics
import time

import numpy as np

import qmv3

FRAMES, BORDER = 50, 8
REPETITIONS = int(os.environ.get("QMV3_PY_BENCH_REPETITIONS", "9"))
GOAL = 0.2


def numpy_statistics(frames):
    """The definitions in numpy, one dict of arrays like Sequence.statistics."""
    out = {key: [] for key in ("min", "max", "min_x", "min_y", "max_x", "max_y", "mean", "sigma", "total", "net",
                               "saturated", "centroid_x", "centroid_y", "sigma_x", "sigma_y", "sigma_xy",
                               "orientation_deg", "eccentricity")}
    height, width = frames.shape[1:]
    ring = np.ones((height, width), bool)
    ring[BORDER:height - BORDER, BORDER:width - BORDER] = False
    j, i = np.mgrid[0:height, 0:width]
    for frame in frames:
        v = frame.astype(np.float64)
        b = np.median(v[ring])
        w = np.where(v - b > 0, v - b, 0.0)
        net = w.sum()
        cx, cy = (w * i).sum() / net, (w * j).sum() / net
        xx, yy = (w * (i - cx) ** 2).sum() / net, (w * (j - cy) ** 2).sum() / net
        xy = (w * (i - cx) * (j - cy)).sum() / net
        low, high = np.argmin(v), np.argmax(v)
        root = np.sqrt((xx - yy) ** 2 / 4 + xy ** 2)
        for key, value in (("min", v.flat[low]), ("max", v.flat[high]), ("min_x", low % width),
                           ("min_y", low // width), ("max_x", high % width), ("max_y", high // width),
                           ("mean", v.mean()), ("sigma", v.std()), ("total", v.sum()), ("net", net),
                           ("saturated", (v >= 255).sum()), ("centroid_x", cx), ("centroid_y", cy),
                           ("sigma_x", np.sqrt(xx)), ("sigma_y", np.sqrt(yy)), ("sigma_xy", xy),
                           ("orientation_deg", np.degrees(0.5 * np.arctan2(2 * xy, xx - yy))),
                           ("eccentricity", np.sqrt(1 - ((xx + yy) / 2 - root) / ((xx + yy) / 2 + root)))):
            out[key].append(value)
    return {key: np.array(values) for key, values in out.items()}


def measure(work):
    cpu, real = time.process_time(), time.perf_counter()
    work()
    return time.process_time() - cpu, time.perf_counter() - real


def main():
    sequence = qmv3.grab(FRAMES)
    frames = sequence.frames
    library, reference = sequence.statistics(border=BORDER), numpy_statistics(frames)
    for key, values in reference.items():
        assert np.allclose(library[key], values, rtol=1e-9, atol=1e-9), key
    results = {"subject": [], "baseline": []}
    order = ["subject", "baseline"] * REPETITIONS
    random.Random(1).shuffle(order)
    for name in order:
        work = (lambda: sequence.statistics(border=BORDER)) if name == "subject" else (
            lambda: numpy_statistics(frames))
        results[name].append(measure(work))
    medians = {name: [statistics.median(value[k] for value in values) for k in (0, 1)]
               for name, values in results.items()}
    ratio = medians["subject"][0] / medians["baseline"][0]
    real = medians["subject"][1] / medians["baseline"][1]
    label = f"Python Sequence.statistics {FRAMES} x 640x480 8-bit vs the definitions in numpy (process CPU)"
    print()
    print("Python package, medians of %d interleaved repetitions" % REPETITIONS)
    print(f"{'measurement (subject / baseline)':<80}{'subject':>9}{'baseline':>12}{'ratio':>8}{'goal':>8}  met"
          f"{'real':>8}")
    print(f"{label:<80}{medians['subject'][0] * 1e3:>6.2f} ms{medians['baseline'][0] * 1e3:>9.2f} ms{ratio:>8.3f}"
          f"{'<=' + str(GOAL):>8}  {'yes' if ratio <= GOAL else 'NO ':<3}{real:>8.3f}")


if __name__ == "__main__":
    main()
