#!/usr/bin/env bash
# How fast every spatial technique renders scores: seconds of sound per second
# of processor time (the real-time factor; Csound renders on one core), as a
# table like the one in docs/rendering.md. Takes the scores to render; without arguments
# the demo's three in out/demo (bash scripts/demo.sh makes them). The sound
# file of a granulescore score is looked up in SSDIR, else beside the score.
# Exits with status 1 when any factor is below 3.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/lib/programs.bash"
source "$root/scripts/lib/csound.bash"
scores=("$@")
if [ ${#scores[@]} -eq 0 ]; then
  for program in "${score_programs[@]}"; do scores+=("$root/out/demo/${score_file[$program]}"); done
fi
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
slow=0
echo "| technique | score | sound (s) | processor (s) | real-time factor |"
echo "|---|---|---:|---:|---:|"
for space in "${csound_techniques[@]}"; do
  for score in "${scores[@]}"; do
    [ -f "$score" ] || { echo "render-speed: no score $score (run bash scripts/demo.sh first)" >&2; exit 1; }
    name="$(basename "$score" .sco)"
    program="$(program_of_score "$score")" ||
      { echo "render-speed: $score is not named as a score of ${score_programs[*]}" >&2; exit 1; }
    orchestra="$root/examples/${orchestra_file[$program]}"
    log="$tmp/$name-$space.log"
    SSDIR="${SSDIR:-$(dirname "$score")}" csound -d -m128 -+msg_color=0 -W -f -o "$tmp/out.wav" \
      --env:INCDIR="$root/examples" "$orchestra" "$score" --omacro:SPACE="$space" > "$log" 2>&1 ||
      { tail -5 "$log" >&2; exit 1; }
    # Processor time from Csound's own account; the sound's length from the
    # file: 4-byte samples after a header of well under a kilobyte.
    cpu="$(grep -a 'Elapsed time at end of performance' "$log" | sed 's/.*CPU: *\([0-9.]*\)s.*/\1/')"
    bytes="$(stat -c %s "$tmp/out.wav")"
    channels="$(csound_amps "$log" | wc -w)"
    awk -v space="$space" -v name="$name" -v cpu="$cpu" -v bytes="$bytes" -v ch="$channels" 'BEGIN {
      seconds = bytes / (4 * ch * 44100); factor = seconds / cpu
      printf "| %s | %s | %.1f | %.2f | %.1f |\n", space, name, seconds, cpu, factor
      exit factor < 3 }' || slow=1
  done
done
[ "$slow" -eq 0 ] || { echo "render-speed: some technique renders slower than 3 times real time" >&2; exit 1; }
