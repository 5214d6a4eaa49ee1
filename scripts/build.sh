#!/usr/bin/env bash
# Configures and builds the flavours under build/ (see scripts/configure.sh).
#
#   build.sh [CMAKE-ARGS...]          everything: native, bench, win32, win64
#   build.sh --tests [CMAKE-ARGS...]  what scripts/test.sh runs, each source
#                                     built once per compiler: native (with
#                                     the benchmarks' sources), win64, and
#                                     win32 whole where this machine runs
#                                     32-bit programs, else only its shipped
#                                     programs (for the package); the
#                                     Windows trees without debug information
#   build.sh --lean [CMAKE-ARGS...]   only what the main job and the package
#                                     need: the native tools it and the
#                                     README's examples call, and the
#                                     shipped programs of both Windows trees
#
# Extra arguments go to every configure step (e.g. -DCORVINA_WERROR=ON).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)

mode=all
case ${1:-} in
--lean | --tests)
    mode=${1#--}
    shift
    ;;
esac

shipped=(corvina corvina-play corvina-encode skerrin)
declare -A targets=() options=()
case $mode in
all)
    trees=(native bench win32 win64)
    options[win32]=-DCORVINA_DEBUG_INFO=ON
    options[win64]=-DCORVINA_DEBUG_INFO=ON
    ;;
tests)
    trees=(native win32 win64)
    # The bench tree would build the core again, in release, only to
    # compile the benchmarks: the native tree compiles them instead.
    options[native]=-DCORVINA_BENCH=ON
    # Tests need no debug information (the package strips it anyway).
    options[win32]=-DCORVINA_DEBUG_INFO=OFF
    options[win64]=-DCORVINA_DEBUG_INFO=OFF
    "$root/scripts/can-run-win32.sh" || targets[win32]=${shipped[*]}
    ;;
lean)
    trees=(native win32 win64)
    targets=([native]="adxencode afsbuild skerrin corvina-encode" [win32]=${shipped[*]} [win64]=${shipped[*]})
    ;;
esac
for tree in "${trees[@]}"; do
    # shellcheck disable=SC2086 # no option is no word
    "$root/scripts/configure.sh" "$tree" ${options[$tree]:-} "$@"
done

for tree in "${trees[@]}"; do
    echo "build: $tree"
    # shellcheck disable=SC2086 # target lists split on purpose
    cmake --build "$root/build/$tree" -j "$jobs" ${targets[$tree]:+--target ${targets[$tree]}}
done
