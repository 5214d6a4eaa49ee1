#!/usr/bin/env bash
# Extraction and --create throughput of skerrin against cp of the same bytes.
#
#   bench/skerrin-vs-cp.sh [REPETITIONS]     (default 7)
#
# Builds skerrin and afsbuild (Release, no sanitizers) in
# build/skerrin-bench, generates an archive of 1 GiB there (256 members of
# 4 MiB), then times, in turns, skerrin extracting it into an empty directory,
# skerrin --create building an archive from the extracted members, and cp
# copying the archive file, once as it comes (in-kernel copy) and once with
# --reflink=never (read and write through a buffer). Nothing is dropped from the page cache:
# one untimed run of each warms it, outputs are removed and written back
# (sync) before every timed run, and the best run of each counts. Prints
# the throughputs and ratios (targets: extraction at least 0.87x and
# --create at least 0.8x cp --reflink=never).
# The generated data is deleted at the end.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${SKERRIN_BENCH_BUILD:-$root/build/skerrin-bench}
repetitions=${1:-7}
member_count=256
member_bytes=$((4 << 20))

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target skerrin afsbuild -j 2 >/dev/null
skerrin=$build/tools/skerrin/skerrin
afsbuild=$build/tests/support/afs/afsbuild

data=$(mktemp -d "$build/data.XXXXXX")
trap 'rm -rf "$data"' EXIT
members=()
for ((i = 0; i < member_count; ++i)); do
    members+=("$(printf 'member%03d.bin' $i)=@random:$member_bytes")
done
"$afsbuild" "$data/archive.afs" "${members[@]}"
archive_bytes=$(wc -c <"$data/archive.afs")

now_ns() { date +%s%N; }

# One timed run; prints its milliseconds.
run_skerrin() {
    rm -rf "$data/out"
    mkdir "$data/out"
    sync
    local start end
    start=$(now_ns)
    (cd "$data/out" && "$skerrin" ../archive.afs >/dev/null)
    end=$(now_ns)
    echo $(((end - start) / 1000000))
}

# Builds an archive from the members extracted by the warm-up run.
run_create() {
    rm -f "$data/created.afs"
    sync
    local start end
    start=$(now_ns)
    "$skerrin" --create "$data/created.afs" "$data/members" >/dev/null
    end=$(now_ns)
    echo $(((end - start) / 1000000))
}

# run_cp [CP-OPTION...]
run_cp() {
    rm -f "$data/copy.afs"
    sync
    local start end
    start=$(now_ns)
    cp "$@" "$data/archive.afs" "$data/copy.afs"
    end=$(now_ns)
    echo $(((end - start) / 1000000))
}

cat "$data/archive.afs" >/dev/null
run_skerrin >/dev/null
run_cp >/dev/null
written=$(find "$data/out" -type f | wc -l)
if [ "$written" != $member_count ]; then
    echo "skerrin wrote $written of $member_count members" >&2
    exit 1
fi
mv "$data/out" "$data/members"
run_create >/dev/null

# cp copies in the kernel (copy_file_range) where it can; with
# --reflink=never it reads and writes through a buffer as skerrin does.
best() { printf '%s\n' "$@" | sort -n | head -n 1; }
runs_skerrin=()
runs_create=()
runs_cp=()
runs_cp_rw=()
for ((r = 0; r < repetitions; ++r)); do
    runs_skerrin+=("$(run_skerrin)")
    runs_create+=("$(run_create)")
    runs_cp+=("$(run_cp)")
    runs_cp_rw+=("$(run_cp --reflink=never)")
done

echo "archive: $archive_bytes bytes, $member_count members; $repetitions runs each (ms)"
echo "  skerrin:              ${runs_skerrin[*]}"
echo "  skerrin --create:     ${runs_create[*]}"
echo "  cp:                   ${runs_cp[*]}"
echo "  cp --reflink=never:   ${runs_cp_rw[*]}"
awk -v bytes="$archive_bytes" -v s="$(best "${runs_skerrin[@]}")" -v c="$(best "${runs_cp[@]}")" \
    -v w="$(best "${runs_cp_rw[@]}")" -v k="$(best "${runs_create[@]}")" 'BEGIN {
    s = s > 0 ? s : 1; c = c > 0 ? c : 1; w = w > 0 ? w : 1; k = k > 0 ? k : 1
    mib = bytes / 1048576
    printf "skerrin best:            %5d ms, %5.0f MiB/s\n", s, mib * 1000 / s
    printf "skerrin --create best:   %5d ms, %5.0f MiB/s\n", k, mib * 1000 / k
    printf "cp best:                 %5d ms, %5.0f MiB/s\n", c, mib * 1000 / c
    printf "cp --reflink=never best: %5d ms, %5.0f MiB/s\n", w, mib * 1000 / w
    printf "ratio skerrin/cp: %.2f; skerrin/cp --reflink=never: %.2f (target >= 0.87)\n", c / s, w / s
    printf "ratio skerrin --create/cp --reflink=never: %.2f (target >= 0.80)\n", w / k
}'
