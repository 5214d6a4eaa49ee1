#!/usr/bin/env bash
# The main job: sets up this machine, builds everything, then makes a demo
# ADX stream with an intro and a loop, packs it into an AFS archive, and
# extracts the archive again with skerrin (natively and as skerrin.exe under
# Wine). Everything lands in demo/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
demo=$root/demo
summary=()

step() {
    local name=$1 start end
    shift
    echo "== $name"
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    summary+=("$(printf '%-44s %7.1f s' "$name" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')")")
}

build() {
    "$root/scripts/bootstrap.sh"
    "$root/scripts/build.sh"
}

make_demo_files() {
    rm -rf "$demo"
    mkdir -p "$demo/extracted" "$demo/extracted-win"
    "$root/build/native/tests/support/adx/adxencode" --signal sweep --channels 2 --rate 32000 \
        --seconds 8 --loop-start 2 --loop-end 6 --version 3 "$demo/demo.adx"
    "$root/build/native/tests/support/adx/adxencode" --channels 1 --rate 22050 \
        --seconds 2 "$demo/jingle.adx"
    (cd "$demo" && "$root/build/native/tests/support/afs/afsbuild" demo.afs demo.adx jingle.adx)
    ls -l "$demo"
}

extract_native() {
    (cd "$demo/extracted" && "$root/build/native/tools/skerrin/skerrin" ../demo.afs)
    cmp "$demo/demo.adx" "$demo/extracted/demo.adx"
    cmp "$demo/jingle.adx" "$demo/extracted/jingle.adx"
    echo "extracted members match the originals"
}

extract_windows() {
    local tree=win32
    "$root/scripts/can-run-win32.sh" || tree=win64
    (cd "$demo/extracted-win" &&
        "$root/build/$tree/wine-run" "$root/build/$tree/tools/skerrin/skerrin.exe" ../demo.afs)
    "$root/build/$tree/wine-run" --stop
    cmp "$demo/demo.adx" "$demo/extracted-win/demo.adx"
    echo "skerrin.exe ($tree) extracted the same bytes"
}

step "set up the machine and build" build
step "make demo.adx, jingle.adx and demo.afs" make_demo_files
step "extract demo.afs with skerrin" extract_native
step "extract demo.afs with skerrin.exe under Wine" extract_windows

echo
echo "== summary"
printf '%s\n' "${summary[@]}"
echo "corvina.ax (PE32): $root/build/win32/module/corvina.ax"
echo "demo files: $demo"
