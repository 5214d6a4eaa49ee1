#!/usr/bin/env bash
# `corvina-play --wav` of a 10-minute stereo 44.1 kHz file: this build
# against another (e.g. the previous release), side by side in one run.
#
#   bench/corvina-play-vs-previous.sh PREVIOUS_BUILD_DIR [BUILD_DIR [RUNS]]
#
# Both are Windows build trees (default BUILD_DIR: build/win64; RUNS: 7).
# The stream is made once with BUILD_DIR's adxencode; both programs run
# under BUILD_DIR's wine-run, taking turns, with the whole process timed
# (Wine start-up included). `--info` of the same file is timed too: it
# builds the same graph without streaming, so the difference is what the
# conversion itself costs, which is then divided by the buffers it moves
# (one from the reader, one parser and one decoder buffer per 470 blocks).
# Prints each run, the best and the median of each, their ratios (target:
# 2x or more) and the per-buffer cost. Both outputs must be equal.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ $# -lt 1 ]; then
    echo "usage: $0 PREVIOUS_BUILD_DIR [BUILD_DIR [RUNS]]" >&2
    exit 2
fi
previous=$(cd "$1" && pwd)
build=$(cd "${2:-$root/build/win64}" && pwd)
runs=${3:-7}
for tree in "$previous" "$build"; do
    if [ ! -f "$tree/tools/corvina-play/corvina-play.exe" ]; then
        echo "$0: $tree has no corvina-play.exe" >&2
        exit 2
    fi
done
if [ ! -x "$build/wine-run" ]; then
    echo "$0: $build is not a configured Windows build tree" >&2
    exit 2
fi
cmake --build "$build" --target corvina-play adxencode -j 2 >/dev/null

data=$(mktemp -d "${TMPDIR:-/tmp}/corvina-play-bench.XXXXXX")
trap 'rm -rf "$data"' EXIT
cd "$data"
"$build/wine-run" "$build/tests/support/adx/adxencode.exe" --signal sweep --channels 2 \
    --rate 44100 --seconds 600 long.adx >/dev/null

now_ns() { date +%s%N; }
# timed TREE ARGS...: the run's milliseconds.
timed() {
    local tree=$1 start end
    shift
    start=$(now_ns)
    "$build/wine-run" "$tree/tools/corvina-play/corvina-play.exe" "$@" >/dev/null
    end=$(now_ns)
    echo $(((end - start) / 1000000))
}

# One untimed run of each warms the page cache and the wineserver.
rm -f previous.wav current.wav
timed "$previous" --quiet --wav previous.wav long.adx >/dev/null
timed "$build" --quiet --wav current.wav long.adx >/dev/null
cmp -s previous.wav current.wav || {
    echo "$0: the two builds wrote different WAV files" >&2
    exit 1
}
wav_previous=()
wav_current=()
info_previous=()
info_current=()
for ((r = 0; r < runs; ++r)); do
    # Removed first: the output is written anew, never over a file.
    rm -f previous.wav current.wav
    wav_previous+=("$(timed "$previous" --quiet --wav previous.wav long.adx)")
    wav_current+=("$(timed "$build" --quiet --wav current.wav long.adx)")
    info_previous+=("$(timed "$previous" --info long.adx)")
    info_current+=("$(timed "$build" --info long.adx)")
done
best() { printf '%s\n' "$@" | sort -n | head -n 1; }
# The machine is shared: the median says more than the best when others run.
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
# 600 s at 44.1 kHz in 32-sample blocks, 470 blocks (both channels) a buffer.
buffers=$(((600 * 44100 * 2 / 32 + 469) / 470))
echo "corvina-play --wav, 10 minutes of stereo 44.1 kHz; $runs runs each (ms)"
echo "  previous --wav:  ${wav_previous[*]}"
echo "  current  --wav:  ${wav_current[*]}"
echo "  previous --info: ${info_previous[*]}"
echo "  current  --info: ${info_current[*]}"
awk -v wp="$(best "${wav_previous[@]}")" -v wc="$(best "${wav_current[@]}")" \
    -v ip="$(best "${info_previous[@]}")" -v ic="$(best "${info_current[@]}")" \
    -v mp="$(median "${wav_previous[@]}")" -v mc="$(median "${wav_current[@]}")" \
    -v buffers="$buffers" 'BEGIN {
    wc = wc > 0 ? wc : 1
    printf "best --wav: previous %d ms, current %d ms: %.2fx (target >= 2x)\n", wp, wc, wp / wc
    mc = mc > 0 ? mc : 1
    printf "median --wav: previous %d ms, current %d ms: %.2fx\n", mp, mc, mp / mc
    cp = wp - ip; cc = wc - ic
    cc = cc > 0 ? cc : 1
    printf "conversion beyond --info: previous %d ms, current %d ms: %.2fx\n", cp, cc, cp / cc
    printf "per parser buffer (%d, with its decoder buffer and read): previous %.1f us, current %.1f us\n",
        buffers, cp * 1000 / buffers, cc * 1000 / buffers
}'
