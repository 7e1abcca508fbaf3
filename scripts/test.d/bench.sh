#!/usr/bin/env bash
# The benchmarks, built with everything else, on a tiny workload: the large-run
# benchmark checks on the way that its statements are printf's text, and each
# micro-benchmark runs briefly. GRAIN_BUILD_DIR names another build folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${GRAIN_BUILD_DIR:-$root/build}"
"$build/bench/grainbench" --smoke --repeat 1
log="$(mktemp)"
if ! "$build/bench/grainmicrobench" --benchmark_min_time=0.01 >"$log" 2>&1; then
  cat "$log"
  rm -f "$log"
  exit 1
fi
rm -f "$log"
echo "benchmarks: the smoke run passed"
