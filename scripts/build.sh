#!/usr/bin/env bash
# Configures and builds every flavour under build/ (see scripts/configure.sh):
# native, bench, win32 and win64.
#
#   build.sh [CMAKE-ARGS...]         everything
#   build.sh --lean [CMAKE-ARGS...]  only what the main job and the package
#                                    need: the native tools it calls and the
#                                    shipped programs of both Windows trees
#
# Extra arguments go to every configure step (e.g. -DCORVINA_WERROR=ON).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)

lean=0
if [ "${1:-}" = "--lean" ]; then
    lean=1
    shift
fi

if [ $lean = 1 ]; then
    trees=(native win32 win64)
else
    trees=(native bench win32 win64)
fi
for tree in "${trees[@]}"; do
    "$root/scripts/configure.sh" "$tree" "$@"
done

for tree in "${trees[@]}"; do
    echo "build: $tree"
    if [ $lean = 0 ]; then
        cmake --build "$root/build/$tree" -j "$jobs"
    elif [ "$tree" = native ]; then
        cmake --build "$root/build/$tree" -j "$jobs" --target adxencode afsbuild skerrin
    else
        cmake --build "$root/build/$tree" -j "$jobs" --target corvina corvina-play corvina-encode skerrin
    fi
done
