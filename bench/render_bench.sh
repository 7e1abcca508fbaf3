#!/usr/bin/env bash
# What a render costs: processor time (user + system, one core) and peak
# resident memory of plain csound on three large workloads in four
# techniques, and what grainrender's parts save. The workloads, written from
# a flock of flockpaths into a temporary folder, reverb on:
#   glisson   glissonscore, 64 voices sampled every 0.01 s, grains of 0.01 s
#             without silence between them: 64000 statements in a 10 s cut;
#   additive  additivescore, 100 partials of 100 Hz (flockpaths' most voices)
#             whose grainlets overlap by a fifth (intergrain -0.2; the minimum
#             grain duration 1/100 s is the sampling interval): 63125
#             statements in a 10 s cut;
#   granule   granulescore, as the glisson workload, grains of the demo's test
#             sound (examples/testsound.csd) at speed 1: the approaching ones
#             are read faster, from the band-limited copies.
# For each workload and technique (stereo, binaural with Csound's HRTFs,
# binaural-sofa: binaural with the default SOFA set, ambix3, ring8) it prints
# the processor time of the 10 s cut and its real-time factor (seconds of
# sound per second of processor time) with every distance cue on and with
# --omacro:DOPPLER=0, the ratio of the two, the processor time of the 30 s
# cut against the 10 s cut, that of the reverb and the bus alone (the 10 s
# cut without its grains but the first, of 0.01 s: grainrender renders only
# a score with grains), and the peak resident memory of the 10 s and the
# 30 s cut (GNU time's). binaural-sofa is rendered by grainrender in one job
# (it writes the set's impulse responses for the orchestra; the switch
# --no-doppler stands for DOPPLER=0), the others by plain csound.
# Then, in stereo, grainrender's one job
# against its two parts rendered one after the other and mixed: the speed-up
# on two free cores, from processor times. The machine's load is printed
# first: on a shared machine processor times grow a little with the others'
# work, so each csound time is the least of RENDER_BENCH_RUNS runs (2 when
# not set). A benchmark, not a test: it checks nothing. It runs for about ten
# minutes; CI does not run it.
#
#   bash bench/render_bench.sh [--space NAME] [--workload glisson|additive|granule]
# GRAIN_BUILD_DIR names the build folder (default build).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/${GRAIN_BUILD_DIR:-build}"
spaces=(stereo binaural binaural-sofa ambix3 ring8)
workloads=(glisson additive granule)
while [ $# -gt 0 ]; do
  case "$1" in
    --space) spaces=("$2"); shift 2 ;;
    --workload) workloads=("$2"); shift 2 ;;
    *) echo "usage: bash bench/render_bench.sh [--space NAME] [--workload glisson|additive|granule]" >&2; exit 2 ;;
  esac
done
[ -x /usr/bin/time ] || { echo "render_bench: GNU time (/usr/bin/time, Debian's time) measures the peak memory: apt-get install time" >&2; exit 1; }
cores="$(nproc)"
cmake --build "$build" -j"$([ "$cores" -le 2 ] && echo "$cores" || echo 2)" --target flockpaths scoredriver grainrender >/dev/null
driver="$build/tests/tools/scoredriver"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
echo "machine: $cores cores, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'); load average $(cut -d' ' -f1-3 /proc/loadavg)"

# score WORKLOAD SECONDS: writes the workload's cut and prints its path.
score() {
  local workload="$1" seconds="$2" dir="$tmp/$1-$2"
  mkdir -p "$dir/bg"
  case "$workload" in
    glisson)
      "$build/flock/flockpaths" --voices 64 --interval 0.01 --duration "$((seconds + 1))" --seed 1 --out "$dir/bg" >/dev/null
      printf '1\n100\n10000\n3\n3\n0.01\n1\n0\n%s\n64\n1\n' "$seconds" | "$driver" run glissonscore "$dir/bg" "$dir" >/dev/null
      echo "$dir/VELAROOKglisson.sco" ;;
    additive)
      "$build/flock/flockpaths" --voices 100 --interval 0.01 --duration "$((seconds + 1))" --seed 1 --out "$dir/bg" >/dev/null
      printf '100\n1\n%s\n1\n-0.2\n100\n1\n' "$seconds" | "$driver" run additivescore "$dir/bg" "$dir" >/dev/null
      echo "$dir/VELAROOKadditive.sco" ;;
    granule)
      "$build/flock/flockpaths" --voices 64 --interval 0.01 --duration "$((seconds + 1))" --seed 1 --out "$dir/bg" >/dev/null
      printf '3\n0.01\n1\n0\n%s\n64\n1\ntestsound.wav\n1\n' "$seconds" | "$driver" run granulescore "$dir/bg" "$dir" >/dev/null
      (cd "$dir" && csound -d -m0 -W -o testsound.wav "$root/examples/testsound.csd" >/dev/null 2>&1)
      echo "$dir/VELAROOKgranule.sco" ;;
  esac
}

# render SCORE SPACE [MACRO...]: plain csound on one core; prints the least
# processor time of RUNS runs (others' work on a shared machine only ever
# adds to it), the seconds of sound and the peak resident memory in MB.
runs="${RENDER_BENCH_RUNS:-2}"
render() {
  local score="$1" space="$2" name orchestra macros=() switches=() user system kilobytes bytes channels best=""
  shift 2
  for m in "$@"; do macros+=("--omacro:$m"); done
  name="$(basename "$score" .sco)"
  orchestra="$root/examples/VelaRook${name#VELAROOK}.orc"
  for _ in $(seq "$runs"); do
    if [ "$space" = binaural-sofa ]; then
      switches=()
      for m in "$@"; do if [ "$m" = DOPPLER=0 ]; then switches+=(--no-doppler); fi; done
      /usr/bin/time -f '%U %S %M' -o "$tmp/time.txt" "$build/render/grainrender" "$score" --space binaural --jobs 1 \
        --quiet -o "$tmp/out.wav" "${switches[@]}" > /dev/null 2>&1
    else
      (cd "$(dirname "$score")" && SSDIR=. /usr/bin/time -f '%U %S %M' -o "$tmp/time.txt" csound -d -m0 -+msg_color=0 -W -f \
         -o "$tmp/out.wav" --env:INCDIR="$root/examples" "$orchestra" "$score" --omacro:SPACE="$space" "${macros[@]}" \
         > "$tmp/csound.log" 2>&1)
    fi
    read -r user system kilobytes < "$tmp/time.txt"
    best="$(awk -v b="$best" -v t="$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')" 'BEGIN { print (b == "" || t < b ? t : b) }')"
  done
  bytes="$(stat -c %s "$tmp/out.wav")"
  if [ "$space" = binaural-sofa ]; then
    channels=2
  else
    channels="$(grep -a 'overall amps:' "$tmp/csound.log" | tail -1 | sed 's/.*overall amps://' | wc -w)"
  fi
  awk -v t="$best" -v b="$bytes" -v c="$channels" -v k="$kilobytes" 'BEGIN { printf "%.2f %.2f %.1f\n", t, b / (4 * c * 44100), k / 1024 }'
}

for workload in "${workloads[@]}"; do
  ten="$(score "$workload" 10)"
  thirty="$(score "$workload" 30)"
  echo
  echo "$workload: 10 s cut $(grep -c '^i1' "$ten") statements, 30 s cut $(grep -c '^i1' "$thirty") statements"
  # The reverb and the bus alone: the 10 s cut without its grains but the first.
  reverbOnly="$(dirname "$ten")/reverb/$(basename "$ten")"
  mkdir -p "$(dirname "$reverbOnly")"
  awk '!/^i1/ || !kept++' "$ten" > "$reverbOnly"
  cp "$(dirname "$ten")"/*.wav "$(dirname "$reverbOnly")" 2>/dev/null || true    # the granule workload's sound file
  echo "| technique | every cue on: processor (real-time factor) | DOPPLER=0 | on / off | 30 s cut | 30 s / 10 s | reverb and bus alone | peak memory 10 s / 30 s |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|"
  for space in "${spaces[@]}"; do
    read -r on sound memory < <(render "$ten" "$space")
    read -r off _ _ < <(render "$ten" "$space" DOPPLER=0)
    read -r long _ longMemory < <(render "$thirty" "$space")
    read -r reverb _ _ < <(render "$reverbOnly" "$space")
    awk -v sp="$space" -v on="$on" -v off="$off" -v len="$sound" -v long="$long" -v r="$reverb" -v m="$memory" -v lm="$longMemory" 'BEGIN {
      printf "| %s | %.2f s (%.1f x) | %.2f s (%.1f x) | %.2f | %.2f s | %.2f | %.2f s | %.0f / %.0f MB |\n", sp, on, len / on, off, len / off, on / off, long, long / on, r, m, lm }'
  done

  # grainrender in stereo: one job against two parts, one after the other, and their mix.
  processor() { read -r user system < "$tmp/time.txt"; awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }'; }
  TIMEFORMAT='%U %S'
  { time "$build/render/grainrender" "$ten" --quiet --jobs 1 -o "$tmp/one.wav" > /dev/null; } 2> "$tmp/time.txt"
  one="$(processor)"
  longest=0
  for k in 1 2; do
    { time "$build/render/grainrender" "$ten" --part "$k/2" -o "$tmp/part$k.w64" > /dev/null; } 2> "$tmp/time.txt"
    longest="$(awk -v a="$longest" -v b="$(processor)" 'BEGIN { print (b > a ? b : a) }')"
  done
  { time "$build/render/grainrender" --mix "$tmp/mixed.wav" "$tmp/part1.w64" "$tmp/part2.w64" > /dev/null; } 2> "$tmp/time.txt"
  mix="$(processor)"
  awk -v a="$one" -v l="$longest" -v m="$mix" 'BEGIN {
    printf "grainrender, stereo, 10 s cut: one job %.2f s; the longer of two parts %.2f s + mix %.2f s: speed-up on two free cores %.2f\n", a, l, m, a / (l + m) }'
done
echo
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
