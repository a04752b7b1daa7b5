#!/bin/sh
# Builds the API pages as "make docs" does; every Doxygen warning (an undocumented export, parameter
# or result) fails. Skipped (77) when Doxygen is not installed.
set -eu
source_dir=$1
output=$2
if ! command -v doxygen >/dev/null 2>&1; then
    echo "doxygen is not installed: the API pages are not checked (make docs installs it)"
    exit 77
fi
rm -rf "$output"
mkdir -p "$output"
sed -e "s#@PROJECT_VERSION@#check#" -e "s#@QMV3_DOCS_OUTPUT@#$output#g" -e "s#@PROJECT_SOURCE_DIR@#$source_dir#g" \
    "$source_dir/docs/Doxyfile.in" >"$output/Doxyfile"
if ! doxygen "$output/Doxyfile"; then
    cat "$output/warnings.log" >&2
    exit 1
fi
if [ -s "$output/warnings.log" ]; then
    cat "$output/warnings.log" >&2
    exit 1
fi
echo "API pages built without warnings"
