#!/usr/bin/python3
"""Files of other programs for the interchange tests of the qmv3 tool.

  make DIR   writes TIFF and PNG files with tifffile and Pillow, each good one with NAME.raw beside it:
             the frames' bytes as the tool must read them, back to back
  check DIR  reads the tool's exports x8, x16 and xrgb (.tif, .h5, -N.png) with tifffile, h5py and
             Pillow and compares them with x8.raw, ... written by the test; exit status 1 on a mismatch
"""
import json
import sys

import h5py
import numpy as np
import tifffile
from PIL import Image


def make(folder):
    rng = np.random.default_rng(7)

    def good(name, data, expected=None):
        with open(f"{folder}/{name}.raw", "wb") as raw:
            raw.write((data if expected is None else expected).tobytes())

    grey16 = rng.integers(0, 65536, (3, 20, 30), dtype=np.uint16)
    tifffile.imwrite(f"{folder}/grey16.tif", grey16, photometric="minisblack")
    good("grey16.tif", grey16)
    planar = rng.integers(0, 256, (2, 20, 30, 3), dtype=np.uint8)
    tifffile.imwrite(f"{folder}/planar.tif", planar.transpose(0, 3, 1, 2), photometric="rgb",
                     planarconfig="separate")
    good("planar.tif", planar)
    tiled = rng.integers(0, 256, (40, 50), dtype=np.uint8)
    tifffile.imwrite(f"{folder}/tiled.tif", tiled, tile=(16, 16), compression="zlib")
    good("tiled.tif", tiled)

    grey8 = rng.integers(0, 256, (20, 30), dtype=np.uint8)
    Image.fromarray(grey8).save(f"{folder}/grey8.png")
    good("grey8.png", grey8)
    wide = rng.integers(0, 65536, (20, 30), dtype=np.uint16)
    Image.fromarray(wide).save(f"{folder}/grey16.png")
    good("grey16.png", wide)
    rgb = rng.integers(0, 256, (20, 30, 3), dtype=np.uint8)
    Image.fromarray(rgb).save(f"{folder}/rgb.png")
    good("rgb.png", rgb)
    palette = Image.fromarray(rgb).quantize(16)
    palette.save(f"{folder}/palette.png")
    good("palette.png", np.asarray(palette.convert("RGB")))
    alpha = rng.integers(0, 256, (20, 30, 2), dtype=np.uint8)
    Image.fromarray(alpha, "LA").save(f"{folder}/alpha.png")
    v, a = alpha[..., 0].astype(np.uint32), alpha[..., 1].astype(np.uint32)
    good("alpha.png", ((v * a + 255 * (255 - a) + 127) // 255).astype(np.uint8))

    # Files outside what the tool reads.
    tifffile.imwrite(f"{folder}/float.tif", rng.random((20, 30), dtype=np.float32))
    tifffile.imwrite(f"{folder}/wide32.tif", rng.integers(0, 2**32, (20, 30), dtype=np.uint32))
    tifffile.imwrite(f"{folder}/cmyk.tif", rng.integers(0, 256, (20, 30, 4), dtype=np.uint8), photometric="separated")
    tifffile.imwrite(f"{folder}/rgba.tif", rng.integers(0, 256, (20, 30, 4), dtype=np.uint8), photometric="rgb")
    Image.fromarray(rng.integers(0, 256, (20, 30, 4), dtype=np.uint8), "RGBA").save(f"{folder}/rgba.png")
    Image.new("L", (6000, 5000)).save(f"{folder}/huge.png")
    for name, keep in (("grey16.tif", 0.6), ("grey8.png", 0.7)):
        with open(f"{folder}/{name}", "rb") as whole:
            data = whole.read()
        with open(f"{folder}/cut-{name}", "wb") as cut:
            cut.write(data[: int(len(data) * keep)])


def check(folder):
    failures = []

    def expect(condition, what):
        if not condition:
            failures.append(what)

    for name, dtype, shape in (("x8", np.uint8, (3, 10, 24)), ("x16", np.uint16, (3, 10, 24)),
                               ("xrgb", np.uint8, (3, 10, 24, 3))):
        frames = np.fromfile(f"{folder}/{name}.raw", dtype=dtype).reshape(shape)
        with tifffile.TiffFile(f"{folder}/{name}.tif") as tif:
            expect(tif.is_imagej and tif.imagej_metadata["images"] == 3, f"{name}.tif: stack description")
            expect(np.array_equal(tif.asarray(), frames), f"{name}.tif: frames")
            facts = [json.loads(page.description.splitlines()[-1]) for page in tif.pages]
            expect([f["frame_number"] for f in facts] == [5, 6, 7], f"{name}.tif: frame numbers")
            expect(facts[0]["timestamp"] == "2023-07-27T15:04:10.250000Z", f"{name}.tif: time stamp")
            expect(facts[0]["camera_port_name"] == "TestCam", f"{name}.tif: camera port")
            expect(abs(tif.pages[0].tags["XResolution"].value[0] / tif.pages[0].tags["XResolution"].value[1]
                       - 80.0) < 1e-3, f"{name}.tif: resolution")
        with h5py.File(f"{folder}/{name}.h5", "r") as h5:
            data = h5["/entry/data/data"]
            expect(h5["/entry"].attrs["NX_class"] in (b"NXentry", "NXentry"), f"{name}.h5: NXentry")
            expect(h5["/entry/data"].attrs["signal"] in (b"data", "data"), f"{name}.h5: signal")
            expect(data.dtype == dtype and data.chunks == (1,) + shape[1:], f"{name}.h5: type and chunks")
            expect(np.array_equal(data[()], frames), f"{name}.h5: frames")
            expect(list(h5["/entry/data/frame_number"][()]) == [5, 6, 7], f"{name}.h5: frame numbers")
            expect(abs(h5["/entry/data/timestamp"][0] - 1690470250.25) < 1e-6, f"{name}.h5: time stamp")
            expect(data.attrs["x_scale"] == 0.125, f"{name}.h5: scale")
        for i in range(3):
            with Image.open(f"{folder}/{name}-{i + 1}.png") as png:
                expect(np.array_equal(np.asarray(png).astype(dtype), frames[i]), f"{name}-{i + 1}.png: frame")
                expect(png.info.get("frame_number") == str(5 + i), f"{name}-{i + 1}.png: frame number")
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    else:
        sys.exit(check(sys.argv[2]))
