#!/bin/sh
# Opens a report of a grabbed run in headless Chromium: the page must render (a screenshot that is not
# blank, with the false-colour thumbnails on it), and must ask for nothing from outside (every host
# name resolves to nowhere, and the rendered DOM names no resource other than data: URIs).
# Usage: report_browser_test.sh QMV3_TOOL. Exit 77 (skipped) when Chromium is not installed.
set -eu
tool=$1
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
    echo "SKIPPED: Chromium is not installed (QMV3_EXTRA_PACKAGES=chromium scripts/install-deps.sh installs it)"
    exit 77
fi
python=/usr/bin/python3
[ -x "$python" ] || python=python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ORSEL_CLIENTLIB_LOGGING_PATH="$work"

"$tool" grab -n 12 --rate 100 "$work/run.imc2" >/dev/null 2>&1
"$tool" report "$work/run.imc2" --thumbnails 12 --palette jet >/dev/null

run_browser() {
    timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync --disable-extensions \
        --user-data-dir="$work/profile" --host-resolver-rules="MAP * ~NOTFOUND" "$@" \
        "file://$work/run.imc2.html" 2>>"$work/browser.log"
}
run_browser --dump-dom >"$work/dom.html"
run_browser --window-size=1280,1600 --screenshot="$work/shot.png" >/dev/null

"$python" - "$work/dom.html" "$work/shot.png" <<'PYTHON'
import re, struct, sys, zlib

dom = open(sys.argv[1], encoding="utf-8").read()
images = re.findall(r'<img\b[^>]*\bsrc="([^"]*)"', dom)
assert len(images) == 12, "expected 12 thumbnails in the DOM, found %d" % len(images)
assert all(src.startswith("data:image/png;base64,") for src in images), "a thumbnail is not a PNG data URI"
outside = [m for m in re.findall(r'\b(?:src|href|action|srcset|poster|data)\s*=\s*"([^"]*)"', dom)
           if not m.startswith("data:") and not m.startswith("#")]
assert not outside, "the page refers to outside resources: %r" % outside[:3]
assert not re.search(r"<(script|link|iframe|object|embed)\b", dom), "the page holds a script or a link"
assert not re.search(r"url\(\s*['\"]?(?!data:)", dom) and "@import" not in dom, "the styles load something"
assert "<svg" in dom and "Frame timing" in dom and "Histogram" in dom, "a section is missing"

def pixels(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    assert depth == 8 and colour in (2, 6), "unexpected screenshot layout"
    step = 3 if colour == 2 else 4
    raw, stride, rows, prior = zlib.decompress(idat), width * step, [], bytearray(width * step)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - step] if i >= step else 0
            up, corner = prior[i], prior[i - step] if i >= step else 0
            if kind == 1: line[i] = (line[i] + left) & 255
            elif kind == 2: line[i] = (line[i] + up) & 255
            elif kind == 3: line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append(line)
        prior = line
    return width, height, step, rows

width, height, step, rows = pixels(sys.argv[2])
colours, vivid = set(), 0
for line in rows[::2]:
    for x in range(0, width * step, 2 * step):
        r, g, b = line[x], line[x + 1], line[x + 2]
        colours.add((r >> 4, g >> 4, b >> 4))
        vivid += max(r, g, b) - min(r, g, b) > 120
assert len(colours) > 50, "the screenshot looks blank (%d colours)" % len(colours)
# Twelve false-colour thumbnails of about 180 x 135 pixels, sampled at every second pixel both ways.
assert vivid > 12 * 2000, "the thumbnails are not on the screenshot (%d vivid samples)" % vivid
print("report rendered: %d x %d, %d colours, %d vivid samples, 12 thumbnails, no outside resource"
      % (width, height, len(colours), vivid))
PYTHON
