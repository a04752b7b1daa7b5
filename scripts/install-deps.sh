#!/bin/sh
# Installs the Debian packages the build needs, and only those that are missing.
# Quiet when everything is present; as a non-root user it prints the command to run instead.
set -eu

packages="cmake make g++ pkg-config zlib1g-dev libjpeg62-turbo-dev libtinyxml-dev libgtest-dev libgmock-dev libbenchmark-dev libdeflate-dev python3-dev pybind11-dev python3-numpy python3-pytest"
# The tool's TIFF, PNG and HDF5 formats, and the programs its tests check them with.
packages="$packages libtiff-dev libspng-dev libhdf5-dev python3-tifffile python3-pil python3-h5py"
# The live view's web server, and the DevTools client its browser test drives Chromium with.
packages="$packages libcpp-httplib-dev python3-websocket"
# On demand: "make docs" (QMV3_DOCS=1) needs Doxygen for the API pages and mandoc for the manual
# page's lint; the test suite skips those checks when they are missing.
if [ "${QMV3_DOCS:-0}" = 1 ]; then
    packages="$packages doxygen mandoc"
fi
if [ "${QMV3_EXTRA_PACKAGES:-}" != "" ]; then
    packages="$packages $QMV3_EXTRA_PACKAGES"
fi

missing=""
for package in $packages; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $package" ;;
    esac
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages:$missing" >&2
    echo "Run: sudo apt-get update && sudo apt-get install -y$missing" >&2
    exit 1
fi

echo "Installing:$missing" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing >/dev/null
