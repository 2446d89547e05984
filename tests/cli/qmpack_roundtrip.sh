#!/usr/bin/env bash
# qmpack_roundtrip.sh QMPACK QUILL WORKDIR [headers]
#
# Packs a folder tree with qmpack (every method and cipher, the fastest and
# the smallest level, enciphered headers, a carrier in front) and extracts it
# with quill x -k; every file must come back with its bytes, its name, its
# time (rounded down to an even second) and its read-only bit.  A name qmpack
# cannot store must be left out with a message naming the character, the
# rest packed and the exit status 1; with --strict no archive is written.
# With "headers" it packs with enciphered header blocks only.
set -uo pipefail
qmpack=$1
quill=$2
work=$3
part=${4:-plain}
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work"
src="$work/src/tree"
mkdir -p "$src/sub/deeper" "$src/Ünïcödé" "$src/empty folder"
for i in $(seq 1 400); do echo "line $i of a text that repeats and repeats"; done >"$src/a.txt"
: >"$src/empty.bin"
head -c 70000 /dev/urandom >"$src/sub/deeper/random.bin"
printf 'crème brûlée, señor, Größe: ½ £\n' >"$src/sub/Crème brûlée.txt"
printf 'naïve\n' >"$src/Ünïcödé/naïve.txt"
printf 'do not touch\n' >"$src/sub/read-only.txt"
: >"$src/empty folder/.keep"
find "$src" -type f -exec touch -d '2021-03-04 05:06:08' {} +
touch -d '1999-12-31 23:59:59' "$src/sub/deeper/random.bin"  # odd second: stored as :58
chmod a-w "$src/sub/read-only.txt"
carrier="$work/carrier.bin"
head -c 3000 /dev/urandom >"$carrier"

# check_tree OUT: the extracted tree against the source.
check_tree() {
    local out=$1 f rel want got
    if ! diff -r "$src" "$out/tree" >/dev/null; then
        fail "$label: the extracted tree differs: $(diff -rq "$src" "$out/tree" 2>&1 | head -3)"
        return
    fi
    while IFS= read -r -d '' f; do
        rel=${f#"$src"/}
        want=$(stat -c %Y "$f")
        want=$((want - want % 2))
        got=$(stat -c %Y "$out/tree/$rel")
        [ "$got" = "$want" ] || fail "$label: $rel has time $got, not $want"
        want=$(($(stat -c %#a "$f") & 0200))
        got=$(($(stat -c %#a "$out/tree/$rel") & 0200))
        [ "$got" = "$want" ] || fail "$label: $rel has owner-write $got, not $want"
    done < <(find "$src" -type f -print0)
}

# roundtrip LABEL QMPACK-OPTIONS... -- QUILL-OPTIONS...
roundtrip() {
    label=$1
    shift
    local pack=() unpack=()
    while [ "$1" != "--" ]; do pack+=("$1"); shift; done
    shift
    unpack=("$@")
    local archive="$work/$label.qm" out="$work/out-$label" log="$work/$label.log"
    if ! (cd "$work/src" && "$qmpack" -q "${pack[@]}" "$archive" tree) >"$log" 2>&1; then
        fail "$label: qmpack failed: $(cat "$log")"
        return
    fi
    mkdir -p "$out"
    if ! "$quill" x "$archive" -o "$out" -k "${unpack[@]}" >"$log" 2>&1; then
        fail "$label: quill x failed: $(cat "$log")"
        return
    fi
    check_tree "$out"
    chmod -R u+w "$out"
    echo "ok $label"
}

if [ "$part" = headers ]; then
    for method in store lz audio auto; do
        roundtrip "$method-headers" -m "$method" -c 3des -p secret -H secret -- -p secret
        roundtrip "$method-headers-only" -m "$method" -H secret -- -p secret
    done
    # Enciphered headers hide the names.
    if grep -q "read-only" "$work/lz-headers.qm"; then
        fail "a name is readable in an archive with enciphered headers"
    fi
else
    for method in store lz audio auto; do
        roundtrip "$method-none" -m "$method" -- -p unused
        roundtrip "$method-des" -m "$method" -c des -p 'pass word' -- -p 'pass word'
        roundtrip "$method-3des" -m "$method" -c 3des -p 'pass word' -- -p 'pass word'
        roundtrip "$method-3des-iv" -m "$method" -c 3des-iv -- -p unused
        roundtrip "$method-carrier" -m "$method" --carrier "$carrier" -- -p unused
    done
    roundtrip "lz-fastest" -m lz -1 -- -p unused
    roundtrip "auto-smallest" -m auto -9 -c des -p 'pass word' -- -p 'pass word' 
    # A carrier keeps its bytes in front of the archive; one that holds an
    # archive already, or that is too long for the archive behind it to be
    # found, is refused.
    if ! cmp -s -n 3000 "$carrier" "$work/lz-carrier.qm"; then
        fail "the carrier's bytes are not at the front of the archive"
    fi
    head -c 81896 /dev/zero >"$work/long-carrier.bin"
    for c in "$work/lz-carrier.qm" "$work/long-carrier.bin"; do
        "$qmpack" -q --carrier "$c" "$work/refused.qm" "$src/a.txt" >/dev/null 2>&1 &&
            fail "qmpack took $(basename "$c") as a carrier"
        [ -e "$work/refused.qm" ] && fail "qmpack wrote an archive after refusing $(basename "$c")"
    done
    # One archive that mixes methods and ciphers, made with --append.
    mixed="$work/mixed.qm"
    label=mixed
    if (cd "$src" && "$qmpack" -q -m store "$mixed" a.txt empty.bin &&
        "$qmpack" -q -a -m lz -c des -p pw "$mixed" sub &&
        "$qmpack" -q -a -c 3des -p pw "$mixed" Ünïcödé "empty folder") >"$work/mixed.log" 2>&1; then
        mkdir -p "$work/out-mixed/tree"
        "$quill" x "$mixed" -o "$work/out-mixed/tree" -k -p pw >"$work/mixed.log" 2>&1 ||
            fail "mixed: quill x failed: $(cat "$work/mixed.log")"
        check_tree "$work/out-mixed"
        chmod -R u+w "$work/out-mixed"
    else
        fail "mixed: qmpack failed: $(cat "$work/mixed.log")"
    fi
    # Adding refuses a name already there (whatever its case), a file that is
    # no archive and an archive with enciphered headers, and leaves them as
    # they were.
    cp "$mixed" "$work/mixed-before.qm"
    printf 'x' >"$work/A.TXT"
    "$qmpack" -q -a "$mixed" "$work/A.TXT" >/dev/null 2>&1 && fail "--append stored A.TXT twice"
    cmp -s "$mixed" "$work/mixed-before.qm" || fail "a refused --append changed the archive"
    "$qmpack" -q -a "$carrier" "$work/A.TXT" >/dev/null 2>&1 && fail "--append added to a file that is no archive"
    "$qmpack" -q -H pw "$work/hidden.qm" "$work/A.TXT" && cp "$work/hidden.qm" "$work/hidden-before.qm"
    "$qmpack" -q -a "$work/hidden.qm" "$src/a.txt" >/dev/null 2>&1 &&
        fail "--append added to an archive with enciphered headers"
    cmp -s "$work/hidden.qm" "$work/hidden-before.qm" || fail "a refused --append changed the archive"

    # Names that would not come back as themselves are left out and named; the
    # rest is packed, and the exit status is 1.  With --strict nothing is
    # written.
    for name in 'š.txt' '€uro.txt' 'αβ.txt' 'bad\name.txt'; do
        rm -rf "$work/refuse" "$work/refused.qm" && mkdir -p "$work/refuse"
        printf 'x' >"$work/refuse/$name"
        printf 'kept' >"$work/refuse/good.txt"
        "$qmpack" "$work/refused.qm" "$work/refuse" >"$work/refuse.log" 2>&1
        rc=$?
        [ "$rc" = 1 ] || fail "qmpack ended with $rc, not 1, after leaving out $name"
        grep -q "the name cannot be stored" "$work/refuse.log" ||
            fail "qmpack left out $name without saying why: $(cat "$work/refuse.log")"
        listing=$("$quill" l "$work/refused.qm" 2>&1)
        grep -qF 'refuse\good.txt' <<<"$listing" || fail "the archive lacks good.txt: $listing"
        grep -q '1 entry' <<<"$listing" || fail "qmpack stored the name $name: $listing"
        rm -f "$work/refused.qm"
        "$qmpack" --strict "$work/refused.qm" "$work/refuse" >/dev/null 2>&1 &&
            fail "qmpack --strict packed beside $name"
        [ -e "$work/refused.qm" ] && fail "qmpack --strict wrote an archive after refusing $name"
    done

    # Usage errors end with status 2.
    for args in "-m fast a.qm x" "-c des a.qm x" "-c none -p pw a.qm x" "a.qm" ""; do
        # shellcheck disable=SC2086
        "$qmpack" $args >/dev/null 2>&1
        rc=$?
        [ "$rc" = 2 ] || fail "qmpack $args ended with $rc, not 2"
    done
    "$qmpack" --help | grep -q "usage: qmpack" || fail "qmpack --help prints no usage"
fi

chmod -R u+w "$work"
[ "$failures" = 0 ] || exit 1
rm -rf "$work"
echo "all passed"
