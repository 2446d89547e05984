#!/usr/bin/env bash
# check_install.sh BUILD_DIR SOURCE_DIR WORK_DIR ARCHIVE
#
# Installs the build into a fresh prefix, checks what landed there, then
# builds the C host example of the README against the installed tree twice
# (find_package and pkg-config) and runs both, and the installed quill, on
# ARCHIVE; and builds the README's handle example and runs it on ARCHIVE.
set -uo pipefail
build=$1
source=$2
work=$3
archive=$4
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || {
    cat "$work/install.log"
    exit 1
}

for f in include/quillmark.h include/quillmark_reader.h lib/libquillmark.so lib/libquillmark.so.0 bin/quill bin/qmpack \
    lib/cmake/Quillmark/QuillmarkConfig.cmake lib/cmake/Quillmark/QuillmarkConfigVersion.cmake \
    lib/cmake/Quillmark/QuillmarkTargets.cmake lib/pkgconfig/quillmark.pc; do
    [ -e "$prefix/$f" ] || fail "$f was not installed"
done
soname=$(readelf -d "$prefix/lib/libquillmark.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libquillmark.so.0 ] || fail "the SONAME is '$soname', not libquillmark.so.0"

# The example between the README's host-example marker and the end of its
# code block.
sed -n '/<!-- host-example -->/,/^```$/p' "$source/README.md" | sed '1,2d;$d' >"$work/host.c"
[ "$(wc -l <"$work/host.c")" -gt 5 ] || fail "no host example found in README.md"

# run_host NAME PROGRAM: extracts ARCHIVE and expects the files of its listing.
run_host() {
    local name=$1 program=$2 out="$work/out-$1"
    mkdir -p "$out"
    if ! "$program" "$archive" "$out/new/level" >"$work/$name.log" 2>&1; then
        fail "$name: $(cat "$work/$name.log")"
        return
    fi
    local count
    count=$(find "$out/new/level" -type f | wc -l)
    [ "$count" -gt 0 ] || fail "$name extracted nothing"
    if [ -n "${expected:-}" ] && ! diff -r "$work/out-quill" "$out/new/level" >/dev/null; then
        fail "$name extracted other files than quill"
    fi
}

# The installed quill runs without help: it carries the library inside, or
# (a sanitizer build) finds it in ../lib.
mkdir -p "$work/out-quill"
if ! env -u LD_LIBRARY_PATH "$prefix/bin/quill" x "$archive" -o "$work/out-quill" -k >"$work/quill.log" 2>&1; then
    fail "the installed quill: $(cat "$work/quill.log")"
fi
expected=1

cmake -S "$source/tests/install/consumer" -B "$work/cmake-host" -DCMAKE_PREFIX_PATH="$prefix" \
    -DHOST_SOURCE="$work/host.c" >"$work/cmake-host.log" 2>&1 &&
    cmake --build "$work/cmake-host" >>"$work/cmake-host.log" 2>&1 ||
    fail "building with find_package: $(tail -n 20 "$work/cmake-host.log")"
[ -x "$work/cmake-host/host" ] && run_host find_package "$work/cmake-host/host"

flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs quillmark) ||
    fail "pkg-config does not know quillmark"
# shellcheck disable=SC2086
cc -std=c99 -Wall -Wextra -Werror -o "$work/pc-host" "$work/host.c" $flags -Wl,-rpath,"$prefix/lib" \
    >"$work/pc-host.log" 2>&1 || fail "building with pkg-config: $(cat "$work/pc-host.log")"
[ -x "$work/pc-host" ] && run_host pkg-config "$work/pc-host"

# The handle example: its output is every entry's bytes, as many as quill
# extracted.
sed -n '/<!-- reader-example -->/,/^```$/p' "$source/README.md" | sed '1,2d;$d' >"$work/reader.c"
[ "$(wc -l <"$work/reader.c")" -gt 5 ] || fail "no handle example found in README.md"
# shellcheck disable=SC2086
if cc -std=c99 -Wall -Wextra -Werror -o "$work/reader" "$work/reader.c" $flags -Wl,-rpath,"$prefix/lib" \
    >"$work/reader.log" 2>&1; then
    if "$work/reader" "$archive" >"$work/reader.out" 2>>"$work/reader.log"; then
        want=$(find "$work/out-quill" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
        got=$(stat -c %s "$work/reader.out")
        [ "$got" = "$want" ] || fail "the handle example wrote $got bytes, quill extracted $want"
    else
        fail "the handle example: $(cat "$work/reader.log")"
    fi
else
    fail "building the handle example: $(cat "$work/reader.log")"
fi

[ "$failures" = 0 ] || exit 1
rm -rf "$work"
echo "all passed"
