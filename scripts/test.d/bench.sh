#!/usr/bin/env bash
# The benchmarks, built with everything else, on a tiny workload: the large-run
# benchmark checks on the way that its statements are printf's text, and each
# micro-benchmark runs briefly.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
"$root/build/bench/grainbench" --smoke --repeat 1
"$root/build/bench/grainmicrobench" --benchmark_min_time=0.01 >/dev/null
echo "benchmarks: the smoke run passed"
