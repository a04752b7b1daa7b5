#!/bin/sh
# Rebuilds the seed corpus of every fuzz harness into fuzz/corpus/<harness>/ from small valid inputs
# that the library itself writes. Usage: fuzz/make_corpus.sh [BUILD_DIR] (default: build).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" --target qmv3_fuzz_seeds --target qmv3-cli -j 2 >/dev/null
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
rm -rf "$root/fuzz/corpus"
ORSEL_CLIENTLIB_LOGGING_PATH=$logs "$build/tests/qmv3_fuzz_seeds" "$root/fuzz/corpus"
# The image import's seeds come from other programs (tifffile, Pillow) and from the tool itself.
/usr/bin/python3 "$root/fuzz/seed_image_import.py" "$root/fuzz/corpus" "$build/qmv3"
echo "seeds: $(find "$root/fuzz/corpus" -type f | wc -l) files in $root/fuzz/corpus"
