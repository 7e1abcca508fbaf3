#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer (leaks included) and
# UndefinedBehaviorSanitizer in build-asan, every report fatal, and runs it.
# The build uses clang, whose AddressSanitizer checks every memcpy (GCC's
# copies small fixed-size ones inline, unchecked) and whose
# UndefinedBehaviorSanitizer includes float-to-integer overflow; the ordinary
# build stays with GCC. Any report fails the stage, also one that a test
# might not notice (a report in a child process, say): the log is searched.
set -euo pipefail
source "$(dirname "$0")/../lib/stage.bash"
command -v clang++ >/dev/null || { echo "sanitizers: clang++ is missing (see scripts/packages/fuzz.txt)" >&2; exit 1; }
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build-asan -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGRAIN_WARNINGS_AS_ERRORS=OFF -DGRAIN_FUZZ=OFF \
  -DCMAKE_CXX_FLAGS="$sanitize -Wno-sign-conversion" -DCMAKE_EXE_LINKER_FLAGS="$sanitize" >/dev/null
mkdir -p build-asan
cmake --build build-asan -j"$jobs" >build-asan/build.log 2>&1 ||
  { tail -n 60 build-asan/build.log; echo "sanitizers: the sanitized build failed" >&2; exit 1; }
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
log=build-asan/ctest.log
status=0
ctest --test-dir build-asan --output-on-failure -j"$jobs" >"$log" 2>&1 || status=$?
tail -n 40 "$log"
if [ "$status" -eq 0 ]; then
  pass "sanitizers: the whole test suite passed"
else
  fail "sanitizers: the sanitized test suite failed (log: $log)"
fi
if grep -nE "ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:|SUMMARY: (Address|Leak|UndefinedBehavior)Sanitizer" "$log"; then
  fail "sanitizers: a sanitizer reported a fault (log: $log)"
else
  pass "sanitizers: no report of AddressSanitizer or UndefinedBehaviorSanitizer in the log"
fi
finish_checks sanitizers
