#!/usr/bin/env bash
# Renders scores made by the three programs in real Csound with the example
# orchestras, and fails on anything Csound lets through with exit status 0.
# The programs run through the test driver on a flock written by flockpaths
# into a temporary folder; the real coordinate folder is never touched.
set -euo pipefail
source "$(dirname "$0")/../lib/stage.bash"
cmake --build "$build" -j"$jobs" --target flockpaths scoredriver >/dev/null
flockpaths="$build/flock/flockpaths"
driver="$build/tests/tools/scoredriver"
command -v csound >/dev/null || { echo "csound is missing: scripts/install-deps.sh installs it (scripts/packages/csound.txt)"; exit 1; }

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
csound --version > "$tmp/version.txt" 2>&1 || true
grep -a 'Csound version' "$tmp/version.txt" || true
sounds="$tmp/sounds"
mkdir -p "$sounds" "$tmp/bg"

# Renders score with orchestra into wav; log is Csound's output. Prints what is
# wrong and returns 1 when the rendering is faulty (csound_log_problems). A
# copy of the score with "C 0" first is rendered, so that a short statement
# cannot borrow the missing fields of the statement above it.
# The optional fifth argument is the spatial technique (stereo when not given),
# the sixth one more option for Csound.
render_check() {
  local orchestra="$1" score="$2" wav="$3" log="$4" space="${5:-stereo}"
  local carried="${score%.*}.carry-off.sco"
  { echo "C 0"; cat "$score"; } > "$carried"
  local status=0
  SSDIR="$sounds" csound -d -m4 -+msg_color=0 -W ${6:+"$6"} -o "$wav" --env:INCDIR="$root/examples" "$orchestra" "$carried" \
    --omacro:SPACE="$space" > "$log" 2>&1 || status=$?
  csound_log_problems "$log" "$status"
}

# offset_of WAV: each channel's mean against its RMS in dB, as ffmpeg's astats
# measures them ("DC offset", "RMS level dB"), for channels louder than -60
# dBFS (the others, a silent Ambisonic component say, carry no offset worth
# the name); "silent" for the others. A mean that astats prints as 0 (six
# decimals) is given as "<" the most it can be. One line, the channels in order.
offset_of() {
  ffmpeg -hide_banner -nostats -i "$1" -af astats=measure_overall=none -f null - 2>&1 |
    awk '/DC offset:/ { dc = $NF } /RMS level dB:/ {
           rms = $NF; if (rms + 0 < -60 || rms == "-inf") printf "silent "
           else if (dc + 0 == 0) printf "<%.1f ", 20 * log(0.0000005) / log(10) - rms
           else printf "%.1f ", 20 * log((dc < 0 ? -dc : dc) + 0) / log(10) - rms }'
}

# The granule orchestra's sound file, made by Csound too.
render_test_sound "$sounds" || give_up csound "the test sound could not be rendered"
pass "the test sound, overall amps$(csound_amps "$sounds/testsound.log")"

# One flock for every score: 20 boids sampled every 0.05 s, the minimum grain
# duration of every answer set below (additivescore's is 1/20 with 20 streams).
"$flockpaths" --voices 20 --interval 0.05 --duration 12 --seed 7 --out "$tmp/bg" >/dev/null

# name, program, answers: the demo's bundled answers and one set of other modes each.
cases=(
  "glisson-demo glissonscore $(answer_lines "${answers_file[glissonscore]}" | tr '\n' ' ')"
  "glisson-octaves glissonscore 2 200 2000 1 2 0.05 0.08 0.1 0.06 0.05 0 0 0.5 1 0.5 0 8 6 0"
  "glisson-ratios glissonscore 3 100 1000 3 1 0.05 0.12 0 0 1 2 0.5 0 8 5 1"
  "granule-demo granulescore $(answer_lines "${answers_file[granulescore]}" | tr '\n' ' ')"
  "granule-dynamic granulescore 3 0.05 0 0 1 2 0.5 0 8 6 1 testsound.wav 2"
  "granule-backwards granulescore 2 0.05 0.1 0.2 0.1 0.05 1 1 6 3 1 testsound.wav -0.5"
  "additive-demo additivescore $(answer_lines "${answers_file[additivescore]}" | tr '\n' ' ')"
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
  score="$dir/${score_file[$program]}"
  if [ "$(cd "$dir" && ls -- *.sco)" != "${score_file[$program]}" ]; then
    fail "$name: $program wrote $(cd "$dir" && ls -- *.sco | tr '\n' ' '), not just ${score_file[$program]}"
    continue
  fi
  "$driver" check "$program" "$score" || { fail "$name: the score is not sound"; continue; }
  orchestra="examples/${orchestra_file[$program]}"
  # The demo's scores in every technique; the others in stereo.
  spaces=(stereo)
  [[ "$name" == *-demo ]] && spaces=("${csound_techniques[@]}")
  for space in "${spaces[@]}"; do
    if render_check "$orchestra" "$score" "$dir/$name-$space.wav" "$dir/csound-$space.log" "$space"; then
      pass "$name: Csound's $space rendering, overall amps$(csound_amps "$dir/csound-$space.log")"
    else
      fail "$name: Csound's $space rendering is faulty"
      continue
    fi
    # The demo's granule renders carry no offset: each channel's mean 60 dB or
    # more below its RMS, measured on 32-bit float, as grainrender writes the
    # demo (16-bit rounding adds an offset of its own, half its last bit).
    if [ "$name" = granule-demo ]; then
      offsets=""
      if render_check "$orchestra" "$score" "$dir/$name-$space-float.wav" "$dir/csound-$space-float.log" "$space" -f; then
        offsets="$(offset_of "$dir/$name-$space-float.wav")"
      fi
      if [ -z "$offsets" ]; then
        fail "$name: ffmpeg could not measure the $space rendering's offset"
      elif awk '{ for (i = 1; i <= NF; i++) if ($i != "silent" && substr($i, 1, 1) != "<" && $i + 0 > -60) exit 1 }' <<< "$offsets"; then
        pass "$name: the $space rendering's means against their RMS (dB): $offsets"
      else
        fail "$name: the $space rendering carries an offset: means against their RMS (dB): $offsets"
      fi
    fi
  done
done

# The check must catch what Csound lets through: plant faults in a sound score.
good="$tmp/glisson-demo/${score_file[glissonscore]}"
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
    pass "planted $name: the structure check: $(head -1 "$dir/check.txt")"
  fi
  if render_check "$orchestra" "$dir/faulty.sco" "$dir/faulty.wav" "$dir/csound.log"; then
    fail "planted $name: the Csound check passed a faulty score"
  else
    pass "planted $name: the Csound check failed, as it must"
  fi
}
# The tenth grain statement loses its last field.
planted missing-field glissonscore "examples/${orchestra_file[glissonscore]}" '/^i1\t/{x;s/^/x/;/^x\{10\}$/{x;s/\t [^\t]*$//;b};x}'
# The twelfth grain statement has a word in place of its phase.
planted word-for-number glissonscore "examples/${orchestra_file[glissonscore]}" '/^i1\t/{x;s/^/x/;/^x\{12\}$/{x;s/^\(i1\t [^\t]*\t [^\t]*\t [^\t]*\t \)[^\t]*/\1phase/;b};x}'

# The log check itself: a clean log of a real rendering passes, and each
# fault that Csound reports with exit status 0, planted into a copy, fails it.
clean="$tmp/glisson-demo/csound-stereo.log"
if [ -f "$clean" ] && csound_log_problems "$clean" >/dev/null; then
  log_faults=(
    "a WARNING line|\$a WARNING: could not find table 9"
    "a count of errors|s/^0 errors in performance/2 errors in performance/"
    "no count of errors|/errors in performance/d"
    "an INIT ERROR|\$a INIT ERROR in instr 1 (opcode grain3) line 40: invalid table"
    "a PERF ERROR|\$a PERF ERROR in instr 1: illegal table"
    "another ERROR|\$a ERROR: cannot open sound file"
    "samples out of range|s/overall samples out of range: .*/overall samples out of range:        0        3/"
    "silence|s/overall amps:.*/overall amps:  0.00000  0.00002/"
    "no overall amps|/overall amps:/d"
  )
  for entry in "${log_faults[@]}"; do
    fault="${entry%%|*}"
    sed "${entry#*|}" "$clean" > "$tmp/planted.log"
    if cmp -s "$clean" "$tmp/planted.log"; then
      fail "log with $fault: the fault was not planted"
    elif csound_log_problems "$tmp/planted.log" >/dev/null; then
      fail "log with $fault: the Csound log check passed it"
    else
      pass "log with $fault: the Csound log check fails it"
    fi
  done
  if csound_log_problems "$clean" 3 >/dev/null; then
    fail "the Csound log check passed exit status 3"
  else
    pass "the Csound log check fails exit status 3"
  fi
else
  fail "no clean log of the demo's glissonscore score to plant faults in"
fi

finish_checks "Csound rendering tests"
