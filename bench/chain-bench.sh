#!/usr/bin/env bash
# The playback chain's throughput under Wine: builds chain_bench in a
# Windows build tree (default build/win64) and runs it with that tree's
# wine-run.
#
#   bench/chain-bench.sh [BUILD_DIR] [SECONDS [RUNS]]    (default: 600 s, 3 runs)
#
# Prints each run's real-time factor (target: at least 2000x) next to the
# ADX core decoding the same frames alone and the cost of one buffer from
# the runtime's memory allocator, and the seek latency: SetPositions with a
# new start and stop until the paused renderer holds the first decoded sample.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/win64}
shift || true
if [ ! -x "$build/wine-run" ]; then
    echo "chain-bench.sh: $build is not a configured Windows build tree" >&2
    exit 2
fi
cmake --build "$build" --target chain_bench -j 2 >/dev/null
exec "$build/wine-run" "$build/bench/chain_bench.exe" "$@"
