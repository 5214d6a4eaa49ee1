#!/usr/bin/env bash
# Runs clang-tidy (the checks and naming rule in .clang-tidy) over every
# source file of a configured tree, with the tree compiler's own target and
# C++ headers (the cross compilers' are not clang's):
#   tidy.sh native|bench|win32|win64 [--fix]
# --fix applies the naming fixes (declarations and every use the tree sees).
# Exits 1 when a check fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tree=${1:?usage: tidy.sh native|bench|win32|win64 [--fix]}
fix=()
if [ "${2:-}" = --fix ]; then
    command -v clang-apply-replacements >/dev/null || {
        echo "tidy: --fix needs clang-apply-replacements (package clang-tools)" >&2
        exit 1
    }
    fix=(-fix)
fi
build=$root/build/$tree
[ -f "$build/compile_commands.json" ] || {
    echo "tidy: $build/compile_commands.json: missing (configure the tree first)" >&2
    exit 1
}

# The compiler of the tree (the first word of any compile command) knows its
# target and where its C++ library headers are; clang needs both spelt out.
cxx=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))[0]["command"].split()[0])' \
    "$build/compile_commands.json")
extra=(-extra-arg="--target=$("$cxx" -dumpmachine)")
while read -r dir; do
    extra+=(-extra-arg="-isystem$dir")
done < <("$cxx" -E -v -x c++ /dev/null 2>&1 | sed -n '/#include <...>/,/^End/p' |
    sed -n 's/^ \(.*\/include\/c++.*\)$/\1/p')

# Our sources only: not googletest, not resource scripts.
files="^$root/(adx|afs|bench|decoder|framework|fuzz|module|pages|parser|tests|tools)/.*\.(c|cpp)\$"
echo "tidy: $tree"
run-clang-tidy -quiet -p "$build" -j "$(nproc)" "${extra[@]}" "${fix[@]}" "$files" \
    > "$build/tidy.log" 2>&1 || status=$?
sed "s/\x1b\[[0-9;]*m//g" "$build/tidy.log" | grep -E "(warning|error):" | sort -u || true
if [ "${status:-0}" != 0 ]; then
    echo "tidy: $tree: checks failed (log: $build/tidy.log)" >&2
    exit 1
fi
echo "tidy: $tree: clean"
