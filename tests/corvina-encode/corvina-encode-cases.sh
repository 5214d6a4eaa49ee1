#!/usr/bin/env bash
# Runs corvina-encode as a process, each case in a directory of its own, on
# WAV files made here (from adxencode's reference PCM, with headers and smpl
# chunks written byte by byte), and compares its standard output, standard
# error and exit status with what is expected. The loops of the ADX files it
# writes are checked with adxdecode, which plays them as the parser does:
# one pass is the loop end in samples, two passes add the loop's length.
#
#   corvina-encode-cases.sh [--emulator RUNNER] CORVINA-ENCODE ADXENCODE ADXDECODE
#
# With --emulator the three programs are Windows executables run through
# RUNNER (Wine): output lines lose their carriage returns, and the cases that
# need a POSIX system (devices, a file size limit, signals) are left out.
set -u

emulator=()
if [ "${1:-}" = "--emulator" ]; then
    emulator=("$2")
    shift 2
fi
if [ $# -ne 3 ]; then
    echo "usage: $0 [--emulator RUNNER] CORVINA-ENCODE ADXENCODE ADXDECODE" >&2
    exit 2
fi
posix=1
[ ${#emulator[@]} -eq 0 ] || posix=0
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
encoder=$(absolute "$1")
adxencode=$(absolute "$2")
adxdecode=$(absolute "$3")

work=$(mktemp -d "${TMPDIR:-/tmp}/corvina-encode-cases.XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT
# shellcheck source=../support/cases.sh
. "$(dirname "${BASH_SOURCE[0]}")/../support/cases.sh"

# run ARGS...: corvina-encode in the case directory, within two minutes.
run() {
    (cd "$case_dir" && timeout 120 "${emulator[@]}" "$encoder" "$@" >stdout 2>stderr)
    status=$?
    # Windows writes text-mode lines with CRLF.
    sed -i 's/\r$//' "$case_dir/stdout" "$case_dir/stderr"
}

# helper PROGRAM ARGS...: adxencode or adxdecode in the current directory.
helper() { "${emulator[@]}" "$@"; }

# wav FILE CHANNELS BITS TAG DATA-FILE [DECLARED-DATA-BYTES]: a WAV file of
# the bytes in DATA-FILE, its data size as declared (default: the real one).
wav() {
    local file=$1 channels=$2 bits=$3 tag=$4 data=$5 bytes
    bytes=$(stat -c %s "$data")
    local declared=${6:-$bytes} align=$(($2 * $3 / 8))
    {
        printf RIFF
        le32 $((36 + bytes))
        printf 'WAVEfmt '
        le32 16
        le16 "$tag"
        le16 "$channels"
        le32 44100
        le32 $((44100 * align))
        le16 $align
        le16 "$bits"
        printf data
        le32 "$declared"
        cat "$data"
    } >"$file"
}

# smpl FILE START END: appends a smpl chunk with one loop [START, END] (END
# inclusive, as the chunk counts) and fixes the RIFF size.
smpl() {
    local file=$1 size
    {
        printf smpl
        le32 60
        le32 0; le32 0; le32 22676; le32 60; le32 0; le32 0; le32 0
        le32 1; le32 0
        le32 0; le32 0; le32 "$2"; le32 "$3"; le32 0; le32 0
    } >>"$file"
    size=$(($(stat -c %s "$file") - 8))
    le32 $size | dd of="$file" bs=1 seek=4 conv=notrunc status=none
}

# frames FILE.wav CHANNELS: the sample frames of a WAV file that adxdecode wrote.
frames() { echo $((($(stat -c %s "$case_dir/$1") - 44) / ($2 * 2))); }

# loop_is FILE.adx CHANNELS START END: adxdecode plays loop 0 of FILE.adx
# from START to END (exclusive) on its second pass.
loop_is() {
    local one two
    (cd "$case_dir" && helper "$adxdecode" --loop 0 --passes 1 "$1" pass1.wav >/dev/null 2>&1 &&
        helper "$adxdecode" --loop 0 --passes 2 "$1" pass2.wav >/dev/null 2>&1) ||
        { fail "adxdecode cannot play loop 0 of $1"; return; }
    one=$(frames pass1.wav "$2")
    two=$(frames pass2.wav "$2")
    [ "$one:$((two - one))" = "$4:$(($4 - $3))" ] ||
        fail "$1: loop plays to $one and repeats $((two - one)) samples, want $4 and $(($4 - $3))"
}

# no_leftovers: the case directory holds no temporary file.
no_leftovers() {
    local left
    left=$(cd "$case_dir" && find . -name '*.tmp')
    [ -z "$left" ] || fail "temporary files left behind: $left"
}

echo "corvina-encode cases"

# --- inputs -----------------------------------------------------------------
fx=$work/fx
mkdir -p "$fx"
(cd "$fx" && helper "$adxencode" --channels 2 --seconds 2 --reference stereo.wav unused.adx &&
    helper "$adxencode" --signal sweep --seconds 1 --reference mono.wav unused.adx) >/dev/null ||
    { echo "adxencode cannot make the inputs"; exit 1; }
tail -c +45 "$fx/stereo.wav" >"$fx/stereo.pcm"
cp "$fx/stereo.wav" "$fx/looped.wav"
smpl "$fx/looped.wav" 10000 69999
cp "$fx/stereo.wav" "$fx/bad-smpl.wav"
smpl "$fx/bad-smpl.wav" 10000 99999
head -c 1200 "$fx/stereo.pcm" >"$fx/six.pcm"
wav "$fx/six-channels.wav" 6 16 1 "$fx/six.pcm"
wav "$fx/truncated.wav" 2 16 1 "$fx/six.pcm" 4000
: >"$fx/nothing.pcm"
wav "$fx/empty.wav" 1 16 1 "$fx/nothing.pcm"
wav "$fx/alaw.wav" 1 8 6 "$fx/six.pcm"
echo "not audio" >"$fx/text.wav"

# --- help and version ---------------------------------------------------------
begin help
run --help
expect_status 0
err </dev/null
grep -q '^usage: corvina-encode \[options\] IN.wav OUT.adx$' "$case_dir/stdout" || fail "no usage line"

begin version
run --version
expect_status 0
out <<<'corvina-encode *.*.*'

# --- outputs and their loops --------------------------------------------------
# NAME | INPUT | options | loop start | loop end (none: no loop)
while IFS='|' read -r name input options start end; do
    begin "$name"
    # shellcheck disable=SC2086 # option lists
    run $options "../../fx/$input" out.adx
    expect_status 0
    err </dev/null
    out </dev/null
    if [ -n "$start" ]; then
        loop_is out.adx 2 "$start" "$end"
    elif (cd "$case_dir" && helper "$adxdecode" --loop 0 out.adx x.wav >/dev/null 2>&1); then
        fail "out.adx has a loop"
    fi
done <<'EOF2'
no-loop|stereo.wav|||
loop-in-samples|stereo.wav|--loop-samples 1000:50000|1000|50000
loop-unaligned-both-ends|stereo.wav|--loop-samples=1037:65535|1037|65535
loop-in-times-nearest-sample|stereo.wav|--loop-start 0.5 --loop-end 0:01.25002|22050|55126
loop-start-alone-runs-to-the-end|stereo.wav|--loop-start 1|44100|88200
loop-of-the-smpl-chunk|looped.wav||10000|70000
options-before-the-smpl-chunk|looped.wav|--loop-samples 0:32|0|32
no-loop-ignores-the-smpl-chunk|looped.wav|--no-loop||
version-4|looped.wav|--version4 --cutoff 400|10000|70000
one-encoder-thread|looped.wav|-j 1|10000|70000
EOF2

begin header-version-4-written
run --header-version=4 ../../fx/mono.wav out.adx
expect_status 0
[ "$(od -An -tx1 -j18 -N1 "$case_dir/out.adx" | tr -d ' ')" = 04 ] || fail "not a version 4 header"

# Names beyond ASCII reach the file system as they are (wmain on Windows).
begin names-beyond-ascii
cp "$fx/mono.wav" "$case_dir/chœur à l'ombre.wav"
run "chœur à l'ombre.wav" "chœur à l'ombre.adx"
expect_status 0
[ -s "$case_dir/chœur à l'ombre.adx" ] || fail "chœur à l'ombre.adx was not written"
no_leftovers

# Every tool spells replacing the same way.
for flag in -y --overwrite -f --force; do
    begin "overwrite-given$flag"
    cp "$fx/text.wav" "$case_dir/out.adx"
    run "$flag" ../../fx/mono.wav out.adx
    expect_status 0
    [ "$(head -c 1 "$case_dir/out.adx" | od -An -tx1 | tr -d ' ')" = 80 ] || fail "out.adx not replaced"
    no_leftovers
done

# An absolute path is a file, not a Windows-style option.
begin absolute-paths
run "$fx/mono.wav" "$case_dir/out.adx"
expect_status 0
err </dev/null
[ -s "$case_dir/out.adx" ] || fail "out.adx was not written"

begin windows-help
run '/?'
expect_status 0
grep -q '^usage: corvina-encode' "$case_dir/stdout" || fail "/? did not show the help"

# --- refusals -----------------------------------------------------------------
# NAME | status | stderr | arguments
while IFS='|' read -r name want message arguments; do
    begin "$name"
    # shellcheck disable=SC2086 # argument lists
    run $arguments
    expect_status "$want"
    err <<<"$message"
    out </dev/null
    [ ! -e "$case_dir/out.adx" ] || fail "out.adx was written"
    no_leftovers
done <<'EOF2'
no-arguments|1|corvina-encode: an input and an output file are needed (see --help)|
one-file|1|corvina-encode: an input and an output file are needed (see --help)|../../fx/mono.wav
three-files|1|corvina-encode: more files than IN.wav and OUT.adx: out.adx (--adx-dir encodes several)|../../fx/mono.wav x.adx out.adx
unknown-option|1|corvina-encode: The following argument was not expected: --loud (see --help)|--loud ../../fx/mono.wav out.adx
bad-time|1|corvina-encode: bad value for --loop-start: 1:75|--loop-start 1:75 ../../fx/mono.wav out.adx
bad-sample-range|1|corvina-encode: bad value for --loop-samples: 5 (START:END, in samples)|--loop-samples 5 ../../fx/mono.wav out.adx
samples-and-times|1|corvina-encode: --loop-start excludes --loop-samples (see --help)|--loop-samples 1:5 --loop-start 1 ../../fx/mono.wav out.adx
no-loop-and-a-loop|1|corvina-encode: --loop-end excludes --no-loop (see --help)|--no-loop --loop-end 1 ../../fx/mono.wav out.adx
version-twice|1|corvina-encode: --header-version excludes --version4 (see --help)|--version4 --header-version 3 ../../fx/mono.wav out.adx
header-version-5|1|corvina-encode: --header-version: 5 not in {3,4} (see --help)|--header-version 5 ../../fx/mono.wav out.adx
cutoff-too-high|1|corvina-encode: --cutoff: Value 70000 not in range 0 to 65535 (see --help)|--cutoff 70000 ../../fx/mono.wav out.adx
loop-end-not-after-start|1|corvina-encode: ../../fx/mono.wav: the loop 500:500: the loop end is not after its start|--loop-samples 500:500 ../../fx/mono.wav out.adx
loop-past-the-end|1|corvina-encode: ../../fx/mono.wav: the loop 0:44101 lies outside the stream of 44100 samples|--loop-samples 0:44101 ../../fx/mono.wav out.adx
loop-time-past-the-end|1|corvina-encode: ../../fx/mono.wav: the loop 22050:88200 lies outside the stream of 44100 samples|--loop-start 0.5 --loop-end 2 ../../fx/mono.wav out.adx
smpl-loop-past-the-end|2|corvina-encode: ../../fx/bad-smpl.wav: its smpl loop 10000:100000 lies outside the stream of 88200 samples (--no-loop ignores it)|../../fx/bad-smpl.wav out.adx
missing-input|2|corvina-encode: ../../fx/missing.wav: no such file|../../fx/missing.wav out.adx
input-is-a-directory|2|corvina-encode: ../../fx: is a directory, not a file|../../fx out.adx
not-a-wav-file|2|corvina-encode: ../../fx/text.wav: not a WAV file (no RIFF/WAVE header)|../../fx/text.wav out.adx
six-channels|2|corvina-encode: ../../fx/six-channels.wav: unsupported: it has 6 channels; mono and stereo can be encoded|../../fx/six-channels.wav out.adx
a-law|2|corvina-encode: ../../fx/alaw.wav: unsupported sample format (format tag 6, 8 bits); PCM of 8, 16, 24 or 32 bits and 32-bit float can be encoded|../../fx/alaw.wav out.adx
truncated-data|2|corvina-encode: ../../fx/truncated.wav: truncated: the data chunk holds 1200 of its 4000 bytes (2800 missing)|../../fx/truncated.wav out.adx
no-samples|2|corvina-encode: ../../fx/empty.wav: no samples: the data chunk is empty|../../fx/empty.wav out.adx
output-exists|1|corvina-encode: ../../fx/text.wav: already exists (-y or --overwrite replaces it)|../../fx/mono.wav ../../fx/text.wav
output-is-the-input|1|corvina-encode: ./../../fx/mono.wav: is the input file; choose another output|-y ../../fx/mono.wav ./../../fx/mono.wav
output-is-a-directory|1|corvina-encode: ../../fx: is a directory (the output is a file name)|../../fx/mono.wav ../../fx
output-not-creatable|3|corvina-encode: nowhere/out.adx: cannot create: No such file or directory|../../fx/mono.wav nowhere/out.adx
EOF2

begin output-is-the-input-by-another-name
ln "$fx/mono.wav" "$case_dir/link.wav"
run -y ../../fx/mono.wav link.wav
expect_status 1
err <<<'corvina-encode: link.wav: is the input file; choose another output'
cmp -s "$case_dir/link.wav" "$fx/mono.wav" || fail "the input was changed"

# POSIX only: devices, a file size limit, standard output on /dev/full.
if [ $posix = 1 ]; then
    # A device is never replaced, not even with -y.
    begin output-is-a-device
    run -y ../../fx/mono.wav /dev/null
    expect_status 1
    err <<<'corvina-encode: /dev/null: is not a regular file'

    # A file size limit makes the write fail (the signal it would raise is
    # ignored, so write reports EFBIG).
    begin write-error
    (cd "$case_dir" && trap '' XFSZ && ulimit -f 8 && exec "$encoder" ../../fx/looped.wav out.adx \
        >stdout 2>stderr)
    status=$?
    expect_status 3
    err <<<'corvina-encode: out.adx: write error: File too large'
    [ ! -e "$case_dir/out.adx" ] || fail "out.adx was left behind"
    no_leftovers

    begin standard-output-full
    (cd "$case_dir" && "$encoder" --help >/dev/full 2>stderr)
    status=$?
    expect_status 3
    err <<<'corvina-encode: standard output: write error: No space left on device'
fi

# --- batches ------------------------------------------------------------------
begin batch-with-one-bad-file
mkdir "$case_dir/out"
run --adx-dir out -j 2 ../../fx/mono.wav ../../fx/text.wav ../../fx/looped.wav
expect_status 2
out <<'EOF2'
../../fx/mono.wav -> out/mono.adx: done, 44100 samples
../../fx/text.wav: refused
../../fx/looped.wav -> out/looped.adx: done, 88200 samples, loop 10000:70000
total: 3 files: 2 done, 1 refused or failed
EOF2
err <<<'corvina-encode: ../../fx/text.wav: not a WAV file (no RIFF/WAVE header)'
loop_is out/looped.adx 2 10000 70000
[ ! -e "$case_dir/out/text.adx" ] || fail "out/text.adx was written"

begin batch-of-one-name-twice
mkdir "$case_dir/out" "$case_dir/again"
cp "$fx/mono.wav" "$case_dir/again/"
run --adx-dir out -j 1 ../../fx/mono.wav again/mono.wav
expect_status 1
out <<'EOF2'
../../fx/mono.wav -> out/mono.adx: done, 44100 samples
again/mono.wav: refused
total: 2 files: 1 done, 1 refused or failed
EOF2
err <<<'corvina-encode: out/mono.adx: written already in this run from another input'

begin batch-without-its-directory
run --adx-dir nowhere ../../fx/mono.wav
expect_status 1
err <<<'corvina-encode: nowhere: no such directory'

# --- Ctrl+C -------------------------------------------------------------------
if [ $posix = 1 ]; then
    # Whether the signal comes before or after the output is complete, nothing
    # partial remains: status 130 and no file, or status 0 and the whole file.
    begin interrupted
    for _ in 1 2 3 4 5 6 7 8; do cat "$fx/stereo.pcm"; done >"$case_dir/long.pcm"
    wav "$case_dir/long.wav" 2 16 1 "$case_dir/long.pcm"
    (cd "$case_dir" && exec "$encoder" long.wav out.adx >stdout 2>stderr) &
    pid=$!
    sleep 0.3
    kill -INT $pid 2>/dev/null
    wait $pid
    status=$?
    if [ $status = 130 ]; then
        err <<<'corvina-encode: out.adx: interrupted; nothing was written'
        [ ! -e "$case_dir/out.adx" ] || fail "out.adx was left behind"
    else
        expect_status 0
        [ -s "$case_dir/out.adx" ] || fail "status 0 without out.adx"
fi
no_leftovers
fi

summarize
