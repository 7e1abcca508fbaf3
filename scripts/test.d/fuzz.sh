#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) in build-fuzz and runs each for a bounded
# time, starting from the seed corpus in fuzz/corpus. Any crash, hang (one
# input running longer than 5 s), leak or sanitizer report fails the stage;
# libFuzzer then prints the input and keeps it in build-fuzz/findings. A
# failing input belongs in fuzz/corpus/<target>/ afterwards, where every run
# replays it first.
set -euo pipefail
source "$(dirname "$0")/../lib/stage.bash"
command -v clang++ >/dev/null || { echo "fuzz: clang++ is missing (see scripts/packages/fuzz.txt)" >&2; exit 1; }

cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  -DGRAIN_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzz_targets
[ -x build-fuzz/fuzz/fuzz_whole_run ] || { echo "fuzz: the fuzz targets were not built" >&2; exit 1; }

# Two fuzzers run at a time (one per core), in three rounds: the dialogues,
# the last dialogue beside the coordinate files, and two processes of the
# slower whole-run target sharing one corpus. GRAIN_FUZZ_SCALE multiplies
# every time (default 1).
scale="${GRAIN_FUZZ_SCALE:-1}"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:allocator_may_return_null=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
rm -rf build-fuzz/findings build-fuzz/work
mkdir -p build-fuzz/findings

# fuzz TARGET SEED SECONDS: one fuzzer process, its output in findings/.
fuzz() {
  local target="$1" seed="$2" seconds
  seconds=$(awk -v s="$3" -v f="$scale" 'BEGIN { printf "%d", s * f + 0.5 }')
  mkdir -p "build-fuzz/work/$target"
  "build-fuzz/fuzz/fuzz_$target" "build-fuzz/work/$target" "fuzz/corpus/$target" -seed="$seed" \
    -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/findings/$target-$seed-" >"build-fuzz/findings/$target-$seed.log" 2>&1
}

# round "TARGET SEED SECONDS" ...: runs the fuzzers side by side and ends the
# stage when any of them failed, showing the end of its log.
round() {
  local pids=() names=() job
  for job in "$@"; do
    read -r target seed seconds <<<"$job"
    echo "fuzz: $target (seed $seed) for about $(awk -v s="$seconds" -v f="$scale" 'BEGIN { printf "%d", s * f + 0.5 }')s"
    fuzz "$target" "$seed" "$seconds" &
    pids+=($!)
    names+=("$target-$seed")
  done
  for i in "${!pids[@]}"; do
    if wait "${pids[$i]}"; then
      pass "fuzz: ${names[$i]}, $(sed -n 's/^stat::number_of_executed_units: *//p' "build-fuzz/findings/${names[$i]}.log") executions"
    else
      tail -n 60 "build-fuzz/findings/${names[$i]}.log"
      fail "fuzz: ${names[$i]} (log: build-fuzz/findings/${names[$i]}.log)"
    fi
  done
  [ "$checks_failed" -eq 0 ] || { finish_checks fuzz || true; exit 1; }
}

round "glisson_dialogue 1 40" "granule_dialogue 1 40"
round "additive_dialogue 1 60" "coordinate_files 1 60"
round "whole_run 1 90" "whole_run 2 90"

finish_checks fuzz
