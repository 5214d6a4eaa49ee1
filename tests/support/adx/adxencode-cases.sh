#!/usr/bin/env bash
# adxencode's command line: expected outputs and expected failures.
# usage: adxencode-cases.sh PATH/TO/adxencode
set -u
encoder=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# expect_ok NAME EXPECTED_SIZE EXPECTED_FIRST_BYTES_HEX FILE ARGS...
expect_ok() {
    local name=$1 size=$2 head=$3 file=$4
    shift 4
    if ! "$encoder" "$@" >out.txt 2>err.txt; then
        fail "$name: exit status $? ($(cat err.txt))"
        return
    fi
    local actual
    actual=$(stat -c %s "$file")
    [ "$actual" = "$size" ] || fail "$name: $file has $actual bytes, expected $size"
    actual=$(head -c $((${#head} / 2)) "$file" | od -An -tx1 | tr -d ' \n')
    [ "$actual" = "$head" ] || fail "$name: $file starts $actual, expected $head"
}

# expect_failure NAME STDERR_TEXT ARGS...
expect_failure() {
    local name=$1 text=$2
    shift 2
    "$encoder" "$@" >out.txt 2>err.txt
    local status=$?
    [ $status = 1 ] || fail "$name: exit status $status, expected 1"
    grep -qF -- "$text" err.txt || fail "$name: stderr lacks '$text': $(cat err.txt)"
}

# Mono version 3: header 0x1A bytes (marker offset 0x16), two 18-byte frames.
expect_ok "mono v3" 62 80000016031204010000ac440000004001f40300 a.adx --samples 64 a.adx
# Stereo version 4, history words, one loop: header 0x20 + 24 + 6 = 0x3E
# bytes, two 36-byte frames.
expect_ok "stereo v4 loop" 134 8000003a031204020000562200000021 b.adx --channels 2 \
    --rate 22050 --samples 33 --version 4 --history 1,2,3,4 --loop 0:32 b.adx
# The stream 100 bytes into the file, 7 bytes of filler after it.
expect_ok "embedded" $((100 + 62 + 7)) 6162636465666768 c.adx --samples 64 --offset 100 \
    --trailer 7 c.adx
expect_ok "header length" $((0x800 + 18)) 800007fc0312 d.adx --samples 32 \
    --header-length 0x800 d.adx
expect_ok "loop in seconds" $((0x32 + 32000 * 36 / 32)) 8000002e031204020000 e.adx \
    --channels 2 --rate 32000 --seconds 1 --loop-start 0.5 --loop-end 1 e.adx
expect_ok "reference wav" $((44 + 2 * 50)) 52494646 ref.wav --samples 50 --reference ref.wav \
    f.adx
expect_ok "wav input" $((0x1A + 2 * 18)) 80000016 g.adx --input ref.wav g.adx
expect_ok "sweep" $((0x1A + 18 * 3)) 80000016 h.adx --signal sweep --samples 96 h.adx

"$encoder" --help >help.txt 2>&1 || fail "--help: exit status $?"
for option in --channels --rate --seconds --samples --signal --version --history --loop \
    --loop-start --loop-end --loop-record --header-length --offset --trailer --reference \
    --input; do
    grep -qF -- "$option" help.txt || fail "--help does not mention $option"
done

expect_failure "no output" "no output file" --samples 10
expect_failure "unknown option" "unknown option --bogus" --bogus 1 x.adx
expect_failure "three channels" "bad value for --channels" --channels 3 x.adx
expect_failure "version 5" "bad value for --version" --version 5 x.adx
expect_failure "rate 0" "bad value for --rate" --rate 0 x.adx
expect_failure "missing value" "--rate needs a value" x.adx --rate
expect_failure "loop backwards" "bad value for --loop" --loop 10:5 x.adx
expect_failure "loop seconds backwards" "loop ends before it starts" --loop-start 0.8 \
    --loop-end 0.2 x.adx
expect_failure "header too short" "do not fit together" --header-length 0x20 --loop 1:2 \
    --loop 3:4 x.adx
expect_failure "unreadable input" "missing.wav" --input missing.wav x.adx
expect_failure "unwritable output" "no-such-dir/x.adx" --samples 10 no-such-dir/x.adx
[ ! -e x.adx ] || fail "a failed run left x.adx behind"

if [ $failures != 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "all adxencode cases passed"
