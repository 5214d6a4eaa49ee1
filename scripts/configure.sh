#!/usr/bin/env bash
# Configures one build tree under build/ (if its settings changed or it does
# not exist yet); extra arguments go to cmake:
#   native  clang, AddressSanitizer + UBSan, tests and fuzz targets
#   bench   native release build of the benchmarks
#   win32   mingw-w64 i686: corvina.ax, corvina-play.exe, skerrin.exe (PE32)
#           and the Windows tests
#   win64   mingw-w64 x86_64: the same as PE32+
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tree=$1
shift
case $tree in
native)
    settings=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
        -DCORVINA_SANITIZE=ON -DCORVINA_FUZZ=ON)
    ;;
bench) settings=(-DCMAKE_BUILD_TYPE=Release -DCORVINA_BENCH=ON -DCORVINA_TESTS=OFF) ;;
win32)
    settings=(-DCMAKE_BUILD_TYPE=RelWithDebInfo
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake")
    ;;
win64)
    settings=(-DCMAKE_BUILD_TYPE=RelWithDebInfo
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake")
    ;;
*)
    echo "configure: unknown tree '$tree' (native, bench, win32, win64)" >&2
    exit 1
    ;;
esac
cmake -S "$root" -B "$root/build/$tree" -G Ninja "${settings[@]}" "$@" >/dev/null
