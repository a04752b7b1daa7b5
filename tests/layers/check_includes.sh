#!/bin/sh
# Fails when a file of the bottom layers includes a header of a higher layer: src/platform includes only
# its own headers, src/util only its own and the platform layer's (system headers, in angle brackets,
# are free). A file of ours included with quotes from anywhere else is a higher layer.
set -eu
root=$1
status=0
check() {
    folder=$1
    allowed=$2
    for file in "$root"/src/"$folder"/*; do
        grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" | while IFS= read -r line; do
            header=$(printf '%s\n' "$line" | sed -E 's/.*"([^"]+)".*/\1/')
            if ! printf '%s\n' "$header" | grep -qE "^($allowed)/"; then
                echo "src/$folder/$(basename "$file"):${line%%:*}: includes \"$header\" of a higher layer"
            fi
        done
    done
}
found=$(check platform platform; check util 'util|platform')
if [ -n "$found" ]; then
    printf '%s\n' "$found" >&2
    exit 1
fi
echo "src/platform and src/util include no higher layer"
