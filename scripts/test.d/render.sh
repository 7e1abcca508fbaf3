#!/usr/bin/env bash
# grainrender against plain Csound: each program's score, made from a flock
# written by flockpaths into a temporary folder, is rendered whole by the
# csound command and by grainrender with 1 and with 4 parts at once, and in 3
# part files spread by GNU parallel and mixed; every grainrender result must
# equal the whole within -100 dBFS (the largest sample difference against full
# scale). The granulescore case runs the README's GNU parallel commands as
# written. Nothing is skipped: a missing tool fails the stage. Every render is
# bounded: no file may pass 64 MB (ulimit -f, for this shell and everything
# it starts) and no csound or grainrender run 30 s, so a render that never
# ends fails in seconds instead of filling the disk.
set -euo pipefail
source "$(dirname "$0")/../lib/stage.bash"

# The techniques every program is rendered in.
techniques=(stereo ambix3)

command -v csound >/dev/null || { echo "csound is missing: scripts/install-deps.sh installs it (scripts/packages/csound.txt)"; exit 1; }
command -v parallel >/dev/null || { echo "GNU parallel is missing: scripts/install-deps.sh installs it (scripts/packages/render.txt)"; exit 1; }
cmake --build "$build" -j"$jobs" --target grainrender sounddiff flockpaths scoredriver >/dev/null ||
  { echo "grainrender could not be built: are libcsound64-dev and libsndfile1-dev installed (scripts/packages/render.txt)?"; exit 1; }
bin="$build"
export PATH="$bin/render:$PATH"
driver="$bin/tests/tools/scoredriver"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# The bounds: csound and grainrender are found first as wrappers that stop
# them after 30 s, also where GNU parallel starts them.
ulimit -f $((64 * 1024))
seconds=30
mkdir "$tmp/bounded"
for tool in "$bin/render/grainrender" "$(command -v csound)"; do
  printf '#!/bin/sh\nexec timeout -k 5 %s "%s" "$@"\n' "$seconds" "$tool" > "$tmp/bounded/$(basename "$tool")"
  chmod +x "$tmp/bounded/$(basename "$tool")"
done
export PATH="$tmp/bounded:$PATH"

# The largest difference of two files, checked against -100 dBFS.
equal_within() {
  local what="$1" a="$2" b="$3" level
  if ! level="$("$bin/tests/tools/sounddiff" "$a" "$b" 2>&1)"; then
    fail "$what: $level"
  elif [ "$level" = identical ] || awk -v l="${level% dBFS}" 'BEGIN { exit !(l + 0 < -100) }'; then
    pass "$what: largest difference $level"
  else
    fail "$what: largest difference $level, not below -100 dBFS"
  fi
}

# The README's commands that spread a render over machines, run here on one.
readme_parallel=(
  'parallel grainrender VELAROOKgranule.sco --part {}/3 -o part{}.w64 ::: 1 2 3'
  'grainrender --mix VelaRookgranule.wav part1.w64 part2.w64 part3.w64'
)
for line in "${readme_parallel[@]}"; do
  grep -q -x -F "$line" README.md || fail "the README does not show the command: $line"
done

# 20 voices every 0.05 s: the minimum grain duration of every answer set below.
mkdir -p "$tmp/bg"
"$bin/flock/flockpaths" --voices 20 --interval 0.05 --duration 5 --seed 11 --out "$tmp/bg" >/dev/null

# name, answers (3 s of music each, reverb on).
cases=(
  "glissonscore 1 100 10000 3 3 0.05 1 1 3 6 1"
  "granulescore 1 0.05 0.15 1 0.5 3 6 1 testsound.wav 1"
  "additivescore 100 1 3 1 0 20 1"
)
for entry in "${cases[@]}"; do
  read -r program answers <<< "$entry"
  dir="$tmp/$program"
  mkdir -p "$dir"
  tr ' ' '\n' <<< "$answers" | "$driver" run "$program" "$tmp/bg" "$dir" > "$dir/console.txt" ||
    { fail "$program could not write its score"; continue; }
  score="${score_file[$program]}"
  orchestra="${orchestra_file[$program]}"
  if [ "$program" = granulescore ]; then
    render_test_sound "$dir" || { fail "the test sound could not be rendered"; continue; }
  fi
  for space in "${techniques[@]}"; do
    echo "== $program, $space"
    out="$dir/$space"
    mkdir -p "$out"
    status=0
    (cd "$dir" && SSDIR="$dir" INCDIR="$root/examples" csound -d -m4 -+msg_color=0 -W -f "--omacro:SPACE=$space" \
       -o "$out/whole.wav" "$root/examples/$orchestra" "$score" > "$out/csound.log" 2>&1) || status=$?
    if ! problems="$(csound_log_problems "$out/csound.log" "$status")"; then
      fail "$program, $space: csound could not render the whole score: $problems"
      continue
    fi
    for n in 1 4; do
      grainrender "$dir/$score" --space "$space" --jobs "$n" -o "$out/jobs$n.wav" > "$out/jobs$n.txt" ||
        { fail "$program, $space: grainrender --jobs $n failed"; continue; }
      equal_within "grainrender --jobs $n" "$out/whole.wav" "$out/jobs$n.wav"
    done
    if [ "$program" = granulescore ] && [ "$space" = stereo ]; then
      (cd "$dir" && for line in "${readme_parallel[@]}"; do eval "$line" > /dev/null; done) ||
        { fail "$program, $space: the README's parallel commands failed"; continue; }
      mv "$dir/VelaRookgranule.wav" "$out/mixed.wav"
      rm -f "$dir"/part?.w64
    else
      (cd "$out" && parallel grainrender "$dir/$score" --space "$space" --part {}/3 -o part{}.w64 ::: 1 2 3 > /dev/null &&
        grainrender --mix mixed.wav part1.w64 part2.w64 part3.w64 > /dev/null) ||
        { fail "$program, $space: the parts or their mix failed"; continue; }
    fi
    equal_within "--part 1/3..3/3, --mix" "$out/whole.wav" "$out/mixed.wav"
  done
  # A mix without the third part is refused, and the comparison must catch a part
  # that is not the whole.
  out="$dir/${techniques[0]}"
  if [ -f "$out/part1.w64" ]; then
    if refusal="$(grainrender --mix "$out/two-of-three.wav" "$out/part1.w64" "$out/part2.w64" 2>&1)" ||
       [ -e "$out/two-of-three.wav" ] || [[ "$refusal" != *"part 3 of 3 is missing"* ]]; then
      fail "$program: a mix without the third part was not refused as it must be: $refusal"
    else
      pass "$program: a mix without the third part is refused: $refusal"
    fi
    level="$("$bin/tests/tools/sounddiff" "$out/whole.wav" "$out/part1.w64")"
    if awk -v l="${level% dBFS}" 'BEGIN { exit !(l + 0 >= -100) }'; then
      pass "$program: the first part alone differs from the whole by $level, as it must"
    else
      fail "$program: the first part alone passes as the whole ($level)"
    fi
  fi
done

finish_checks "grainrender tests"
