#!/usr/bin/env bash
# Runs every test on this machine from nothing: installs the packages,
# builds with warnings as errors what the tests need (scripts/build.sh
# --tests: each source once per compiler), runs the Windows tests under
# Wine: the 32-bit build's where this machine can execute 32-bit code, and
# the 64-bit build's always; then, with clang-tidy running beside them over
# the native tree (the benchmarks' sources included) and the 64-bit Windows
# tree, the native tests (under AddressSanitizer and UBSan, the fuzzers
# briefly), the Windows package installed into a fresh prefix
# (tests/package/package-cases.sh, each case counted) and last the main job
# (scripts/demo.sh) end to end, counted as one more test. Ends with the time
# of each phase and one summary line over all runs.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# phase NAME COMMAND...: runs COMMAND and notes its time for the end.
phases=()
phase() {
    local name=$1 start result=0
    shift
    start=$(date +%s)
    "$@" || result=$?
    phases+=("$(printf '%-32s %5d s' "$name" $(($(date +%s) - start)))")
    return $result
}

phase bootstrap "$root/scripts/bootstrap.sh" || exit 1
phase build "$root/scripts/build.sh" --tests -DCORVINA_WERROR=ON || exit 1

# The Windows tests share one wineserver and one virtual display.
trap '"$root/build/win32/wine-run" --stop; "$root/build/win64/wine-run" --stop' EXIT

# logged LOG COMMAND...: COMMAND's output shown and kept in LOG; its status.
logged() {
    local log=$1
    shift
    "$@" 2>&1 | tee "$log"
    return "${PIPESTATUS[0]}"
}

passed=0
failed=0
status=0
run_suite() {
    local name=$1 dir=$2 log
    log="$root/build/$name-ctest.log"
    echo "== $name tests"
    phase "$name tests" logged "$log" ctest --test-dir "$dir" -j "$(nproc)" --output-on-failure \
        --timeout 600 || status=1
    local line total fails
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
    if [ -n "$line" ]; then
        total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
        fails=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
        passed=$((passed + total - fails))
        failed=$((failed + fails))
    else
        status=1
    fi
}

# The Windows suites hold real-time playback tests: they run alone.
if "$root/scripts/can-run-win32.sh"; then
    run_suite win32 "$root/build/win32"
else
    echo "== win32 tests: skipped, this kernel cannot execute 32-bit programs"
fi
run_suite win64 "$root/build/win64"

# The naming rule and checks of .clang-tidy: one count per tree. The native
# tree holds every portable source, the benchmarks' too; the 64-bit Windows
# tree every Windows one (the 32-bit tree compiles the same sources).
# clang-tidy is all processor work, while the phases from here on spend
# much of their time waiting (the fuzzers run for a fixed time, Wine sets up
# prefixes, the main job plays in real time): it runs beside them, and its
# results are told at the end.
tidy_trees=(native win64)
tidy_all() {
    local tree start
    for tree in "${tidy_trees[@]}"; do
        start=$(date +%s)
        "$root/scripts/tidy.sh" "$tree" >"$root/build/tidy-$tree.out" 2>&1
        echo "$? $(($(date +%s) - start))" >"$root/build/tidy-$tree.status"
    done
}
rm -f "$root/build"/tidy-*.status
tidy_all &
tidy_job=$!

run_suite native "$root/build/native"

# The package as a user installs it, on a 64-bit and on a 32-bit Windows:
# one count per case of the script.
package_cases() {
    local name=$1 log
    shift
    log=$root/build/$name-cases.log
    echo "== $name tests"
    phase "$name tests" logged "$log" "$root/tests/package/package-cases.sh" "$@" "$zip" \
        "$root/build/native/tests/support/adx/adxencode" \
        "$root/build/win64/tests/package/installcheck.exe" \
        "$root/build/win32/tests/package/installcheck.exe" || status=1
    local ok bad
    ok=$(grep -c '^  ok   ' "$log")
    bad=$(sed -n 's/^\([0-9]*\) case(s) failed$/\1/p' "$log")
    grep -qE '^(all cases passed|[0-9]+ case\(s\) failed)$' "$log" || bad=$((${bad:-0} + 1))
    passed=$((passed + ok))
    failed=$((failed + ${bad:-0}))
}
echo "== package"
if phase package logged "$root/build/test-package.log" "$root/scripts/package.sh" &&
    zip=$(sed -n 's/^package: \(.*\.zip\) (.*/\1/p' "$root/build/test-package.log") && [ -n "$zip" ]; then
    package_cases package-64-bit-windows
    package_cases package-32-bit-windows --32-bit-windows
else
    echo "== package tests: the package was not built"
    failed=$((failed + 1))
    status=1
fi

# The main job, end to end (headless: the null audio device).
echo "== main job (scripts/demo.sh)"
if phase "main job" logged "$root/build/demo.log" "$root/scripts/demo.sh"; then
    passed=$((passed + 1))
else
    failed=$((failed + 1))
    status=1
fi

wait "$tidy_job"
for tree in "${tidy_trees[@]}"; do
    echo "== tidy $tree"
    cat "$root/build/tidy-$tree.out"
    read -r result seconds <"$root/build/tidy-$tree.status" || result=1 seconds=0
    phases+=("$(printf '%-32s %5d s' "tidy $tree (beside the above)" "$seconds")")
    if [ "$result" = 0 ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        status=1
    fi
done

echo
echo "== time of each phase"
printf '%s\n' "${phases[@]}"
echo
echo "== all suites"
echo "$passed passed, $failed failed"
exit $status
