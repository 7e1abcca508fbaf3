#!/usr/bin/env bash
# Cross-compiles the programs for Windows with MinGW-w64 (warnings as errors):
# the three score programs and the companions that need nothing but the C++
# runtime, flockpaths and scoreview. Then the end-to-end tests of the three
# programs in both builds (the Windows executables under Wine with their
# coordinate files in D:\Max\bg, the Linux ones through /mnt/d/Max/bg inside a
# private mount namespace), and the companions under Wine against the Linux
# build: the same coordinate files, record and pictures, byte for byte.
# GRAIN_BUILD_DIR names another native build folder.
set -euo pipefail
source "$(dirname "$0")/../lib/stage.bash"

# The native programs are normally built already by the unit-test step.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DGRAIN_WARNINGS_AS_ERRORS=ON
fi
cmake --build "$build" -j"$jobs" --target glissonscore granulescore additivescore flockpaths scoreview scoredriver

# GoogleTest is not available for MinGW: the programs are cross-built without
# the tests.
cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_TESTING=OFF -DGRAIN_BUILD_COMPANIONS=ON -DGRAIN_WARNINGS_AS_ERRORS=ON
cmake --build build-mingw -j"$jobs"

bash tests/e2e/run_e2e.sh "$build" build-mingw

# ---------------------------------------------------------------------------
echo "== flockpaths.exe and scoreview.exe"
native="$(cd "$build" && pwd)"
windows="$root/build-mingw"
tmp="$(mktemp -d)"
# shellcheck source=../lib/wine.bash
source "$root/scripts/lib/wine.bash"
trap 'wine_stop; rm -rf "$tmp"' EXIT
# shellcheck source=../../tests/install/checks.sh
source "$root/tests/install/checks.sh"
version="$(project_version)"

for exe in flock/flockpaths.exe scoreview/scoreview.exe; do
  imports="$(windows_imports "$windows/$exe")"
  if [ "$imports" = "kernel32.dll msvcrt.dll " ]; then
    pass "$(basename "$exe") is a static Windows executable (imports: $imports)"
  else
    fail "$(basename "$exe") imports more than the system DLLs: $imports"
  fi
done
wine_start || { fail "no Wine prefix"; finish_checks windows; }
bg="$tmp/d/Max/bg"  # D:\Max\bg, the default folder of flockpaths.exe

# same_folder WHAT EXPECTED GOT: the same files with the same bytes.
same_folder() {
  if diff -r "$2" "$3" >"$tmp/diff" 2>&1; then pass "$1"; else fail "$1: $(head -3 "$tmp/diff" | tr '\n' ' ')"; fi
}
# flock_both CASE OPTIONS...: flockpaths.exe into D:\Max\bg and the Linux
# flockpaths into $tmp/linux-bg, each with a picture; both statuses kept.
flock_both() {
  local case="$1"
  shift
  mkdir -p "$tmp/$case/win" "$tmp/$case/linux"
  win_status=0
  (cd "$tmp/$case/win" && wine_run "$windows/flock/flockpaths.exe" "$@" --svg flock.svg) \
    >"$tmp/$case/win/stdout" 2>"$tmp/$case/win/stderr" || win_status=$?
  linux_status=0
  "$native/flock/flockpaths" "$@" --svg "$tmp/$case/linux/flock.svg" --out "$tmp/linux-bg" \
    >"$tmp/$case/linux/stdout" 2>"$tmp/$case/linux/stderr" || linux_status=$?
}

flock_both first --voices 5 --samples 200 --seed 3
if [ "$win_status" = 0 ] && [ "$linux_status" = 0 ]; then
  pass "flockpaths.exe: 5 boids into D:\\Max\\bg, exit 0"
  same_folder "flockpaths.exe: D:\\Max\\bg holds the Linux coordinate files and record, byte for byte" "$tmp/linux-bg" "$bg"
  expect_same "flockpaths.exe: the picture is the Linux one" "$tmp/first/linux/flock.svg" "$tmp/first/win/flock.svg"
else
  fail "flockpaths.exe: status $win_status ($(head -c 200 "$tmp/first/win/stderr")), Linux $linux_status"
fi

flock_both smaller --voices 3 --samples 100 --seed 4
if [ "$win_status" = 0 ] && [ ! -e "$bg/bg4a.txt" ]; then
  pass "flockpaths.exe: a smaller flock replaces its own earlier one"
  same_folder "flockpaths.exe: the smaller flock equals the Linux one" "$tmp/linux-bg" "$bg"
else
  fail "flockpaths.exe on its own earlier flock: status $win_status, $(head -c 300 "$tmp/smaller/win/stderr")"
fi

# A Boids patch's file in the folder: refused, every byte kept; --replace.
printf '12.5\r\n13.0\r\n' >"$bg/bg7e.txt"
(cd "$bg" && find . -type f -exec md5sum {} + | sort) >"$tmp/before"
status=0
(cd "$tmp" && wine_run "$windows/flock/flockpaths.exe" --voices 3 --samples 100 --seed 4) \
  >"$tmp/refused.out" 2>"$tmp/refused.err" || status=$?
if [ "$status" = 1 ] && grep -qF 'bg7e.txt was not written by flockpaths' "$tmp/refused.err" &&
   grep -qF -- '--replace' "$tmp/refused.err" && [ "$(cd "$bg" && find . -type f -exec md5sum {} + | sort)" = "$(cat "$tmp/before")" ]; then
  pass "flockpaths.exe: a patch's bg7e.txt in D:\\Max\\bg is refused (exit 1), every byte kept"
else
  fail "flockpaths.exe with a patch's file: status $status, $(head -c 300 "$tmp/refused.err")"
fi
flock_both replace --voices 3 --samples 100 --seed 4 --replace
if [ "$win_status" = 0 ]; then
  same_folder "flockpaths.exe --replace: the patch's file gone, the folder equals the Linux flock" "$tmp/linux-bg" "$bg"
else
  fail "flockpaths.exe --replace: status $win_status, $(head -c 300 "$tmp/replace/win/stderr")"
fi

# scoreview.exe on each Windows score (CR LF line ends) draws the picture that
# the Linux scoreview draws of the Linux score.
write_flock "$native/flock/flockpaths" "$tmp/flock20"
for program in "${score_programs[@]}"; do
  score="${score_file[$program]}"
  mkdir -p "$tmp/$program/linux" "$tmp/$program/win"
  "$native/tests/tools/scoredriver" run "$program" "$tmp/flock20" "$tmp/$program/linux" \
    < <(answer_lines "$root/${answers_file[$program]}") >/dev/null
  crlf "$tmp/$program/linux/$score" >"$tmp/$program/win/$score"
  "$native/scoreview/scoreview" "$tmp/$program/linux/$score" >/dev/null
  status=0
  (cd "$tmp/$program/win" && wine_run "$windows/scoreview/scoreview.exe" "$score") >"$tmp/$program/out" 2>&1 ||
    status=$?
  svg="${score%.sco}.svg"
  if [ "$status" = 0 ]; then
    expect_same "scoreview.exe on the Windows $score: the Linux picture, byte for byte" \
      "$tmp/$program/linux/$svg" "$tmp/$program/win/$svg"
  else
    fail "scoreview.exe on the Windows $score: status $status: $(head -c 300 "$tmp/$program/out")"
  fi
done

for companion in flockpaths scoreview; do
  line="$(cd "$tmp" && wine_run "$windows/${companion/flockpaths/flock}/$companion.exe" --version </dev/null)"
  [ "$line" = "$companion $version"$'\r' ] && pass "$companion.exe --version: $companion $version" ||
    fail "$companion.exe --version: '$line'"
done

finish_checks windows
