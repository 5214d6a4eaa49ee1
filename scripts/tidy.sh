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
# clang-tidy 22 checks the same rules three times as fast as 14: it no longer
# walks the platform's headers.
llvm=22
fix=()
if [ "${2:-}" = --fix ]; then
    fix=(-fix -clang-apply-replacements-binary "clang-apply-replacements-$llvm")
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

# The tree's commands without its precompiled headers (made by the tree's
# compiler, unreadable to clang): each source is checked as it stands.
mkdir -p "$build/tidy"
python3 - "$build/compile_commands.json" "$build/tidy/compile_commands.json" <<'PY'
import json, re, sys
commands = json.load(open(sys.argv[1]))
for entry in commands:
    entry["command"] = re.sub(r" -Winvalid-pch| -include \S*cmake_pch\.hxx", "", entry["command"])
json.dump(commands, open(sys.argv[2], "w"), indent=1)
PY

# Our sources only: not googletest, not resource scripts.
files="^$root/(adx|afs|bench|decoder|framework|fuzz|module|pages|parser|tests|tools)/.*\.(c|cpp)\$"
echo "tidy: $tree"
"run-clang-tidy-$llvm" -clang-tidy-binary "clang-tidy-$llvm" -quiet -p "$build/tidy" -j "$(nproc)" "${extra[@]}" "${fix[@]}" "$files" \
    > "$build/tidy.log" 2>&1 || status=$?
sed "s/\x1b\[[0-9;]*m//g" "$build/tidy.log" | grep -E "(warning|error):" | sort -u || true
if [ "${status:-0}" != 0 ]; then
    echo "tidy: $tree: checks failed (log: $build/tidy.log)" >&2
    exit 1
fi
echo "tidy: $tree: clean"
