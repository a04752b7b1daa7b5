#!/bin/sh
# Starts from the state "make demo" leaves (a fresh build folder in which only the tool and the libraries
# were built), installs it into a temporary prefix and checks that the install says what it left out
# and leaves no part of it behind; builds the README's tour in C and the examples against that copy
# once through pkg-config and once through find_package, runs them and the installed tool, rebuilds the
# tool from its sources against the installed header and library alone, and checks that the installed
# tree still works after it has been moved.
#   install_test.sh BUILD_DIR SOURCE_DIR C_COMPILER CXX_COMPILER CMAKE [EXTRA_FLAGS [SANITIZE]]
set -eu
build=$1 source=$2 cc=$3 cxx=$4 cmake=$5 extra=${6:-} sanitize=${7:-0}
examples=$source/examples

fail() {
    echo "install test: $*" >&2
    exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/qmv3-install-XXXXXX")
# The demo's build folder lies beside the build, so that the compiler cache knows its objects.
demo=$(mktemp -d "$build-demo-XXXXXX")
trap 'rm -rf "$work" "$demo"' EXIT
prefix=$work/prefix

# make demo, as a new user runs it (without the jobserver of a make that may be running this test).
env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL make -C "$source" demo BUILD_DIR="$demo" SANITIZE="$sanitize" \
    >"$work/demo.log" 2>&1 || { cat "$work/demo.log" >&2; fail "make demo failed"; }
"$cmake" --install "$demo" --prefix "$prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install after make demo failed"; }
if [ -d "$demo/python" ]; then
    grep -q "Left out: the Python package qmv3.*--target qmv3_python" "$work/install.log" ||
        { cat "$work/install.log" >&2; fail "the install does not say that it left out the Python package"; }
    [ ! -e "$prefix/lib/python3" ] || fail "a Python package without its extension was installed"
fi
[ -n "$(find "$prefix" -name qmv3.1)" ] || fail "the manual page was not installed"

pc=$(find "$prefix" -name qmv3.pc)
[ -n "$pc" ] || fail "qmv3.pc not installed"
libdir=$(dirname "$(dirname "$pc")")
for file in "$prefix/include/qmv3/qmv3.h" "$prefix/bin/qmv3" "$libdir/libqmv3.so" "$libdir/libqmv3.so.1" \
    "$libdir/libzantmt.so.1" "$libdir/cmake/qmv3/qmv3Config.cmake" "$libdir/cmake/qmv3/qmv3ConfigVersion.cmake"; do
    [ -e "$file" ] || fail "missing ${file#"$prefix"/}"
done

# The README's recipe, command for command, in a fresh folder with nothing set but PREFIX (cc and cmake
# are the build's compilers, with the build's sanitizer flags).
for file in grab_and_save.c load_and_examine.c CMakeLists.txt; do
    [ -e "$prefix/share/doc/qmv3/examples/$file" ] || fail "missing share/doc/qmv3/examples/$file"
done
# block MARKER: the code block after the README's line "<!-- MARKER -->".
block() {
    awk -v marker="<!-- $1 -->" '$0 == marker { found = 1; next }
        found && /^```/ { if (inside) exit; inside = 1; next }
        inside { print }' "$source/README.md"
}
recipe=$(block "tool.install runs the next block")
[ -n "$recipe" ] || fail "no recipe in the README"
mkdir "$work/recipe" "$work/recipe-log"
block "tool.install compiles the next block as tour.c" >"$work/recipe/tour.c"
[ -s "$work/recipe/tour.c" ] || fail "no tour in C in the README"
(
    cd "$work/recipe" && unset PKG_CONFIG_PATH LD_LIBRARY_PATH && PREFIX=$prefix CC=$cc CFLAGS=$extra &&
        PATH=$(dirname "$cmake"):$PATH ORSEL_CLIENTLIB_LOGGING_PATH=$work/recipe-log &&
        export PREFIX CC CFLAGS PATH ORSEL_CLIENTLIB_LOGGING_PATH &&
        # shellcheck disable=SC2086
        cc() { "$CC" $CFLAGS "$@"; } && eval "$recipe"
) >"$work/recipe.log" 2>&1 || { cat "$work/recipe.log" >&2; fail "the README's recipe failed"; }
grep -q "^10 frames saved to tour.imc2" "$work/recipe.log" && grep -q "^5 images of 640 x 480 pixels, GRAY" "$work/recipe.log" ||
    { cat "$work/recipe.log" >&2; fail "recipe output"; }
# The examples keep to the recommended values: the library's log holds no warning.
if grep -r "Warning" "$work/recipe-log" >&2; then fail "the examples make the library warn"; fi

# Through pkg-config: strict C99, the rpath only so that the programs run without LD_LIBRARY_PATH.
PKG_CONFIG_PATH=$libdir/pkgconfig
export PKG_CONFIG_PATH
[ "$(pkg-config --modversion qmv3)" = "1.0.0" ] || fail "pkg-config version"
for example in grab_and_save load_and_examine; do
    # shellcheck disable=SC2046,SC2086
    "$cc" -std=c99 -Wall -Wextra -Werror -pedantic $extra "$examples/$example.c" $(pkg-config --cflags --libs qmv3) \
        -Wl,-rpath,"$libdir" -o "$work/pc-$example" || fail "pkg-config build of $example"
done
"$work/pc-grab_and_save" "$work/pc.imc2" 3 >/dev/null || fail "grab_and_save (pkg-config)"
"$work/pc-load_and_examine" "$work/pc.imc2" | grep -q "^3 images of 640 x 480 pixels, GRAY" ||
    fail "load_and_examine (pkg-config)"

# Through find_package.
"$cmake" -S "$examples" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" \
    -DCMAKE_C_FLAGS="$extra" >/dev/null || fail "find_package configure"
"$cmake" --build "$work/cmake-build" >/dev/null || fail "find_package build"
"$work/cmake-build/grab_and_save" "$work/cmake.imm" 2 >/dev/null || fail "grab_and_save (find_package)"
"$work/cmake-build/load_and_examine" "$work/cmake.imm" | grep -q "^2 images of 640 x 480" ||
    fail "load_and_examine (find_package)"

# The installed tool reads what the examples wrote.
"$prefix/bin/qmv3" info "$work/pc.imc2" | grep -q "^frames:        3$" || fail "installed tool"

# The tool needs nothing but the public header and the shared library, and the system's libraries of
# its interchange formats and of the live view (its web server, its JPEG pictures).
# shellcheck disable=SC2046,SC2086
"$cxx" -std=c++17 -Wall -Wextra -Werror $extra "$source"/tools/qmv3/*.cc $(pkg-config --cflags --libs qmv3) \
    $(pkg-config --cflags --libs libtiff-4 spng hdf5 zlib cpp-httplib libjpeg) -pthread \
    -Wl,-rpath,"$libdir" -o "$work/qmv3-rebuilt" || fail "the tool does not build against the installed copy"
"$work/qmv3-rebuilt" info "$work/cmake.imm" | grep -q "^kind:          IMM" || fail "rebuilt tool"

# A moved tree keeps working: the tool finds its libraries and pkg-config its prefix relative to themselves.
mv "$prefix" "$work/moved"
"$work/moved/bin/qmv3" version | grep -q "QMv3 shared client library" || fail "moved tool"
PKG_CONFIG_PATH=$work/moved${libdir#"$prefix"}/pkgconfig
case "$(pkg-config --cflags qmv3)" in
    *"$work/moved"*) ;;
    *) fail "pkg-config does not follow the moved tree" ;;
esac
echo "install test passed"
