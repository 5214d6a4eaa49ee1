#!/usr/bin/env bash
# Runs corvina-play as a process on ADX fixtures made by adxencode, each case
# in a directory of its own: what --info prints, whether --wav writes exactly
# the PCM that adxdecode (the ADX core alone) makes of the same sample
# sequence, and the message and exit status of every kind of bad input.
#
#   corvina-play-cases.sh [--emulator RUNNER] [--corvina-encode CORVINA-ENCODE]
#                         CORVINA-PLAY ADXENCODE ADXDECODE AFSBUILD
#
# With --emulator the programs are Windows executables run through RUNNER
# (Wine): output lines lose their carriage returns. corvina-play uses the
# corvina.ax beside it. With --corvina-encode the modder's round trip runs
# too: --wav, corvina-encode, and the loop and passes of the new stream.
#
# Expected output is written one line per line; a line with a '*' is a glob
# pattern (for the system's error texts).
set -u

emulator=()
if [ "${1:-}" = "--emulator" ]; then
    emulator=("$2")
    shift 2
fi
corvina_encode=
if [ "${1:-}" = "--corvina-encode" ]; then
    corvina_encode=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
    shift 2
fi
if [ $# -ne 4 ]; then
    echo "usage: $0 [--emulator RUNNER] [--corvina-encode CORVINA-ENCODE] CORVINA-PLAY" \
        "ADXENCODE ADXDECODE AFSBUILD" >&2
    exit 2
fi
# The programs run from the cases' directories.
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
player=$(absolute "$1")
encoder=$(absolute "$2")
decoder=$(absolute "$3")
archiver=$(absolute "$4")

work=$(mktemp -d "${TMPDIR:-/tmp}/corvina-play-cases.XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT
# shellcheck source=../support/cases.sh
. "$(dirname "${BASH_SOURCE[0]}")/../support/cases.sh"


# Every program run gets two minutes; one that hangs is killed and fails.
limit=(timeout -s KILL 120)

# tool PROGRAM ARGS...: a helper program, run in the case directory; its
# failure fails the case.
tool() {
    local program=$1
    shift
    (cd "$case_dir" && "${limit[@]}" "${emulator[@]}" "$program" "$@" >tool.log 2>&1) ||
        fail "$(basename "$program") $* failed: $(cat "$case_dir/tool.log")"
}

# run ARGS...: runs corvina-play in the case directory.
run() {
    (cd "$case_dir" && "${limit[@]}" "${emulator[@]}" "$player" "$@" >stdout 2>stderr)
    status=$?
    [ $status != 137 ] || fail "corvina-play $* did not end within two minutes"
    # Windows writes text-mode lines with CRLF.
    sed -i 's/\r$//' "$case_dir/stdout" "$case_dir/stderr"
}



# data_bytes FILE.wav: the size of the data chunk of a WAV file that
# corvina-play wrote.
data_bytes() { od -An -tu4 -j40 -N4 "$1" | tr -d ' '; }

# loop_of FILE.wav: "START END" of the smpl chunk after the data (END one
# past the loop, as the player passes count), or nothing.
loop_of() {
    local data
    data=$(data_bytes "$1")
    [ "$(tail -c +$((45 + data)) "$1" | head -c 4)" = smpl ] || return 0
    od -An -tu4 -j$((44 + data + 52)) -N8 "$1" | awk '{ print $1, $2 + 1 }'
}

# same_wav ACTUAL GOLDEN CHANNELS: the files are equal (a smpl chunk after
# the data aside: adxdecode writes none); otherwise says how many sample
# frames each holds and names the first differing sample frame (or header
# byte).
same_wav() {
    local written=$case_dir/$1 golden=$case_dir/$2 frame_bytes=$(($3 * 2)) at frames want data
    if [ ! -f "$written" ]; then
        fail "$1 was not written"
        return
    fi
    if [ -n "$(loop_of "$written")" ]; then
        data=$(data_bytes "$written")
        { head -c 4 "$written"; le32 $((36 + data)); tail -c +9 "$written" | head -c $((36 + data)); } \
            >"$written.without-loop"
        written=$written.without-loop
    fi
    cmp -s "$written" "$golden" && return
    frames=$((($(stat -c %s "$written") - 44) / frame_bytes))
    want=$((($(stat -c %s "$golden") - 44) / frame_bytes))
    at=$(cmp -i 44 "$written" "$golden" 2>/dev/null | sed -n 's/.* byte \([0-9]*\).*/\1/p')
    if [ -n "$at" ]; then
        fail "$1: first mismatch at sample frame $(((at - 1) / frame_bytes)) ($frames frames, want $want)"
    elif [ "$frames" != "$want" ]; then
        fail "$1 has $frames sample frames, want $want (the shorter is a prefix of the longer)"
    else
        at=$(cmp -n 44 "$written" "$golden" 2>/dev/null | sed -n 's/.* byte \([0-9]*\).*/\1/p')
        fail "$1: WAV header differs at byte $at"
    fi
}

echo "corvina-play cases"

# --- fixtures -------------------------------------------------------------
fx=$work/fx
mkdir -p "$fx"
case_name=fixtures
case_dir=$fx
case_failed=0
tool "$encoder" --signal sweep --channels 1 --rate 22050 --samples 30011 mono.adx \
    --reference mono-reference.wav
tool "$encoder" --signal sweep --channels 2 --rate 32000 --seconds 4 --loop 32000:96000 \
    stereo.adx --reference stereo-reference.wav
tool "$encoder" --signal sweep --version 4 --channels 2 --rate 44100 --samples 44100 \
    --history 1200,-800,-3000,2500 --loop 3200:32000 --loop 1000:9600 v4.adx \
    --reference v4-reference.wav
tool "$encoder" --offset 4096 --trailer 100 --channels 1 --rate 48000 --samples 20000 \
    --loop 3200:16000 offset.adx
# A loop of 0.4 s: many passes a second.
tool "$encoder" --channels 1 --rate 8000 --samples 8000 --loop 3200:6400 short-loop.adx
# A loop whose end is not a block boundary: the first pass ends at the loop
# end, later passes where the loop's range ends, and each jumps again.
tool "$encoder" --channels 1 --rate 8000 --samples 12000 --loop 1000:9610 unaligned-loop.adx
# At 22,050 Hz no frame lasts a whole number of 100-ns units: the passes end
# where the parser's times say, whatever its buffers.
tool "$encoder" --signal sweep --channels 1 --rate 22050 --samples 30011 --loop 3000:20000 \
    mono-loop.adx
printf 'ADX? no.\n%.0s' $(seq 40) >"$fx/text.adx"
: >"$fx/empty.adx"
printf '\x80\x00\x00' >"$fx/three-bytes.adx"
# The prefix announces a header of 0x104 bytes; the file ends before.
{ printf '\x80\x00\x01\x00'; head -c 100 /dev/zero; } >"$fx/header-cut.adx"
# Encoding type 2 instead of 3 at byte 4.
{ head -c 4 "$fx/mono.adx"; printf '\x02'; tail -c +6 "$fx/mono.adx"; } >"$fx/header-refused.adx"
mkdir -p "$fx/a-directory.adx"
echo 'not a module' >"$fx/text.ax"
# corvina.ax of another release: its version resource says 99.99.
cp "$(dirname "$player")/corvina.ax" "$fx/other-release.ax"
perl -0777 -pi -e 's/\xBD\x04\xEF\xFE(....)..../\xBD\x04\xEF\xFE$1\x63\x00\x63\x00/s' \
    "$fx/other-release.ax"
# patched FILE OFFSET BYTES COPY: a copy of FILE with BYTES (printf escapes)
# at OFFSET.
patched() {
    cp "$fx/$1" "$fx/$4"
    # shellcheck disable=SC2059 # the escapes are the point
    printf "$3" | dd of="$fx/$4" bs=1 seek="$2" conv=notrunc status=none
}
# The data ends after 1000 of the 4000 frames (header 50, frames of 36).
head -c $((50 + 1000 * 36)) "$fx/stereo.adx" >"$fx/truncated.adx"
patched mono.adx 12 '\xff\xff\xff\xff' length-all-ones.adx
patched mono.adx 12 '\x80\x00\x00\x00' length-2-to-31.adx
patched mono.adx 7 '\x09' nine-channels.adx
patched mono.adx 6 '\x08' eight-bits.adx
cp "$fx/mono.adx" "$fx/-dash.adx"
tool "$archiver" songs.afs mono.adx stereo.adx
tool "$archiver" cut-songs.afs truncated.adx stereo.adx
# An archive cut inside its first member (at byte 2048): 1000 frames remain.
tool "$archiver" stereo-first.afs stereo.adx mono.adx
head -c $((2048 + 50 + 1000 * 36)) "$fx/stereo-first.afs" >"$fx/cut.afs"
# Member names as Japanese games store them (Shift-JIS, here with the trail
# byte 0x5C of a backslash) and as UTF-8.
names_at=$(od -An -tu4 -j24 -N4 "$fx/stereo-first.afs" | tr -d ' ')
patched stereo-first.afs "$names_at" '\x83\x5c\x95\x5c.adx\0\0' shift-jis.afs
patched stereo-first.afs "$names_at" 'ボイス.adx' utf-8.afs
# Inputs whose outputs are one file on Windows, or a device.
mkdir -p "$fx/a" "$fx/b"
cp "$fx/mono.adx" "$fx/a/Title.adx"
cp "$fx/stereo.adx" "$fx/b/title.adx"
cp "$fx/mono.adx" "$fx/aux.adx"
if [ $case_failed != 0 ]; then
    echo "the fixtures could not be made"
    exit 1
fi
case_name=

# The golden decoder agrees with the encoder's own reference decode.
begin golden-decoder-agrees-with-the-encoder
for name in mono stereo v4; do
    tool "$decoder" "../../fx/$name.adx" "$name.wav"
    cmp -s "$case_dir/$name.wav" "$fx/$name-reference.wav" ||
        fail "adxdecode $name.adx differs from the encoder's reference"
done

# --- --info ---------------------------------------------------------------
begin info-mono
run --info ../../fx/mono.adx
expect_status 0
out <<'EOF'
file             ../../fx/mono.adx
stream offset    0
version          3
block size       18
bits per sample  4
samples/block    32
channels         1
sample rate      22050
total samples    30011
duration         0:01.361
loops            0
EOF
err </dev/null

begin info-stereo-with-a-loop
run --info ../../fx/stereo.adx
expect_status 0
# Header length 50, frames of 36 bytes: loop bytes 50 + 1000 * 36 and 50 + 3000 * 36.
out <<'EOF'
file             ../../fx/stereo.adx
stream offset    0
version          3
block size       18
bits per sample  4
samples/block    32
channels         2
sample rate      32000
total samples    128000
duration         0:04.000
loops            1
loop 0           start 32000 (0:01.000), end 96000 (0:03.000); bytes 36050-108050, trims 0/0
EOF
err </dev/null

begin info-version-4-two-loops
run --info ../../fx/v4.adx
expect_status 0
# Header length 86; loop 1 starts in block 31 (byte 86 + 31 * 36) at sample 8 of it.
out <<'EOF'
file             ../../fx/v4.adx
stream offset    0
version          4
block size       18
bits per sample  4
samples/block    32
channels         2
sample rate      44100
total samples    44100
duration         0:01.000
loops            2
loop 0           start 3200 (0:00.072), end 32000 (0:00.725); bytes 3686-36086, trims 0/0
loop 1           start 1000 (0:00.022), end 9600 (0:00.217); bytes 1202-10886, trims 8/0
EOF
err </dev/null

begin info-stream-at-an-offset
run --info --offset 0x1000 ../../fx/offset.adx
expect_status 0
out <<'EOF'
file             ../../fx/offset.adx
stream offset    4096
version          3
block size       18
bits per sample  4
samples/block    32
channels         1
sample rate      48000
total samples    20000
duration         0:00.416
loops            1
loop 0           start 3200 (0:00.066), end 16000 (0:00.333); bytes 1850-9050, trims 0/0
EOF
err </dev/null

# --- --wav against the ADX core's decode of the same sample sequence --------
# NAME | FIXTURE | CHANNELS | corvina-play options | adxdecode options
# A start at time t begins with the block holding it, after a preroll of
# (rate / 32) >> 5 blocks: 21 at 22050 Hz, 31 at 32000 Hz, 43 at 44100 Hz.
# A stop ends with the block holding it. A loop's first pass ends at
# endSample + 32 - endTrim, every further pass runs from the loop start (with
# its trim) to there.
while IFS='|' read -r name fixture channels options golden; do
    begin "wav-$name"
    # shellcheck disable=SC2086 # option lists
    run --wav out.wav $options "../../fx/$fixture"
    expect_status 0
    err </dev/null
    # shellcheck disable=SC2086
    tool "$decoder" $golden "../../fx/$fixture" golden.wav
    same_wav out.wav golden.wav "$channels"
done <<'EOF'
mono-whole|mono.adx|1||
stereo-whole|stereo.adx|2||
version-4-initial-history|v4.adx|2||
stream-at-an-offset|offset.adx|1|--offset 4096|--offset 4096
loop-one-pass|stereo.adx|2|--loop 0 --passes 1|--loop 0 --passes 1
loop-three-passes|stereo.adx|2|--loop 0 --passes 3|--loop 0 --passes 3
loop-with-start-trim|v4.adx|2|--loop 1 --passes 3|--loop 1 --passes 3
loop-at-an-offset|offset.adx|1|--offset 4096 --loop 0 --passes 2|--offset 4096 --loop 0 --passes 2
many-short-passes|short-loop.adx|1|--loop 0 --passes 40|--loop 0 --passes 40
passes-at-22050-hz|mono-loop.adx|1|--loop 0 --passes 5|--loop 0 --passes 5
start-in-a-loop-at-22050-hz|mono-loop.adx|1|--start 0.5 --loop 0 --passes 3|--start-block 344 --preroll-blocks 21 --loop 0 --passes 3
start-inside-a-block|stereo.adx|2|--start 1.7101|--start-block 1710 --preroll-blocks 31
start-before-the-preroll-fits|v4.adx|2|--start 0.01|--start-block 13 --preroll-blocks 43
start-and-stop|stereo.adx|2|--start 0.5 --stop 2.5|--start-block 500 --preroll-blocks 31 --end-sample 80032
start-inside-the-loop|stereo.adx|2|--start 2.5 --loop 0 --passes 2|--start-block 2500 --preroll-blocks 31 --loop 0 --passes 2
times-as-clock-and-equals|stereo.adx|2|--start=0:00.5 --stop=00:00:02.5|--start-block 500 --preroll-blocks 31 --end-sample 80032
stop-in-the-first-pass|stereo.adx|2|--loop 0 --passes 1 --stop 2.5|--end-sample 80032
EOF
finish

begin wav-loop-ending-with-its-range-loops
run --wav out.wav --loop 0 --passes 3 ../../fx/unaligned-loop.adx
expect_status 0
err </dev/null

# --- playback on the null audio device -------------------------------------
begin play-a-loop-twice
run --loop 0 --passes 2 --start 0.6 ../../fx/short-loop.adx
expect_status 0
out </dev/null
err </dev/null

# The loop end comes while the graph is still paused: the renderer holds the
# first samples until Run, and the loop jump must not keep Run waiting.
begin play-starting-just-before-the-loop-end
run --loop 0 --passes 2 --start 0.75 ../../fx/short-loop.adx
expect_status 0
out </dev/null
err </dev/null

# wait_then_interrupt PID FILE [SIGNAL]: once FILE (a name or a pattern, in
# the case directory) holds data, or after a few seconds without FILE, sends
# Ctrl+C (SIGINT, which Wine passes to the console handler) or SIGNAL and
# waits for the program; kills it when it has not ended a minute later.
wait_then_interrupt() {
    local pid=$1 file=$2 signal=${3:-INT} watchdog i
    (
        for _ in $(seq 600); do
            kill -0 "$pid" 2>/dev/null || exit 0
            sleep 0.1
        done
        kill -KILL "$pid"
    ) &
    watchdog=$!
    for i in $(seq 300); do
        if [ -n "$file" ]; then
            [ -n "$(find "$case_dir" -maxdepth 1 -name "$file" -size +0 -print -quit)" ] && break
        elif [ "$i" -ge 30 ]; then
            break
        fi
        sleep 0.1
    done
    kill -"$signal" "$pid"
    wait "$pid"
    status=$?
    wait $watchdog
    sed -i 's/\r$//' "$case_dir/stdout" "$case_dir/stderr"
}

begin interrupt-endless-playback
(cd "$case_dir" && exec "${emulator[@]}" "$player" --loop 0 ../../fx/short-loop.adx \
    >stdout 2>stderr) &
wait_then_interrupt $! ''
expect_status 130
out </dev/null
err </dev/null

begin interrupt-conversion-removes-the-file
# 20000 passes take many seconds; the interruption comes once data is written.
(cd "$case_dir" && exec "${emulator[@]}" "$player" --wav out.wav --loop 0 --passes 20000 \
    ../../fx/short-loop.adx >stdout 2>stderr) &
wait_then_interrupt $! 'out.wav.partial-*'
expect_status 130
out </dev/null
err <<<'corvina-play: out.wav: interrupted; the incomplete file is removed'
left=$(find "$case_dir" -name 'out.wav*' -printf '%f ')
[ -z "$left" ] || fail "left behind: $left"

# The file is written under a temporary name: a program that is stopped,
# even killed (a closed console window), never leaves a partial file under
# the final name, nor harms the file that -y was to replace.
# NAME | SIGNAL | STATUS | the temporary file left (a glob; none if empty)
while IFS='|' read -r name signal want leftover; do
    begin "$name"
    echo old >"$case_dir/out.wav"
    (cd "$case_dir" && exec "${emulator[@]}" "$player" --wav out.wav -y --loop 0 \
        --passes 20000 ../../fx/short-loop.adx >stdout 2>stderr) &
    wait_then_interrupt $! 'out.wav.partial-*' "$signal"
    expect_status "$want"
    [ "$(cat "$case_dir/out.wav")" = old ] || fail "out.wav was changed"
    left=$(find "$case_dir" -name '*.partial*' -printf '%f\n')
    # shellcheck disable=SC2053 # a glob on purpose
    [[ $left == $leftover ]] || fail "the temporary files are '$left', want '$leftover'"
done <<'EOF'
interrupt-overwrite-keeps-the-old-file|INT|130|
killed-conversion-keeps-the-old-file|KILL|137|out.wav.partial-[0-9]*
EOF
finish

# --- bad input: message and exit status -------------------------------------
# NAME | STATUS | MESSAGE (a glob) | ARGUMENTS
while IFS='|' read -r name want message arguments; do
    begin "refuse-$name"
    # shellcheck disable=SC2086 # argument lists
    run $arguments
    expect_status "$want"
    out </dev/null
    err <<<"$message"
    left=$(find "$case_dir" -mindepth 1 ! -name stdout ! -name stderr -printf '%P ')
    [ -z "$left" ] || fail "left behind: $left"
done <<'EOF'
no-arguments|1|corvina-play: no input file (see --help)|
unknown-option|1|corvina-play: unknown option --speed (see --help)|--speed 2 ../../fx/mono.adx
unknown-short-option|1|corvina-play: unknown option -x (see --help)|-x ../../fx/mono.adx
flag-with-a-value|1|corvina-play: --quiet takes no value|--quiet=1 ../../fx/mono.adx
two-files|1|corvina-play: more than one input file: ../../fx/stereo.adx (--wav-dir converts several)|../../fx/mono.adx ../../fx/stereo.adx
bad-clock-time|1|corvina-play: bad value for --start: 1:75|--start 1:75 ../../fx/mono.adx
rate-with-wav|1|corvina-play: --rate cannot be used with --wav (*)|--wav out.wav --rate 2 ../../fx/stereo.adx
stop-with-passes|1|corvina-play: --stop with --loop ends the first pass: it needs --passes 1|--wav out.wav --loop 0 --passes 2 --stop 2 ../../fx/stereo.adx
member-with-offset|1|corvina-play: --member and --offset cannot be used together (*)|--member 0 --offset 4 ../../fx/songs.afs
missing-value|1|corvina-play: --loop needs a value|../../fx/mono.adx --loop
rate-zero|1|corvina-play: bad value for --rate: 0|--rate 0 ../../fx/mono.adx
negative-start|1|corvina-play: bad value for --start: -1|--start -1 ../../fx/mono.adx
passes-without-loop|1|corvina-play: --passes needs --loop|--passes 2 ../../fx/stereo.adx
endless-conversion|1|corvina-play: --wav with --loop needs --passes 1 or more (the loop would never end)|--wav out.wav --loop 0 ../../fx/stereo.adx
stop-before-start|1|corvina-play: --stop must lie after --start|--start 2 --stop 1 ../../fx/stereo.adx
info-and-wav|1|corvina-play: only one of --info, --wav and --wav-dir may be given|--info --wav out.wav ../../fx/stereo.adx
info-with-start|1|corvina-play: --start cannot be used with --info (*)|--info --start 1 ../../fx/stereo.adx
info-with-a-loop|1|corvina-play: --loop cannot be used with --info (*)|--info --loop 0 --passes 2 ../../fx/stereo.adx
overwrite-without-an-output|1|corvina-play: --overwrite needs --wav or --wav-dir (*)|-f ../../fx/stereo.adx
empty-value-after-equals|1|corvina-play: bad value for --wav: |--wav= ../../fx/stereo.adx
render-with-offset|1|corvina-play: --offset and --member cannot be used with --render (*)|--render --offset 4096 ../../fx/offset.adx
loop-not-in-the-file|1|corvina-play: ../../fx/stereo.adx: no loop 1: the loop table holds 1 loop|--wav out.wav --loop 1 --passes 1 ../../fx/stereo.adx
start-past-the-end|1|corvina-play: ../../fx/stereo.adx: --start 0:05.000 lies past the end of the stream (0:04.000)|--wav out.wav --start 5 ../../fx/stereo.adx
wav-over-the-size-limit|1|corvina-play: ../../fx/stereo.adx: the conversion would write 5122688000 bytes of PCM, more than a WAV file holds (4294967191); ask for less with *|--wav out.wav --loop 0 --passes 20000 ../../fx/stereo.adx
stop-past-the-end|1|corvina-play: ../../fx/stereo.adx: --stop 0:05.000 lies past the end of the stream (0:04.000)|--wav out.wav --stop 5 ../../fx/stereo.adx
stop-after-the-loop-end|1|corvina-play: ../../fx/stereo.adx: --stop 0:03.500 lies after the end of loop 0 (0:03.001): the pass ends the stream first|--wav out.wav --loop 0 --passes 1 --stop 3.5 ../../fx/stereo.adx
start-after-the-loop-end|1|corvina-play: ../../fx/stereo.adx: --start 0:03.500 lies after the end of loop 0 (0:03.001): no pass would play|--wav out.wav --loop 0 --passes 2 --start 3.5 ../../fx/stereo.adx
output-is-a-directory|1|corvina-play: ../../fx/a-directory.adx: is a directory (*)|--wav ../../fx/a-directory.adx ../../fx/mono.adx
output-exists|1|corvina-play: ../../fx/stereo.adx: already exists (-y or --overwrite replaces it)|--wav ../../fx/stereo.adx ../../fx/mono.adx
wav-dir-is-a-file|1|corvina-play: ../../fx/mono.adx: not a directory|--wav-dir ../../fx/mono.adx ../../fx/stereo.adx
wav-dir-outputs-one-file-on-windows|1|corvina-play: ../../fx/b/title.adx: its output out/title.wav is one file with out/Title.wav (from ../../fx/a/Title.adx) on Windows|--wav-dir out -y ../../fx/a/Title.adx ../../fx/b/title.adx
wav-dir-output-a-device|1|corvina-play: ../../fx/aux.adx: its output out/aux.wav would be a Windows device, not a file|--wav-dir out ../../fx/mono.adx ../../fx/aux.adx
missing-file|2|corvina-play: missing.adx: no such file|--info missing.adx
missing-directory|2|corvina-play: nowhere/missing.adx: no such file|--info nowhere/missing.adx
a-directory|2|corvina-play: ../../fx/a-directory.adx: is a directory, not a file|--info ../../fx/a-directory.adx
empty-file|2|corvina-play: ../../fx/empty.adx: empty file|--info ../../fx/empty.adx
not-adx|2|corvina-play: ../../fx/text.adx: not an ADX stream|--info ../../fx/text.adx
three-bytes|2|corvina-play: ../../fx/three-bytes.adx: file too short for the ADX header|--info ../../fx/three-bytes.adx
header-cut-short|2|corvina-play: ../../fx/header-cut.adx: file too short for the ADX header|--info ../../fx/header-cut.adx
header-refused|2|corvina-play: ../../fx/header-refused.adx: not an ADX stream: the parser refused its header|--info ../../fx/header-refused.adx
stream-not-at-0|2|corvina-play: ../../fx/offset.adx: not an ADX stream|--info ../../fx/offset.adx
wrong-offset|2|corvina-play: ../../fx/offset.adx: not an ADX stream at byte offset 100|--info --offset 100 ../../fx/offset.adx
offset-past-the-end|2|corvina-play: ../../fx/offset.adx: file too short: 15496 bytes, no stream can start at byte offset 15496|--info --offset 15496 ../../fx/offset.adx
missing-module|3|corvina-play: nowhere.ax: cannot load the filter module: no such file|--info --module nowhere.ax ../../fx/mono.adx
module-not-a-dll|3|corvina-play: ../../fx/text.ax: cannot load the filter module: it is not a *-bit Windows DLL|--info --module ../../fx/text.ax ../../fx/mono.adx
module-of-another-release|3|corvina-play: ../../fx/other-release.ax: the filter module is release 99.99.*; corvina-play plays only with release *|--info --module ../../fx/other-release.ax ../../fx/mono.adx
output-not-creatable|3|corvina-play: nowhere/out.wav: cannot create: *|--wav nowhere/out.wav ../../fx/mono.adx
length-all-ones|2|corvina-play: ../../fx/length-all-ones.adx: not a playable ADX stream: its header gives a total length of 4294967295 samples|--wav out.wav ../../fx/length-all-ones.adx
length-2-to-31|2|corvina-play: ../../fx/length-2-to-31.adx: not a playable ADX stream: its header gives a total length of 2147483648 samples|--info ../../fx/length-2-to-31.adx
nine-channels|2|corvina-play: ../../fx/nine-channels.adx: the decoder cannot play this stream: it has 9 channels; the decoder plays 1 or 2|--wav out.wav ../../fx/nine-channels.adx
eight-bits|2|corvina-play: ../../fx/eight-bits.adx: the decoder cannot play this stream: it has 8 bits per sample; the decoder plays 4|--wav out.wav ../../fx/eight-bits.adx
member-missing|2|corvina-play: ../../fx/songs.afs: no member named drums.adx|--info --member drums.adx ../../fx/songs.afs
member-index-too-large|2|corvina-play: ../../fx/songs.afs: no member 2: the archive holds 2 members|--info --member 2 ../../fx/songs.afs
member-of-no-archive|2|corvina-play: ../../fx/mono.adx: not a readable AFS archive: *|--info --member 0 ../../fx/mono.adx
EOF
finish

begin refuse-output-is-the-input
cp "$fx/stereo.adx" "$case_dir/in.adx"
run --wav ./in.adx in.adx
expect_status 1
err <<<'corvina-play: ./in.adx: is the input file; it would be overwritten'
cmp -s "$case_dir/in.adx" "$fx/stereo.adx" || fail "in.adx was changed"

begin write-error
run --wav /dev/full ../../fx/stereo.adx
expect_status 3
err <<<'corvina-play: /dev/full: write error: *'
[ -e /dev/full ] || fail "/dev/full was removed"

# NAME | OPTION: each spelling of help, the Windows one too.
while IFS='|' read -r name option; do
    begin "$name"
    run "$option"
    expect_status 0
    err </dev/null
    head -n 1 "$case_dir/stdout" | grep -q '^usage: corvina-play \[options\] FILE$' ||
        fail "$option does not start with the usage line"
done <<'EOF'
help|--help
help-short|-h
help-windows|/?
EOF

for option in --version -V; do
    begin "version-$option"
    run "$option"
    expect_status 0
    out <<<'corvina-play [0-9]*.[0-9]*.[0-9]*'
    err </dev/null
done

begin info-write-error-on-standard-output
(cd "$case_dir" && "${limit[@]}" "${emulator[@]}" "$player" --info ../../fx/mono.adx \
    >/dev/full 2>stderr)
status=$?
sed -i 's/\r$//' "$case_dir/stderr"
expect_status 3
err <<<'corvina-play: standard output: write error: *'

# OPTION: each spelling of the flag that replaces an output.
for option in -y --overwrite -f --force; do
    begin "overwrite-given-as-$option"
    cp "$fx/mono.adx" "$case_dir/out.wav"
    run --wav out.wav "$option" ../../fx/stereo.adx
    expect_status 0
    err </dev/null
    tool "$decoder" ../../fx/stereo.adx golden.wav
    same_wav out.wav golden.wav 2
done

# --- short streams: a warning and status 4 ----------------------------------
# The next member's bytes are not this stream's data; an archive cut short
# holds what it holds.
# NAME | FILE | ARGUMENTS
while IFS='|' read -r name file arguments; do
    begin "$name"
    # shellcheck disable=SC2086 # argument lists
    run --wav out.wav $arguments "../../fx/$file"
    expect_status 4
    err <<<"corvina-play: ../../fx/$file: warning: the data ends after 0:01.000 of the 0:04.000 the header gives; 0:01.000 of 0:04.000 converted"
    tool "$decoder" --end-sample 32000 ../../fx/stereo.adx golden.wav
    same_wav out.wav golden.wav 2
done <<'EOF'
wav-of-a-truncated-stream|truncated.adx|
wav-of-a-truncated-member|cut-songs.afs|--member 0
wav-of-a-member-cut-off-by-the-archive-end|cut.afs|--member 0
EOF
finish

begin info-of-a-truncated-stream
run --info ../../fx/truncated.adx
expect_status 4
err <<<'corvina-play: ../../fx/truncated.adx: warning: the data ends after 0:01.000 of the 0:04.000 the header gives'

# --- files named like options, standard output, members, batches ------------
begin double-dash-ends-the-options
run --wav out.wav -- ../../fx/-dash.adx
expect_status 0
err </dev/null
tool "$decoder" ../../fx/mono.adx golden.wav
same_wav out.wav golden.wav 1

# Standard output is never positioned: its sizes stay unknown (all ones),
# also in a file that the shell opened for appending. A reader that goes
# away ends the program quietly, with SIGPIPE's status.
# NAME | STATUS | PREFIX in the file before | BYTES of the WAV it takes (all if empty) | READER (none: >>)
while IFS='|' read -r name want prefix bytes reader; do
    begin "$name"
    printf %s "$prefix" >"$case_dir/piped.wav"
    # shellcheck disable=SC2086 # the reader's arguments
    (cd "$case_dir" && if [ -n "$reader" ]; then
        "${limit[@]}" "${emulator[@]}" "$player" --wav - ../../fx/stereo.adx 2>stderr |
            $reader >>piped.wav
        exit "${PIPESTATUS[0]}"
    else
        exec "${limit[@]}" "${emulator[@]}" "$player" --wav - ../../fx/stereo.adx 2>stderr \
            >>piped.wav
    fi)
    status=$?
    sed -i 's/\r$//' "$case_dir/stderr"
    expect_status "$want"
    err </dev/null
    tool "$decoder" ../../fx/stereo.adx golden.wav
    { printf %s "$prefix"; head -c 4 "$case_dir/golden.wav"; printf '\xff\xff\xff\xff'
      tail -c +9 "$case_dir/golden.wav" | head -c 32; printf '\xff\xff\xff\xff'
      tail -c +45 "$case_dir/golden.wav"; } | head -c $((${#prefix} + ${bytes:-1000000000})) \
        >"$case_dir/want.wav"
    cmp -s "$case_dir/piped.wav" "$case_dir/want.wav" ||
        fail "$(cmp "$case_dir/piped.wav" "$case_dir/want.wav" 2>&1)"
done <<'EOF'
wav-to-standard-output|0|||cat
wav-appended-to-standard-output|0|earlier data||
wav-into-a-closed-pipe|141||100|head -c 100
EOF
finish

# A WAV file is no text for a terminal (a pseudo-terminal here).
begin wav-to-a-terminal
(cd "$case_dir" && script -qec "$(printf '%q ' "${limit[@]}" "${emulator[@]}" "$player" \
    --wav - ../../fx/stereo.adx) 2>stderr" /dev/null >terminal.log)
status=$?
sed -i 's/\r$//' "$case_dir/stderr"
expect_status 1
err <<<'corvina-play: standard output is a terminal; redirect the WAV data (> out.wav) or pipe it into a program'

begin member-by-name
run --info --member stereo.adx ../../fx/songs.afs
expect_status 0
err </dev/null
grep -q '^member           stereo.adx$' "$case_dir/stdout" || fail "no member line"
grep -q '^total samples    128000$' "$case_dir/stdout" || fail "not the stereo member"

# --wav-dir makes its directory and names the output after the member.
begin wav-dir-made-for-a-member
run --wav-dir new/wav/ --member 1 ../../fx/songs.afs
expect_status 0
out <<'EOF'
../../fx/songs.afs -> new/wav/stereo.wav: done, 0:04.000
total: 1 file: 1 done, 0 short, 0 refused or failed
EOF
err </dev/null
tool "$decoder" ../../fx/stereo.adx golden.wav
same_wav new/wav/stereo.wav golden.wav 2

# Stored names are decoded as UTF-8 where they are valid UTF-8, else as
# Shift-JIS; the output is named so, and --member finds the name so.
# NAME | ARCHIVE | MEMBER | OUTPUT
while IFS='|' read -r name archive member output; do
    begin "$name"
    LC_ALL=C.UTF-8 run --wav-dir out --member "$member" "../../fx/$archive"
    expect_status 0
    out <<EOF
../../fx/$archive -> out/$output: done, 0:04.000
total: 1 file: 1 done, 0 short, 0 refused or failed
EOF
    err </dev/null
    tool "$decoder" ../../fx/stereo.adx golden.wav
    same_wav "out/$output" golden.wav 2
done <<'EOF'
wav-dir-shift-jis-member-name|shift-jis.afs|0|ソ表.wav
wav-dir-shift-jis-member-by-name|shift-jis.afs|ソ表.adx|ソ表.wav
wav-dir-utf-8-member-name|utf-8.afs|ボイス.adx|ボイス.wav
EOF
finish

begin member-by-index-converted
run --wav out.wav --member 0 ../../fx/songs.afs
expect_status 0
err </dev/null
tool "$decoder" ../../fx/mono.adx golden.wav
same_wav out.wav golden.wav 1

begin batch-with-one-bad-file
mkdir -p "$case_dir/out"
run --wav-dir out ../../fx/mono.adx ../../fx/text.adx ../../fx/stereo.adx
expect_status 2
out <<'EOF'
../../fx/mono.adx -> out/mono.wav: done, 0:01.361
../../fx/text.adx: refused
../../fx/stereo.adx -> out/stereo.wav: done, 0:04.000
total: 3 files: 2 done, 0 short, 1 refused or failed
EOF
err <<<'corvina-play: ../../fx/text.adx: not an ADX stream'
tool "$decoder" ../../fx/stereo.adx golden.wav
same_wav out/stereo.wav golden.wav 2
[ ! -e "$case_dir/out/text.wav" ] || fail "out/text.wav was left behind"

# --- the modder's round trip -----------------------------------------------
# --wav of a whole stream keeps its first loop as the parser plays it (the
# samples of its second pass) in a smpl chunk; corvina-encode takes the loop
# from there, so the new stream repeats the same samples (its first pass
# ends at the loop end), and its own conversion carries the same loop on.
# A stream that corvina-encode made comes back with the same loop record.
# NAME | FIXTURE | loop start | loop end (exclusive) | same --info loop line
if [ -n "$corvina_encode" ]; then
    case_name=round-trip-fixture
    case_dir=$fx
    tool "$corvina_encode" --loop-samples 1037:25013 mono-reference.wav encoded-loop.adx
fi
while IFS='|' read -r name fixture start end same_record; do
    [ -n "$corvina_encode" ] || break
    begin "round-trip-$name"
    run --wav first.wav "../../fx/$fixture"
    expect_status 0
    [ "$(loop_of "$case_dir/first.wav")" = "$start $end" ] ||
        fail "first.wav loops over '$(loop_of "$case_dir/first.wav")', want '$start $end'"
    tool "$corvina_encode" first.wav again.adx
    run --wav again.wav again.adx
    [ "$(loop_of "$case_dir/again.wav")" = "$start $end" ] ||
        fail "again.wav loops over '$(loop_of "$case_dir/again.wav")', want '$start $end'"
    # Frames of one pass and of three, of the fixture and of the new stream.
    lengths=()
    for source in "../../fx/$fixture" again.adx; do
        for passes in 1 3; do
            run --wav passes.wav --loop 0 --passes $passes -y "$source"
            expect_status 0
            lengths+=($(($(data_bytes "$case_dir/passes.wav") / $(od -An -tu2 -j32 -N2 \
                "$case_dir/passes.wav"))))
        done
    done
    [ "${lengths[2]}" = "$end" ] || fail "the first pass of again.adx ends at ${lengths[2]}, want $end"
    [ $((lengths[1] - lengths[0])) = $((lengths[3] - lengths[2])) ] ||
        fail "two loop passes play $((lengths[3] - lengths[2])) samples, want $((lengths[1] - lengths[0]))"
    if [ "$same_record" = yes ]; then
        run --info "../../fx/$fixture"
        grep '^loop 0 ' "$case_dir/stdout" >"$case_dir/first.info"
        run --info again.adx
        grep '^loop 0 ' "$case_dir/stdout" | cmp -s - "$case_dir/first.info" ||
            fail "--info shows another loop record: $(grep '^loop 0 ' "$case_dir/stdout")"
    fi
done <<'EOF'
aligned-loop|stereo.adx|32000|96032|no
start-trim|v4.adx|3200|32032|no
end-inside-a-frame|encoded-loop.adx|1037|25013|yes
record-end-past-its-range|unaligned-loop.adx|1000|9632|no
EOF

# A stream converted only in part keeps no loop.
begin no-loop-kept-when-cut
run --wav out.wav --start 0.5 ../../fx/stereo.adx
expect_status 0
[ -z "$(loop_of "$case_dir/out.wav")" ] || fail "out.wav has a smpl chunk"

# The wrapper passes absolute Linux paths as they were given: messages show
# them so, not as Wine's Z: paths.
if [ ${#emulator[@]} -ne 0 ]; then
    begin wrapper-keeps-absolute-paths
    tree=$(cd "$(dirname "$player")/../.." && pwd)
    wrapper=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/corvina-play
    (cd "$case_dir" && CORVINA_PLAY_BUILD=$tree "${limit[@]}" "$wrapper" --info \
        "$case_dir/missing.adx" >stdout 2>stderr)
    status=$?
    sed -i 's/\r$//' "$case_dir/stdout" "$case_dir/stderr"
    expect_status 2
    err <<<"corvina-play: $case_dir/missing.adx: no such file"

    # Its first run on a new prefix says what takes the time, once.
    begin wrapper-says-it-sets-up-wine
    fresh=$case_dir/tree
    mkdir -p "$fresh/tools/corvina-play"
    ln -s "$player" "$fresh/tools/corvina-play/corvina-play.exe"
    sed "s|CORVINA_WINEPREFIX='[^']*'|CORVINA_WINEPREFIX='$fresh/wineprefix'|" "$tree/wine-run" \
        >"$fresh/wine-run"
    chmod +x "$fresh/wine-run"
    for call in first second; do
        (cd "$case_dir" && CORVINA_PLAY_BUILD=$fresh "${limit[@]}" "$wrapper" --version \
            >stdout 2>"$call.stderr")
        status=$?
        expect_status 0
    done
    "$fresh/wine-run" --stop
    mv "$case_dir/first.stderr" "$case_dir/stderr"
    err <<<"corvina-play: setting up Wine in $fresh/wineprefix (first run only, 10-20 s)"
    [ ! -s "$case_dir/second.stderr" ] || fail "the second run said: $(cat "$case_dir/second.stderr")"
fi
summarize
