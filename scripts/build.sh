#!/usr/bin/env bash
# Configures and builds every flavour under build/:
#   build/native  clang, AddressSanitizer + UBSan, tests and fuzz targets
#   build/bench   native release build of the benchmarks
#   build/win32   mingw-w64 i686: the shipped corvina.ax and skerrin.exe
#   build/win64   mingw-w64 x86_64: the Windows tests for machines that
#                 cannot execute 32-bit code
# Extra arguments go to every configure step (e.g. -DCORVINA_WERROR=ON).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)

configure() {
    local dir=$1
    shift
    cmake -S "$root" -B "$root/build/$dir" -G Ninja "$@" >/dev/null
}

configure native -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DCORVINA_SANITIZE=ON -DCORVINA_FUZZ=ON "$@"
configure bench -DCMAKE_BUILD_TYPE=Release -DCORVINA_BENCH=ON -DCORVINA_TESTS=OFF "$@"
configure win32 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" "$@"
configure win64 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" "$@"

for dir in native bench win32 win64; do
    echo "build: $dir"
    cmake --build "$root/build/$dir" -j "$jobs"
done
