#!/usr/bin/env bash
# cmake --install into a staging prefix, then the installed programs run from
# another directory while an empty tmpfs covers the project folder (source and
# build tree), so they can use nothing there: each score program answers
# --help, --version and an unknown argument without a dialogue or a file, and
# with no argument runs the bundled answers on a flock of the installed
# flockpaths and writes the score that the build tree's programs write;
# scoreview draws each score into well-formed XML. GRAIN_BUILD_DIR names
# another build folder.
set -euo pipefail
source "$(dirname "$0")/../lib/stage.bash"
command -v xmllint >/dev/null || { echo "install: xmllint is missing (scripts/packages/package.txt)" >&2; exit 1; }
# Everything the install takes, and the test driver for the expected scores.
cmake --build "$build" -j"$jobs" >/dev/null

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
case "$tmp/" in "$root"/*) echo "install: the scratch folder $tmp lies in the project folder" >&2; exit 1 ;; esac
# shellcheck source=../../tests/install/checks.sh
source "$root/tests/install/checks.sh"
version="$(project_version)"
stage="$tmp/stage"
cmake --install "$build" --prefix "$stage" >"$tmp/install.log"
expect_layout "installed tree" "$stage" "${score_programs[@]}" flockpaths scoreview

if grep -rlF -- "$root" "$stage" >"$tmp/mentions"; then
  fail "installed files name the project folder: $(tr '\n' ' ' <"$tmp/mentions")"
else
  pass "no installed file names the project folder $root"
fi

# in_place NAME COMMAND...: runs the command in the empty folder $tmp/NAME
# with the project folder hidden and $tmp/bg as the coordinate folder;
# keeps status, stdout and stderr there.
mkdir -p "$tmp/bg"
in_place() {
  local dir="$tmp/$1"
  shift
  mkdir -p "$dir/cwd"
  local status=0
  (cd "$dir/cwd" && with_coordinates "$tmp/bg" "$root" "$@") >"$dir/stdout" 2>"$dir/stderr" || status=$?
  echo "$status" >"$dir/status"
  [ "$status" -ne 125 ] || fail "$1: the private mount namespace failed: $(cat "$dir/stderr")"
}
result() { cat "$tmp/$1/$2"; }
empty_cwd() { [ -z "$(ls -A "$tmp/$1/cwd")" ]; }

in_place flockpaths "$stage/bin/flockpaths" "${flock_arguments[@]}" --out "$tmp/bg"
if [ "$(result flockpaths status)" = 0 ] && [ -s "$tmp/bg/bg20d.txt" ]; then
  pass "flockpaths: a flock of 20 boids"
else
  fail "flockpaths: status $(result flockpaths status): $(result flockpaths stderr)"
fi

for program in "${score_programs[@]}"; do
  exe="$stage/bin/$program"
  in_place "$program-help" "$exe" --help </dev/null
  if [ "$(result "$program-help" status)" = 0 ] && grep -q "^Usage: $program" "$tmp/$program-help/stdout" &&
     grep -qF "${score_file[$program]}" "$tmp/$program-help/stdout" && [ ! -s "$tmp/$program-help/stderr" ] &&
     empty_cwd "$program-help"; then
    pass "$program --help: the usage, exit 0, no file"
  else
    fail "$program --help: status $(result "$program-help" status), $(head -2 "$tmp/$program-help/stdout")"
  fi

  in_place "$program-version" "$exe" --version </dev/null
  if [ "$(result "$program-version" status)" = 0 ] && [ "$(result "$program-version" stdout)" = "$program $version" ] &&
     empty_cwd "$program-version"; then
    pass "$program --version: $program $version"
  else
    fail "$program --version: status $(result "$program-version" status), '$(result "$program-version" stdout)'"
  fi

  # An unknown argument: one line naming it, status 2, and the answers on
  # standard input stay unread (no dialogue).
  in_place "$program-unknown" "$exe" --frobnicate <"$root/${answers_file[$program]}"
  if [ "$(result "$program-unknown" status)" = 2 ] && [ ! -s "$tmp/$program-unknown/stdout" ] &&
     [ "$(wc -l <"$tmp/$program-unknown/stderr")" = 1 ] && grep -q -- "--frobnicate.*--help" "$tmp/$program-unknown/stderr" &&
     empty_cwd "$program-unknown"; then
    pass "$program --frobnicate: one line naming it, exit 2, no dialogue, no file"
  else
    fail "$program --frobnicate: status $(result "$program-unknown" status), stdout $(head -c 100 "$tmp/$program-unknown/stdout"), stderr $(result "$program-unknown" stderr)"
  fi

  # No argument: the dialogue on the bundled answers, the score of the build tree.
  # (Typed as on the console: comments and blank lines left out.)
  in_place "$program-run" "$exe" < <(answer_lines "$stage/share/grainscores/${answers_file[$program]}")
  mkdir -p "$tmp/$program-expected"
  "$build/tests/tools/scoredriver" run "$program" "$tmp/bg" "$tmp/$program-expected" \
    < <(answer_lines "$root/${answers_file[$program]}") >"$tmp/$program-expected/stdout"
  score="$tmp/$program-run/cwd/${score_file[$program]}"
  kept="$(printf '%s\n' "${score_file[$program]}" "$program.answers" | sort | tr '\n' ' ')"
  if [ "$(result "$program-run" status)" = 0 ] && [ "$(ls -A "$tmp/$program-run/cwd" | sort | tr '\n' ' ')" = "$kept" ]; then
    pass "$program: exit 0 and just ${score_file[$program]} and $program.answers in the current folder"
    expect_same "$program: the answers it keeps are the bundled file" "$root/${answers_file[$program]}" \
      "$tmp/$program-run/cwd/$program.answers"
  else
    fail "$program: status $(result "$program-run" status), folder holds $(ls -A "$tmp/$program-run/cwd" | tr '\n' ' ')"
    continue
  fi
  expect_same "$program: the score equals the build tree's" "$tmp/$program-expected/${score_file[$program]}" "$score"
  expect_same "$program: the transcript equals the build tree's" "$tmp/$program-expected/stdout" "$tmp/$program-run/stdout"

  in_place "$program-view" "$stage/bin/scoreview" "$score" -o "$tmp/$program.svg"
  if [ "$(result "$program-view" status)" = 0 ] && xmllint --noout "$tmp/$program.svg" 2>"$tmp/$program-xml"; then
    pass "scoreview: $(result "$program-view" stdout); well-formed XML"
  else
    fail "scoreview on ${score_file[$program]}: status $(result "$program-view" status) $(result "$program-view" stderr) $(cat "$tmp/$program-xml" 2>/dev/null)"
  fi
done

for companion in flockpaths scoreview; do
  in_place "$companion-version" "$stage/bin/$companion" --version
  if [ "$(result "$companion-version" stdout)" = "$companion $version" ]; then
    pass "$companion --version: $companion $version"
  else
    fail "$companion --version: '$(result "$companion-version" stdout)'"
  fi
done

finish_checks "install"
