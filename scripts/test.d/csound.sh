#!/usr/bin/env bash
# Renders scores made by the three programs in real Csound with the example
# orchestras, and fails on anything Csound lets through with exit status 0.
# The programs run through the test driver on a flock written by flockpaths
# into a temporary folder; the real coordinate folder is never touched.
set -euo pipefail
source "$(dirname "$0")/../lib/stage.bash"
cmake --build "$build" -j"$jobs" --target flockpaths scoredriver >/dev/null
flockpaths="$root/$build/flock/flockpaths"
driver="$root/$build/tests/tools/scoredriver"
command -v csound >/dev/null || { echo "csound is missing: scripts/install-deps.sh installs it (scripts/packages/csound.txt)"; exit 1; }

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
# Csound's output always goes to a file: writing to a pipe that closes early
# can leave it spinning.
csound --version > "$tmp/version.txt" 2>&1 || true
grep -a 'Csound version' "$tmp/version.txt" || true
sounds="$tmp/sounds"
mkdir -p "$sounds" "$tmp/bg"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Renders score with orchestra into wav; log is Csound's output. Prints what is
# wrong and returns 1 when the rendering is faulty. A copy of the score with
# "C 0" first is rendered, so that a short statement cannot borrow the
# missing fields of the statement above it.
# The optional fifth argument is the spatial technique (stereo when not given).
render_check() {
  local orchestra="$1" score="$2" wav="$3" log="$4" space="${5:-stereo}"
  local carried="${score%.*}.carry-off.sco"
  { echo "C 0"; cat "$score"; } > "$carried"
  local status=0
  SSDIR="$sounds" csound -d -m4 -+msg_color=0 -W -o "$wav" --env:INCDIR="$root/examples" "$orchestra" "$carried" \
    --omacro:SPACE="$space" > "$log" 2>&1 || status=$?
  local wrong=()
  [ "$status" -eq 0 ] || wrong+=("csound exited with status $status")
  local errors
  errors="$(grep -a -E '^[0-9]+ errors in performance' "$log" | tail -1 | cut -d' ' -f1)"
  [ "$errors" = "0" ] || wrong+=("errors in performance: ${errors:-no count printed}")
  local n
  n="$(grep -a -c 'WARNING' "$log" || true)"
  [ "$n" -eq 0 ] || wrong+=("$n WARNING lines, first: $(grep -a -m1 'WARNING' "$log")")
  n="$(grep -a -c 'SCORE ERROR' "$log" || true)"
  [ "$n" -eq 0 ] || wrong+=("$n SCORE ERROR lines, first: $(grep -a -m1 'SCORE ERROR' "$log")")
  n="$(grep -a -c -E '^sread:|INIT ERROR|PERF ERROR' "$log" || true)"
  [ "$n" -eq 0 ] || wrong+=("$n score reading or init errors, first: $(grep -a -m1 -E '^sread:|INIT ERROR|PERF ERROR' "$log")")
  local outside
  outside="$(grep -a 'overall samples out of range:' "$log" | tail -1 | sed 's/.*out of range://' | tr -cd '0-9 ' | tr -s ' ')"
  echo "$outside" | awk '{ for (i = 1; i <= NF; i++) if ($i + 0 > 0) bad = 1 } END { exit bad }' ||
    wrong+=("samples out of range: $outside")
  local amps
  amps="$(grep -a 'overall amps:' "$log" | tail -1 | sed 's/.*overall amps://')"
  if [ -z "$amps" ]; then
    wrong+=("no overall amps line")
  elif ! echo "$amps" | awk '{ for (i = 1; i <= NF; i++) if ($i + 0 >= 1e-4) loud = 1 } END { exit !loud }'; then
    wrong+=("silent output: overall amps $amps")
  fi
  if [ ${#wrong[@]} -ne 0 ]; then
    printf '  %s\n' "${wrong[@]}"
    return 1
  fi
  echo "  rendered $(basename "$wav"), overall amps $amps"
}

# The granule orchestra's sound file, made by Csound too.
(cd "$sounds" && csound -d -m4 -+msg_color=0 -W -o testsound.wav "$root/examples/testsound.csd" > testsound.log 2>&1) ||
  { cat "$sounds/testsound.log"; fail "the test sound could not be rendered"; exit 1; }
amps="$(grep -a 'overall amps:' "$sounds/testsound.log" | tail -1 | sed 's/.*overall amps://')"
echo "$amps" | awk '{ exit !($1 + 0 >= 1e-4) }' || fail "the test sound is silent: overall amps '$amps'"

# One flock for every score: 20 boids sampled every 0.05 s, the minimum grain
# duration of every answer set below (additivescore's is 1/20 with 20 streams).
"$flockpaths" --voices 20 --interval 0.05 --duration 12 --seed 7 --out "$tmp/bg" >/dev/null

# name, program, answers: the demo's bundled answers and one set of other modes each.
cases=(
  "glisson-demo glissonscore $(cat examples/glissonscore.answers | tr '\n' ' ')"
  "glisson-octaves glissonscore 2 200 2000 1 2 0.05 0.08 0.1 0.06 0.05 0 0 0.5 1 0.5 0 8 6 0"
  "glisson-ratios glissonscore 3 100 1000 3 1 0.05 0.12 0 0 1 2 0.5 0 8 5 1"
  "granule-demo granulescore $(cat examples/granulescore.answers | tr '\n' ' ')"
  "granule-dynamic granulescore 3 0.05 0 0 1 2 0.5 0 8 6 1 testsound.wav 2"
  "granule-backwards granulescore 2 0.05 0.1 0.2 0.1 0.05 1 1 6 3 1 testsound.wav -0.5"
  "additive-demo additivescore $(cat examples/additivescore.answers | tr '\n' ' ')"
  "additive-dynamic additivescore 55 3 8 0 0 0.5 1 0.5 0 20 0"
)
for entry in "${cases[@]}"; do
  read -r name program answers <<< "$entry"
  echo "== $name ($program)"
  dir="$tmp/$name"
  mkdir -p "$dir"
  # granulescore reads the sound file name as a whole line: one answer a line.
  if ! tr ' ' '\n' <<< "$answers" | "$driver" run "$program" "$tmp/bg" "$dir" > "$dir/console.txt" 2> "$dir/errors.txt"; then
    fail "$name: $program failed: $(cat "$dir/errors.txt")"
    continue
  fi
  if grep -a -q -E '^Warning:|End of Boids input file reached' "$dir/console.txt"; then
    fail "$name: $program complained about the flock's files: $(grep -a -m1 -E '^Warning:|End of Boids' "$dir/console.txt")"
  fi
  score="$(ls "$dir"/*.sco)"
  "$driver" check "$program" "$score" || { fail "$name: the score is not sound"; continue; }
  case "$program" in
    glissonscore) orchestra=examples/VelaRookglisson.orc ;;
    granulescore) orchestra=examples/VelaRookgranule.orc ;;
    additivescore) orchestra=examples/VelaRookadditive.orc ;;
  esac
  # The demo's scores in every technique; the others in stereo.
  spaces=(stereo)
  [[ "$name" == *-demo ]] && spaces=(stereo binaural ambix1 ambix3 ring8)
  for space in "${spaces[@]}"; do
    render_check "$orchestra" "$score" "$dir/$name-$space.wav" "$dir/csound-$space.log" "$space" ||
      fail "$name: Csound's $space rendering is faulty"
  done
done

# The check must catch what Csound lets through: plant faults in a sound score.
good="$tmp/glisson-demo/VELAROOKglisson.sco"
planted() {
  local name="$1" program="$2" orchestra="$3" sed_script="$4"
  local dir="$tmp/planted-$name"
  mkdir -p "$dir"
  sed "$sed_script" "$good" > "$dir/faulty.sco"
  cmp -s "$good" "$dir/faulty.sco" && { fail "planted $name: the fault was not planted"; return; }
  echo "== planted fault: $name"
  if "$driver" check "$program" "$dir/faulty.sco" > "$dir/check.txt"; then
    fail "planted $name: the structure check passed a faulty score"
  else
    echo "  structure check: $(head -1 "$dir/check.txt")"
  fi
  if render_check "$orchestra" "$dir/faulty.sco" "$dir/faulty.wav" "$dir/csound.log"; then
    fail "planted $name: the Csound check passed a faulty score"
  else
    echo "  (the Csound check failed, as it must)"
  fi
}
# The tenth grain statement loses its last field.
planted missing-field glissonscore examples/VelaRookglisson.orc '/^i1\t/{x;s/^/x/;/^x\{10\}$/{x;s/\t [^\t]*$//;b};x}'
# The twelfth grain statement has a word in place of its phase.
planted word-for-number glissonscore examples/VelaRookglisson.orc '/^i1\t/{x;s/^/x/;/^x\{12\}$/{x;s/^\(i1\t [^\t]*\t [^\t]*\t [^\t]*\t \)[^\t]*/\1phase/;b};x}'

if [ "$failures" -ne 0 ]; then
  echo "Csound rendering tests: $failures failed"
  exit 1
fi
echo "Csound rendering tests: all passed"
