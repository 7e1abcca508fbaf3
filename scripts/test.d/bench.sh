#!/usr/bin/env bash
# The benchmarks, built with everything else. The large-run benchmark runs as
# it does by hand (best of nine runs of each program, each followed by a copy
# of its score), checks on the way that its statements are printf's text, and
# prints its report with the goal of each program against the copy; each
# micro-benchmark runs briefly. GRAIN_BUILD_DIR names another build folder.
set -euo pipefail
source "$(dirname "$0")/../lib/stage.bash"
if "$build/bench/grainbench"; then
  pass "benchmarks: the large run"
else
  fail "benchmarks: the large run"
fi
log="$(mktemp)"
if "$build/bench/grainmicrobench" --benchmark_min_time=0.01 >"$log" 2>&1; then
  pass "benchmarks: the micro-benchmarks"
else
  cat "$log"
  fail "benchmarks: the micro-benchmarks"
fi
rm -f "$log"
finish_checks benchmarks
