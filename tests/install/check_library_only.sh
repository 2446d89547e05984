#!/usr/bin/env bash
# check_library_only.sh SOURCE_DIR WORK_DIR ARCHIVE
#
# The library-only build as a user makes it: tests off, OpenSSL and
# GoogleTest hidden from CMake, the static library on.  It must build with a
# C++ compiler and CMake alone, build nothing but the library and quill, and
# install a static library that the README's C host links in and runs on
# ARCHIVE.
set -uo pipefail
source=$1
work=$2
archive=$3
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work"
build="$work/build"
prefix="$work/prefix"
if ! cmake -S "$source" -B "$build" -DQM_BUILD_TESTS=OFF -DQM_INSTALL_STATIC=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_OpenSSL=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
    >"$work/configure.log" 2>&1; then
    cat "$work/configure.log"
    exit 1
fi
if ! cmake --build "$build" -j "${QM_JOBS:-2}" >"$work/build.log" 2>&1; then
    tail -n 30 "$work/build.log"
    exit 1
fi

# Nothing but the library and quill in the build's output folder.
for f in "$build"/bin/*; do
    case "$(basename "$f")" in
    libquillmark.so*|quill) ;;
    *) fail "a library-only build made $(basename "$f")" ;;
    esac
done
grep -qiE 'gtest|fuzz|qm_replay' "$build/build.ninja" "$build/Makefile" 2>/dev/null &&
    fail "test or fuzz code is part of the library-only build"

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || fail "install: $(cat "$work/install.log")"
[ -e "$prefix/lib/libquillmark.a" ] || fail "lib/libquillmark.a was not installed"

sed -n '/<!-- host-example -->/,/^```$/p' "$source/README.md" | sed '1,2d;$d' >"$work/host.c"
cmake -S "$source/tests/install/consumer" -B "$work/host-build" -DCMAKE_PREFIX_PATH="$prefix" \
    -DHOST_SOURCE="$work/host.c" -DQM_LINK_STATIC=ON >"$work/host.log" 2>&1 &&
    cmake --build "$work/host-build" >>"$work/host.log" 2>&1 ||
    fail "building a host on the static library: $(tail -n 20 "$work/host.log")"
if [ -x "$work/host-build/host" ]; then
    readelf -d "$work/host-build/host" | grep -q 'libquillmark' &&
        fail "the static host still needs the shared library"
    mkdir -p "$work/out"
    "$work/host-build/host" "$archive" "$work/out/x" >"$work/run.log" 2>&1 ||
        fail "the static host: $(cat "$work/run.log")"
    [ "$(find "$work/out/x" -type f | wc -l)" -gt 0 ] || fail "the static host extracted nothing"
fi

[ "$failures" = 0 ] || exit 1
rm -rf "$work"
echo "all passed"
