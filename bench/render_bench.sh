#!/usr/bin/env bash
# How much faster grainrender renders with every core than with one: the
# large benchmark's glissonscore workload (64 voices sampled every 0.01 s,
# grain duration 0.01 s, no silence between grains, reverb on) cut to 30 s of
# score, 192000 grain statements, written from a flock of flockpaths into a
# temporary folder. Renders it with --jobs 1 and with one part per core and
# prints the real-time factor of each (seconds of sound per second of wall
# time), the processor time and the speed-up. On a machine that others share
# the wall times grow with the waits for a turn, so it also renders each part
# alone (--part K/N) and mixes them, and sets the processor time of one job
# against that of the longest part and the mix: the speed-up on as many free
# cores. A benchmark, not a test: it checks nothing.
#
#   bash bench/render_bench.sh [--space NAME] [--seconds S]
# GRAIN_BUILD_DIR names the build folder (default build).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/${GRAIN_BUILD_DIR:-build}"
space=stereo
seconds=30
while [ $# -gt 0 ]; do
  case "$1" in
    --space) space="$2"; shift 2 ;;
    --seconds) seconds="$2"; shift 2 ;;
    *) echo "usage: bash bench/render_bench.sh [--space NAME] [--seconds S]" >&2; exit 2 ;;
  esac
done
cores="$(nproc)"
cmake --build "$build" -j"$([ "$cores" -le 2 ] && echo "$cores" || echo 2)" --target flockpaths scoredriver grainrender >/dev/null

driver="$build/tests/tools/scoredriver"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/bg" "$tmp/score"
"$build/flock/flockpaths" --voices 64 --interval 0.01 --duration "$(awk -v s="$seconds" 'BEGIN { print s + 1 }')" \
  --seed 1 --out "$tmp/bg" >/dev/null
printf '1\n100\n10000\n3\n3\n0.01\n1\n0\n%s\n64\n1\n' "$seconds" |
  "$driver" run glissonscore "$tmp/bg" "$tmp/score" >/dev/null
score="$tmp/score/VELAROOKglisson.sco"
echo "machine: $cores cores, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'); load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "score: glissonscore, 64 voices, $(grep -c '^i1' "$score") grain statements, $seconds s; technique $space"

# Runs grainrender with the given parts; prints the wall and processor time
# and the real-time factor, and keeps the wall time in $tmp/wall-JOBS.
run() {
  local jobs="$1" wall user system
  TIMEFORMAT='%R %U %S'
  { time "$build/render/grainrender" "$score" --space "$space" --quiet --jobs "$jobs" -o "$tmp/out.wav" \
      > "$tmp/line.txt"; } 2> "$tmp/time.txt"
  read -r wall user system < "$tmp/time.txt"
  awk -v j="$jobs" -v w="$wall" -v u="$user" -v s="$system" -v len="$(sed 's/.*: \([0-9.]*\) s,.*/\1/' "$tmp/line.txt")" 'BEGIN {
    printf "  --jobs %-3d %8.1f s wall, %8.1f s processor, real-time factor %.3f\n", j, w, u + s, len / w }'
  echo "$wall" > "$tmp/wall-$jobs"
  awk -v u="$user" -v s="$system" 'BEGIN { print u + s }' > "$tmp/processor-$jobs"
}
run 1
run "$cores"
awk -v a="$(cat "$tmp/wall-1")" -v b="$(cat "$tmp/wall-$cores")" -v c="$cores" \
  'BEGIN { printf "speed-up with %d cores, wall time: %.2f\n", c, a / b }'

# The same work with one part at a time: processor time of each part and of the mix.
processor() { read -r _ user system < "$tmp/time.txt"; awk -v u="$user" -v s="$system" 'BEGIN { print u + s }'; }
one="$(cat "$tmp/processor-1")"
longest=0
parts=()
for k in $(seq 1 "$cores"); do
  { time "$build/render/grainrender" "$score" --space "$space" --part "$k/$cores" -o "$tmp/part$k.w64" > /dev/null; } 2> "$tmp/time.txt"
  cpu="$(processor)"
  echo "  part $k/$cores alone: $cpu s processor"
  longest="$(awk -v a="$longest" -v b="$cpu" 'BEGIN { print (b > a ? b : a) }')"
  parts+=("$tmp/part$k.w64")
done
{ time "$build/render/grainrender" --mix "$tmp/mixed.wav" "${parts[@]}" > /dev/null; } 2> "$tmp/time.txt"
mix="$(processor)"
echo "  mix: $mix s processor"
awk -v a="$one" -v l="$longest" -v m="$mix" -v c="$cores" \
  'BEGIN { printf "speed-up on %d free cores, from processor times: %.2f (one job %.1f s; longest part %.1f s + mix %.1f s)\n", c, a / (l + m), a, l, m }'
