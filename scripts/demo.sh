#!/usr/bin/env bash
# The main job: sets up this machine and builds what the job runs (the
# native tools it and the README's examples call and the shipped programs of
# both Windows trees; not the tests, the fuzzer or the benchmarks, which
# scripts/test.sh builds).
# Then it makes a demo ADX stream with an intro and a loop, packs it into an
# AFS archive, and extracts the archive again with skerrin (natively and as
# skerrin.exe under Wine). Then it registers corvina.ax in the project's Wine
# prefix, prints what the parser reports about the extracted stream, plays it
# through the registered filters with two passes of its loop (on the sound
# device, or ALSA's null device when headless), and writes the same rendition
# to a WAV file. Everything lands in demo/. Last it builds the Windows
# package (scripts/package.sh) and names it.
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
    "$root/scripts/build.sh" --lean
}

make_package() {
    "$root/scripts/package.sh" | tee "$root/build/package.log"
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

# The Windows tree whose programs this machine runs.
windows_tree() {
    if "$root/scripts/can-run-win32.sh"; then echo win32; else echo win64; fi
}

windows_path() {
    local path=${1//\//\\}
    printf 'Z:%s' "$path"
}

register_module() {
    local tree
    tree=$(windows_tree)
    "$root/build/$tree/wine-run" regsvr32 /s "$(windows_path "$root/build/$tree/module/corvina.ax")"
    echo "corvina.ax ($tree) registered in build/$tree/wineprefix"
}

play() {
    "$root/scripts/corvina-play" "$@"
}

step "set up the machine and build" build
step "make demo.adx, jingle.adx and demo.afs" make_demo_files
step "extract demo.afs with skerrin" extract_native
step "extract demo.afs with skerrin.exe under Wine" extract_windows
step "register corvina.ax with regsvr32" register_module
step "describe demo.adx (corvina-play --info)" play --info "$demo/extracted/demo.adx"
step "play demo.adx, two loop passes" play --render --loop 0 --passes 2 "$demo/extracted/demo.adx"
step "convert the same to demo.wav" play --loop 0 --passes 2 --wav "$demo/demo.wav" \
    "$demo/extracted/demo.adx"
"$root/build/$(windows_tree)/wine-run" --stop
step "build the Windows package" make_package

echo
echo "== summary"
printf '%s\n' "${summary[@]}"
echo "corvina.ax (PE32): $root/build/win32/module/corvina.ax"
sed -n 's/^package: \(.*\.zip\) (\(.*\))$/Windows package: \1 (\2)/p' "$root/build/package.log"
echo "demo files: $demo (demo.wav: the two-pass rendition)"
