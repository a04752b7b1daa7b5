#!/bin/sh
# Fails when the shared library exports a function that the public header does not declare.
set -eu
library=$1
header=$2
declared=$(grep -oE 'QMV3_EXPORT[^(;]*\(' "$header" | sed -E 's/.*[ *]([A-Za-z_][A-Za-z0-9_]*)\($/\1/' | sort -u)
exported=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TtWDBRV]$/ {print $3}' | sort -u)
unexpected=$(printf '%s\n' "$exported" | grep -vxF -e "$declared" || true)
if [ -n "$unexpected" ]; then
    echo "exported but not declared in the public header:" >&2
    printf '  %s\n' $unexpected >&2
    exit 1
fi
count=$(printf '%s\n' "$exported" | grep -c . || true)
echo "$count exported functions, all declared"
