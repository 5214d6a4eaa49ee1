#!/usr/bin/env bash
# The project's ADX encoder against ffmpeg's (adpcm_adx) on real music:
# per track the SNR of each round trip against the input (ours decoded with
# the project's decoder, ffmpeg's with ffmpeg's), the gain, and the error
# around a loop jump against the error elsewhere; then both encoders' times
# on a 5-minute 44.1 kHz stereo track, side by side in this run.
#
#   bench/encoder-vs-ffmpeg.sh [RUNS]      (default: 3 timed runs each, best and median)
#
# The music is free game music from Debian packages, fetched once with
# apt-get download into the cache folder (CORVINA_BENCH_CACHE, default
# ~/.cache/corvina-bench) and converted to 16-bit 44.1 kHz stereo WAV there
# by ffmpeg. Skips (exit status 0) where ffmpeg is missing. Targets: on
# average at least 1.5 dB over ffmpeg, no track under 1.0 dB; encoding at
# most twice ffmpeg's time.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tools=$root/build/bench/bench
# The encoder under test: ENCODER INPUT.wav OUTPUT.adx.
encoder=${ENCODER:-$tools/adx_encode_wav}
runs=${1:-3}
cache=${CORVINA_BENCH_CACHE:-$HOME/.cache/corvina-bench}

if ! command -v ffmpeg >/dev/null 2>&1; then
    echo "encoder-vs-ffmpeg.sh: ffmpeg is not installed; skipped"
    exit 0
fi
"$root/scripts/configure.sh" bench
cmake --build "$root/build/bench" --target adx_encode_wav adx_snr adx_seam >/dev/null

# name|package|file in the package|start s|length s
tracks=(
    "aberrations|singularity-music|usr/share/games/singularity/music/Aberrations.ogg|0|300"
    "media-threat|singularity-music|usr/share/games/singularity/music/Media Threat.ogg|30|120"
    "drascula-2|drascula-music|usr/share/scummvm/drascula/audio/track2.ogg|0|120"
    "drascula-16|drascula-music|usr/share/scummvm/drascula/audio/track16.ogg|0|117"
    "frozen-bubble|fb-music-high|usr/share/games/frozen-bubble/snd/frozen-mainzik-2p.xm|0|120"
)
timed_track=aberrations

mkdir -p "$cache/debs" "$cache/extract" "$cache/wav"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for entry in "${tracks[@]}"; do
    IFS='|' read -r name package path start length <<<"$entry"
    if [ ! -f "$cache/extract/$path" ]; then
        if ! ls "$cache/debs/${package}"_*.deb >/dev/null 2>&1; then
            (cd "$cache/debs" && apt-get download "$package" >/dev/null)
        fi
        dpkg-deb -x "$(ls "$cache/debs/${package}"_*.deb | head -n 1)" "$cache/extract"
    fi
    wav=$cache/wav/$name.wav
    if [ ! -f "$wav" ]; then
        ffmpeg -hide_banner -loglevel error -y -ss "$start" -t "$length" -i "$cache/extract/$path" \
            -ar 44100 -ac 2 -c:a pcm_s16le "$wav"
    fi
done

now_ns() { date +%s%N; }
# ms COMMAND...: the command's wall-clock milliseconds (its output discarded).
ms() {
    local start end
    start=$(now_ns)
    "$@" >/dev/null
    end=$(now_ns)
    echo $(((end - start) / 1000000))
}
ffmpeg_encode() { ffmpeg -hide_banner -loglevel error -y -i "$1" -c:a adpcm_adx -f adx "$2"; }

printf '%-14s %10s %10s %8s   %s\n' track "ffmpeg dB" "ours dB" gain "loop seam (RMS error)"
gains=()
for entry in "${tracks[@]}"; do
    IFS='|' read -r name _ <<<"$entry"
    wav=$cache/wav/$name.wav
    ffmpeg_encode "$wav" "$work/ffmpeg.adx"
    ffmpeg -hide_banner -loglevel error -y -i "$work/ffmpeg.adx" -c:a pcm_s16le "$work/ffmpeg.wav"
    "$encoder" "$wav" "$work/ours.adx"
    theirs=$("$tools/adx_snr" "$wav" "$work/ffmpeg.wav")
    ours=$("$tools/adx_snr" "$wav" "$work/ours.adx")
    gain=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", a - b }')
    gains+=("$gain")
    printf '%-14s %10s %10s %8s   %s\n' "$name" "$theirs" "$ours" "$gain" \
        "$("$tools/adx_seam" "$wav")"
done
printf '%s\n' "${gains[@]}" | awk '{ sum += $1; if (NR == 1 || $1 < low) low = $1 }
    END { printf "gain: average %.2f dB (target >= 1.5), lowest %.2f dB (target >= 1.0)\n", sum / NR, low }'

# Encoding time on the 5-minute track, the two encoders taking turns.
wav=$cache/wav/$timed_track.wav
ours_ms=()
ffmpeg_ms=()
for ((r = 0; r < runs; ++r)); do
    ffmpeg_ms+=("$(ms ffmpeg_encode "$wav" "$work/ffmpeg.adx")")
    ours_ms+=("$(ms "$encoder" "$wav" "$work/ours.adx")")
done
best() { printf '%s\n' "$@" | sort -n | head -n 1; }
# The machine is shared: the median says more than the best when others run.
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
echo "encoding $timed_track (5 minutes, 44.1 kHz stereo), $runs runs each (ms)"
echo "  ffmpeg: ${ffmpeg_ms[*]}"
echo "  ours:   ${ours_ms[*]}"
awk -v fb="$(best "${ffmpeg_ms[@]}")" -v ob="$(best "${ours_ms[@]}")" \
    -v fm="$(median "${ffmpeg_ms[@]}")" -v om="$(median "${ours_ms[@]}")" 'BEGIN {
    fb = fb > 0 ? fb : 1; fm = fm > 0 ? fm : 1
    printf "best: ffmpeg %d ms, ours %d ms: %.2fx ffmpeg'"'"'s time (target <= 2)\n", fb, ob, ob / fb
    printf "median: ffmpeg %d ms, ours %d ms: %.2fx\n", fm, om, om / fm
}'
