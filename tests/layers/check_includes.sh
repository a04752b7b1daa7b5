#!/bin/sh
# Fails when a file includes a header of a layer above its own. The order, bottom up:
#   platform < util < image, syslist, zant < client < files, legacy < interchange, analysis < stream
# The table below says, for each subsystem of src/, which folders its files may include with quotes
# (system headers, in angle brackets, are free). The public header (qmv3/) includes nothing of ours and
# sits under every layer but platform; the control system's header (zant.h) under zant and the layers above. Files and legacy
# share a level: the sequence files transcode the older files, the older files never read the new ones.
# A folder of src/ missing from the table fails too, so that a new subsystem is given its place.
# The faces (tools/, python/src) include only the public header and their own headers.
set -eu
root=$1

allowed_for() {
    case $1 in
    platform) echo 'platform' ;;
    util) echo 'util|platform|qmv3' ;;
    image | syslist) echo "$1|util|platform|qmv3" ;;
    zant) echo 'zant|util|platform|qmv3|zant\.h' ;;
    client) echo 'client|image|syslist|zant|util|platform|qmv3|zant\.h' ;;
    legacy) echo 'legacy|client|image|syslist|zant|util|platform|qmv3|zant\.h' ;;
    files) echo 'files|legacy|client|image|syslist|zant|util|platform|qmv3|zant\.h' ;;
    interchange | analysis) echo "$1|files|legacy|client|image|syslist|zant|util|platform|qmv3|zant\.h" ;;
    stream) echo 'stream|interchange|analysis|files|legacy|client|image|syslist|zant|util|platform|qmv3|zant\.h' ;;
    *) echo '' ;;
    esac
}

# Prints "file:line: header" for every quoted include of the given files (one grep, one sed).
quoted_includes() {
    grep -nHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$@" 2>/dev/null |
        sed -E "s#^$root/##; s#^([^:]+):([0-9]+):.*\"([^\"]+)\".*#\\1:\\2: \\3#" || true
}

check_subsystems() {
    for folder in "$root"/src/*/; do
        name=$(basename "$folder")
        allowed=$(allowed_for "$name")
        if [ -z "$allowed" ]; then
            echo "src/$name: not in the layer table of tests/layers/check_includes.sh"
            continue
        fi
        quoted_includes "$folder"* | awk -v allowed="^($allowed)(/|$)" -v name="$name" '{
            header = $NF
            if (header !~ allowed) { sub(/: [^ ]*$/, "", $0); print $0 ": includes \"" header "\" of a higher layer than src/" name }
        }'
    done
}

# Our headers of src/ all live in a subsystem folder, so a face's include with a folder is either the
# public header or a layer it must not see.
check_faces() {
    quoted_includes "$root"/tools/*/*.cc "$root"/tools/*/*.h "$root"/python/src/*.cc "$root"/python/src/*.h |
        awk '{
            header = $NF
            if (header ~ /\// && header !~ /^qmv3\//) { sub(/: [^ ]*$/, "", $0); print $0 ": a face includes \"" header "\" of the library'"'"'s inside" }
        }'
}

found=$(check_subsystems; check_faces)
if [ -n "$found" ]; then
    printf '%s\n' "$found" >&2
    exit 1
fi
echo "every subsystem includes only its own and lower layers; the faces only the public header"
