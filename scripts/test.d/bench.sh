#!/usr/bin/env bash
# The benchmarks, built with everything else. The large-run benchmark runs as
# it does by hand (best of nine runs of each program, each followed by a copy
# of its score), checks on the way that its statements are printf's text, and
# prints its report with the goal of each program against the copy; each
# micro-benchmark runs briefly. GRAIN_BUILD_DIR names another build folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${GRAIN_BUILD_DIR:-$root/build}"
"$build/bench/grainbench"
log="$(mktemp)"
if ! "$build/bench/grainmicrobench" --benchmark_min_time=0.01 >"$log" 2>&1; then
  cat "$log"
  rm -f "$log"
  exit 1
fi
rm -f "$log"
echo "benchmarks: the large run and the micro-benchmarks passed"
