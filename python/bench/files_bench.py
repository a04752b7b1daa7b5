"""The memory and the time of qmv3.load(path).frames, each against its baseline (`make bench` prints the rows).

Subject: a run of 100 frames of 1024 x 1024 16-bit (200 MiB; a gradient plus noise, fixed seed) saved by
the package as an IMC2 file with uncompressed pixel blocks, and exported by the library as HDF5
(uncompressed, /entry/data/data).

- Memory: the peak resident memory that qmv3.load(path).frames adds, over the frame bytes it holds,
  measured in a child process that does nothing else (the peak is reset to the current resident size
  just before the load). The frames should be held once: the load's block, with the array a view of it.
- Time: qmv3.load(path).frames of the IMC2 file against h5py reading the same frames from the HDF5 file
  into one array the usual way (dataset[()]), in the same process, repetitions interleaved in random
  order, medians of wall-clock time (the package loads on a helper thread) with the process CPU ratio
  beside. Both files hold the frames uncompressed, so the row compares the readers rather than zlib
  against a plain copy. A second row, without a goal, sets the load beside h5py's read_direct into a
  new array: that is reading the file into fresh memory, the floor of any load, so it shows how close
  the load comes to the floor rather than a reader to beat.
"""
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

import qmv3

FRAMES = int(os.environ.get("QMV3_PY_BENCH_FRAMES", "100"))
HEIGHT, WIDTH = 1024, 1024
REPETITIONS = int(os.environ.get("QMV3_PY_BENCH_REPETITIONS", "9"))
MEMORY_GOAL = 1.1
TIME_GOAL = 0.8


def frames():
    rng = np.random.default_rng(42)
    y, x = np.mgrid[0:HEIGHT, 0:WIDTH]
    base = (x + y).astype(np.uint16)
    return np.stack([(base + k + rng.integers(0, 16, size=base.shape, dtype=np.uint16)) & 0x0FFF
                     for k in range(FRAMES)])


def status(field):
    """A field of /proc/self/status in bytes."""
    with open("/proc/self/status") as lines:
        for line in lines:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise RuntimeError(f"/proc/self/status has no {field}")


def peak_child(path):
    """In the child: prints the bytes the load adds at its peak and the bytes of its frames."""
    try:
        with open("/proc/self/clear_refs", "w") as clear:
            clear.write("5")  # the peak starts again from the current resident size
    except OSError:
        pass
    before = status("VmRSS")
    array = qmv3.load(path).frames
    print(status("VmHWM") - before, array.nbytes)


def measure(work):
    cpu, real = time.process_time(), time.perf_counter()
    work()
    return time.process_time() - cpu, time.perf_counter() - real


def row(label, subject, baseline, unit, ratio, goal, extra=""):
    verdict = "-  " if goal is None else "yes" if ratio <= goal else "NO "
    print(f"{label:<80}{subject:>9.2f} {unit}{baseline:>9.2f} {unit}{ratio:>8.3f}"
          f"{'-' if goal is None else '<=' + str(goal):>8}  {verdict}{extra}")


def main():
    try:
        import h5py
    except ImportError:
        h5py = None
    with tempfile.TemporaryDirectory() as folder:
        imc2, hdf5 = os.path.join(folder, "frames.imc2"), os.path.join(folder, "frames.h5")
        sequence = qmv3.Sequence.from_numpy(frames(), effective_bits=12)
        sequence.save(imc2, compress="none")
        sequence.export(hdf5)
        del sequence

        child = subprocess.run([sys.executable, __file__, "--peak", imc2], capture_output=True, text=True,
                               check=True)
        added, frame_bytes = map(int, child.stdout.split())

        results = {"subject": [], "h5py": [], "read_direct": []}
        if h5py is not None:
            def python_load():
                assert qmv3.load(imc2).frames.shape == (FRAMES, HEIGHT, WIDTH)

            def h5py_read():
                with h5py.File(hdf5, "r") as file:
                    assert file["/entry/data/data"][()].shape == (FRAMES, HEIGHT, WIDTH)

            def h5py_read_direct():
                with h5py.File(hdf5, "r") as file:
                    dataset = file["/entry/data/data"]
                    array = np.empty(dataset.shape, dataset.dtype)
                    dataset.read_direct(array)

            work = {"subject": python_load, "h5py": h5py_read, "read_direct": h5py_read_direct}
            for name in work:
                work[name]()  # warm the file cache and the code
            order = list(work) * REPETITIONS
            random.Random(1).shuffle(order)
            for name in order:
                results[name].append(measure(work[name]))

    print()
    print(f"Python package files, {FRAMES} x {WIDTH}x{HEIGHT} 16-bit frames ({frame_bytes / 2**20:.0f} MiB)")
    print(f"{'measurement (subject / baseline)':<80}{'subject':>12}{'baseline':>12}{'ratio':>8}{'goal':>8}  met"
          f"{'cpu':>8}")
    row("peak resident memory added by load().frames vs the frame bytes", added / 2**20, frame_bytes / 2**20,
        "MiB", added / frame_bytes, MEMORY_GOAL)
    if h5py is None:
        print("IMC2 load against h5py: skipped, h5py is not installed (scripts/install-deps.sh: python3-h5py)")
        return
    medians = {name: [statistics.median(value[i] for value in values) for i in (0, 1)]
               for name, values in results.items()}
    for baseline, how, goal in (("h5py", "dataset[()]", TIME_GOAL), ("read_direct", "read_direct into a new array", None)):
        real = medians["subject"][1] / medians[baseline][1]
        cpu = medians["subject"][0] / medians[baseline][0]
        row(f"load().frames of uncompressed IMC2 vs h5py {how} (real)", medians["subject"][1] * 1e3,
            medians[baseline][1] * 1e3, " ms", real, goal, f"{cpu:>8.3f}")

if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--peak":
        peak_child(sys.argv[2])
    else:
        main()
