#!/bin/sh
# The README's tours run as shown, in a fresh folder: the tool's commands, whose output must show every
# line the README shows (numbers may differ: sizes and times vary), and the Python session as a doctest.
#   tours_test.sh SOURCE_DIR TOOL [PYTHON PYTHONPATH]   (without PYTHON the Python tour is not run)
set -eu
source=$1 tool=$2 python=${3:-} pythonpath=${4:-}
readme=$source/README.md

work=$(mktemp -d "${TMPDIR:-/tmp}/qmv3-tours-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$tool" "$work/bin/qmv3"

# block N: the code block after the N-th line "<!-- docs.tours runs the next block -->".
block() {
    awk -v wanted="$1" '$0 == "<!-- docs.tours runs the next block -->" { seen++; next }
        seen == wanted && /^```/ { if (inside) exit; inside = 1; next }
        seen == wanted && inside { print }' "$readme"
}

block 1 >"$work/tool.txt"
block 2 >"$work/python.txt"
[ -s "$work/tool.txt" ] && [ -s "$work/python.txt" ] || { echo "the README lacks its tours" >&2; exit 1; }

# Every "$ command" runs; the lines shown after it must appear in its output in that order, with every
# run of digits read as one number.
cd "$work"
PATH=$work/bin:$PATH
export PATH
"${python:-/usr/bin/python3}" - "$work/tool.txt" <<'PYTHON'
import re, subprocess, sys

def shape(line):
    return re.sub(r"[0-9]+", "0", line.rstrip())

steps = []
for line in open(sys.argv[1]).read().splitlines():
    if line.startswith("$ "):
        steps.append((line[2:], []))
    else:
        steps[-1][1].append(line)
for command, shown in steps:
    run = subprocess.run(command, shell=True, capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"'{command}' failed ({run.returncode}):\n{run.stdout}{run.stderr}")
    output = iter(shape(line) for line in run.stdout.splitlines())
    for line in shown:
        if shape(line) not in output:
            sys.exit(f"'{command}' did not print {line!r}; it printed:\n{run.stdout}")
print(f"tool tour: {len(steps)} commands as shown")
PYTHON

if [ -z "$python" ]; then
    echo "the Python tour is not run: the Python package is not built in this build"
    exit 0
fi
if ! "$python" -c "import numpy" 2>/dev/null; then
    echo "the Python tour is not run: $python lacks numpy"
    exit 0
fi
mkdir "$work/python" && cd "$work/python"
PYTHONPATH=$pythonpath "$python" - "$work/python.txt" <<'PYTHON'
import doctest, sys

text = open(sys.argv[1]).read()
test = doctest.DocTestParser().get_doctest(text, {}, "README tour in Python", sys.argv[1], 0)
runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE)
runner.run(test)
failed, tried = runner.summarize(verbose=False)
sys.exit(1 if failed or not tried else 0)
PYTHON
echo "Python tour as shown"
