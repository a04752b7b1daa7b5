#!/bin/sh
# The manual page renders without a warning: mandoc's lint at every level, and groff with all
# warnings on. Skipped (77) when neither is installed.
set -eu
page=$1
checked=0
if command -v mandoc >/dev/null 2>&1; then
    report=$(mandoc -T lint "$page" 2>&1 || true)
    if [ -n "$report" ]; then
        echo "$report" >&2
        exit 1
    fi
    checked=1
fi
if command -v groff >/dev/null 2>&1; then
    report=$(groff -ww -man -z "$page" 2>&1 || true)
    if [ -n "$report" ]; then
        echo "$report" >&2
        exit 1
    fi
    checked=1
fi
if [ $checked -eq 0 ]; then
    echo "neither mandoc nor groff is installed: the manual page is not checked"
    exit 77
fi
echo "manual page clean"
