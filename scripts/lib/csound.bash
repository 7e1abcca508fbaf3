# Csound as the stages and the demo use it: sourced, not run; the caller sets
# root (the project folder). Csound's messages always go to a log file: writing
# to a pipe that closes early can leave it spinning.

# The spatial techniques Csound renders with the orchestras alone, with no
# file of grainrender's (the layouts and speaker files want its panning): the
# entries of grainrender's technique table (render/techniques.cpp) that take
# neither; a test holds the two together.
csound_techniques=(stereo binaural ambix1 ambix3 ring8)

# csound_amps LOG: the last "overall amps" of the log, one number a channel.
csound_amps() { grep -a 'overall amps:' "$1" | tail -1 | sed 's/.*overall amps://'; }

# csound_log_problems LOG [STATUS]: what a rendering's log shows to be wrong,
# also when Csound's exit status (STATUS, default 0) was 0: a non-zero status,
# a count of errors in performance other than 0 (or none printed), WARNING
# lines, any ERROR (score, reading, init, performance or other), samples out
# of range, no overall amps, or silence (no channel reaching 1e-4). Prints
# each, indented, one a line; status 1 when there is any.
csound_log_problems() {
  local log="$1" status="${2:-0}" wrong=() errors n outside amps
  [ "$status" -eq 0 ] || wrong+=("csound exited with status $status")
  errors="$(grep -a -E '^[0-9]+ errors in performance' "$log" | tail -1 | cut -d' ' -f1)"
  [ "$errors" = "0" ] || wrong+=("errors in performance: ${errors:-no count printed}")
  n="$(grep -a -c 'WARNING' "$log" || true)"
  [ "$n" -eq 0 ] || wrong+=("$n WARNING lines, first: $(grep -a -m1 'WARNING' "$log")")
  n="$(grep -a -c 'SCORE ERROR' "$log" || true)"
  [ "$n" -eq 0 ] || wrong+=("$n SCORE ERROR lines, first: $(grep -a -m1 'SCORE ERROR' "$log")")
  n="$(grep -a -c -E '^sread:|INIT ERROR|PERF ERROR' "$log" || true)"
  [ "$n" -eq 0 ] || wrong+=("$n score reading or init errors, first: $(grep -a -m1 -E '^sread:|INIT ERROR|PERF ERROR' "$log")")
  n="$(grep -a 'ERROR' "$log" | grep -a -c -v -E 'SCORE ERROR|INIT ERROR|PERF ERROR' || true)"
  [ "$n" -eq 0 ] || wrong+=("$n other ERROR lines, first: $(grep -a 'ERROR' "$log" | grep -a -m1 -v -E 'SCORE ERROR|INIT ERROR|PERF ERROR')")
  outside="$(grep -a 'overall samples out of range:' "$log" | tail -1 | sed 's/.*out of range://' | tr -cd '0-9 ' | tr -s ' ')"
  echo "$outside" | awk '{ for (i = 1; i <= NF; i++) if ($i + 0 > 0) bad = 1 } END { exit bad }' ||
    wrong+=("samples out of range: $outside")
  amps="$(csound_amps "$log")"
  if [ -z "$amps" ]; then
    wrong+=("no overall amps line")
  elif ! echo "$amps" | awk '{ for (i = 1; i <= NF; i++) if ($i + 0 >= 1e-4) loud = 1 } END { exit !loud }'; then
    wrong+=("silent output: overall amps $amps")
  fi
  [ ${#wrong[@]} -eq 0 ] && return 0
  printf '  %s\n' "${wrong[@]}"
  return 1
}

# render_test_sound FOLDER: granulescore's sound file, testsound.wav (a short
# mono sound made by examples/testsound.csd), rendered into FOLDER with its log
# testsound.log beside it. Prints what is wrong and returns 1 when the
# rendering is faulty.
render_test_sound() {
  local status=0
  (cd "$1" && csound -d -m4 -+msg_color=0 -W -o testsound.wav "$root/examples/testsound.csd" >testsound.log 2>&1) ||
    status=$?
  csound_log_problems "$1/testsound.log" "$status"
}
