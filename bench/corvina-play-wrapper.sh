#!/usr/bin/env bash
# The time of scripts/corvina-play with its output captured, as a script
# calls it (`info=$(scripts/corvina-play --info FILE 2>&1)`), against the
# program run alone under the tree's wine-run with its output discarded.
#
#   bench/corvina-play-wrapper.sh [BUILD_DIR [CALLS [WRAPPER]]]
#
# BUILD_DIR: a Windows build tree (default build/win64); CALLS: 20; WRAPPER:
# another copy of the wrapper to time instead (e.g. an older one, from
# `git show REV:scripts/corvina-play`, saved in a scripts/ folder). Three
# series: CALLS captured calls in a row on a running prefix, CALLS/4 captured
# calls each from a stopped prefix (wineserver, display and desktop started
# anew), and CALLS calls of the program alone. Prints each call's
# milliseconds, then the median and the worst of each series.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build/win64}" && pwd)
calls=${2:-20}
wrapper=${3:-$root/scripts/corvina-play}
program=$build/tools/corvina-play/corvina-play.exe
if [ ! -x "$build/wine-run" ]; then
    echo "$0: $build is not a configured Windows build tree" >&2
    exit 2
fi
cmake --build "$build" --target corvina corvina-play adxencode -j 2 >/dev/null

data=$(mktemp -d "${TMPDIR:-/tmp}/corvina-play-wrapper.XXXXXX")
trap 'rm -rf "$data"' EXIT
cd "$data"
"$build/wine-run" "$build/tests/support/adx/adxencode.exe" --channels 2 --rate 32000 \
    --seconds 8 --loop-start 2 --loop-end 6 stream.adx >/dev/null

now() { date +%s%N; }
# series NAME COUNT COMMAND...: times COUNT calls of COMMAND.
series() {
    local name=$1 count=$2 times=() start i
    shift 2
    for ((i = 0; i < count; i++)); do
        start=$(now)
        "$@"
        times+=($((($(now) - start) / 1000000)))
    done
    echo "$name: ${times[*]} ms"
    printf '%s\n' "${times[@]}" | sort -n |
        awk -v name="$name" '{ t[NR] = $1 } END {
            printf "%s: median %d ms, worst %d ms\n", name, t[int((NR + 1) / 2)], t[NR] }'
}
captured() {
    local info
    info=$(CORVINA_PLAY_BUILD=$build "$wrapper" --info stream.adx 2>&1)
    [[ $info == *"loop 0 "* ]] || {
        echo "$0: the wrapper printed: $info" >&2
        exit 1
    }
}
from_stopped() {
    "$build/wine-run" --stop
    captured
}
alone() { "$build/wine-run" "$program" --info stream.adx >/dev/null 2>&1; }

captured # the prefix set up and running
series "wrapper, captured" "$calls" captured
series "wrapper, captured, stopped prefix" $(((calls + 3) / 4)) from_stopped
series "program alone" "$calls" alone
