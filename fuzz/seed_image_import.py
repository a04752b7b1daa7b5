#!/usr/bin/python3
"""Seeds of the image import harness: small TIFF, PNG and HDF5 files of every layout the library reads,
made by tifffile, Pillow and h5py, the tool's own exports, and a few it refuses.

  seed_image_import.py CORPUS_DIR QMV3_TOOL
"""
import os
import subprocess
import sys
import tempfile

import h5py
import numpy as np
import tifffile
from PIL import Image


def main(corpus, tool):
    out = os.path.join(corpus, "image_import")
    os.makedirs(out, exist_ok=True)
    rng = np.random.default_rng(3)
    grey8 = rng.integers(0, 256, (6, 8), dtype=np.uint8)
    grey16 = rng.integers(0, 4096, (2, 6, 8), dtype=np.uint16)
    rgb = rng.integers(0, 256, (6, 8, 3), dtype=np.uint8)

    def path(name):
        return os.path.join(out, name)

    tifffile.imwrite(path("grey8.tif"), grey8)
    tifffile.imwrite(path("grey16-pages.tif"), grey16, photometric="minisblack")
    tifffile.imwrite(path("rgb.tif"), rgb, photometric="rgb")
    tifffile.imwrite(path("rgb-planar.tif"), rgb.transpose(2, 0, 1), photometric="rgb", planarconfig="separate")
    tifffile.imwrite(path("tiled-zlib.tif"), np.tile(grey8, (3, 3)), tile=(16, 16), compression="zlib")
    tifffile.imwrite(path("miniswhite.tif"), grey8, photometric="miniswhite")
    tifffile.imwrite(path("big-endian.tif"), grey16, photometric="minisblack", byteorder=">")
    tifffile.imwrite(path("float.tif"), grey8.astype(np.float32))
    Image.fromarray(rgb).save(path("lzw.tif"), compression="tiff_lzw")
    Image.fromarray(rgb).save(path("jpeg.tif"), compression="jpeg")
    Image.fromarray(grey8).save(path("grey8.png"))
    Image.fromarray(grey16[0]).save(path("grey16.png"))
    Image.fromarray(rgb).save(path("rgb.png"))
    Image.fromarray(rgb).quantize(8).save(path("palette.png"))
    Image.fromarray(np.dstack([grey8, grey8[::-1]]), "LA").save(path("grey-alpha.png"))
    Image.fromarray(grey8 > 128).save(path("one-bit.png"))
    with h5py.File(path("stack.h5"), "w") as f:
        f["images"] = grey16
    with h5py.File(path("rgb-deflate.h5"), "w") as f:
        f.create_dataset("entry/data/data", data=rgb[np.newaxis], chunks=(1, 6, 8, 3), compression="gzip")
    with h5py.File(path("two-stacks.h5"), "w") as f:
        f["a"] = grey8
        f["b"] = grey8
    with tempfile.TemporaryDirectory() as scratch:
        # The tool's own layouts: JSON descriptions, the stack lines, deflate with predictor.
        env = dict(os.environ, QMV3_PROGRESS="0", ORSEL_CLIENTLIB_LOGGING_PATH=scratch)
        for name in ("grey16-pages.tif", "rgb.png"):
            stem = os.path.join(scratch, name.split(".")[0])
            subprocess.run([tool, "convert", path(name), stem + ".imc2"], check=True, env=env, stdout=subprocess.DEVNULL)
            for suffix, options in (("-ours.tif", []), ("-ours-deflate.tif", ["--compress"]),
                                    ("-ours.png", ["--frames", "1:1"]), ("-ours.h5", ["--compress"])):
                subprocess.run([tool, "export", stem + ".imc2", stem + suffix] + options, check=True,
                               env=env, stdout=subprocess.DEVNULL)
                os.replace(stem + suffix, path(os.path.basename(stem) + suffix))
    with open(path("grey16-pages.tif"), "rb") as whole:
        data = whole.read()
    with open(path("cut.tif"), "wb") as cut:
        cut.write(data[: len(data) * 2 // 3])


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
