#!/usr/bin/env bash
# The whole pipeline on the bundled examples, from a fresh Debian machine:
# installs what is missing (cmake, a compiler, Csound), builds, flies a flock
# with flockpaths into the fixed coordinate folder (/mnt/d/Max/bg), runs the
# three programs on the bundled answers (--answers examples/*.answers) in
# out/demo, each keeping its answers beside its score (<program>.answers),
# makes a short mono test sound for granulescore, renders each score with its
# example orchestra to WAV files (stereo, binaural for headphones, third-order
# AmbiX), and prints what it made and each file's peak level.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="${GRAIN_BUILD_DIR:-build}"
bin="$build"
case "$bin" in /*) ;; *) bin="$root/$bin" ;; esac
source "$root/scripts/lib/programs.bash"
source "$root/scripts/lib/csound.bash"

# Only what the demo needs: the build, Csound and grainrender's libraries;
# the tests need more (scripts/install-deps.sh with no list installs it all).
bash scripts/install-deps.sh build csound render
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${score_programs[@]}" flockpaths scoreview grainrender

out="$root/out/demo"
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# Peak level of a rendering: the largest of Csound's overall amps (0 dBFS = 1).
# grainrender's closing line gives each channel's peak in dBFS instead.
peak_of() {
  if ! grep -a -q 'overall amps:' "$1"; then
    sed -n 's/.* peaks* \(.*dBFS\).*/\1/p' "$1" | tail -1 | tr -s ' ' '\n' | grep -v dBFS |
      awk 'BEGIN { d = -1e9 } $1 != "silent" && $1 + 0 > d { d = $1 + 0 }
           END { if (d > -1e9) printf "%.5f (%.1f dBFS)", exp(d / 20 * log(10)), d; else printf "0 (silent)" }'
    return
  fi
  csound_amps "$1" |
    awk '{ p = 0; for (i = 1; i <= NF; i++) if ($i + 0 > p) p = $i + 0;
           if (p > 0) printf "%.5f (%.1f dBFS)", p, 20 * log(p) / log(10); else printf "0 (silent)" }'
}

echo "== flockpaths: 20 boids every 0.05 s, the minimum grain duration of all three answer sets"
# flockpaths replaces only the coordinate files it wrote itself (a re-run of
# the demo); files of a Boids patch in the folder make it refuse.
status=0
"$bin/flock/flockpaths" --voices 20 --interval 0.05 --duration 12 --seed 1 --svg "$out/flock.svg" || status=$?
if [ "$status" = 1 ]; then
  echo "demo: flockpaths wrote nothing (its reason above). When /mnt/d/Max/bg holds coordinate files" >&2
  echo "demo: that flockpaths did not write (a Boids patch's?), move them elsewhere, or let the demo's" >&2
  echo "demo: flock replace them:" >&2
  echo "demo:   $bin/flock/flockpaths --replace --voices 20 --interval 0.05 --duration 12 --seed 1" >&2
fi
[ "$status" = 0 ] || exit "$status"

echo "== test sound for granulescore"
if ! problems="$(render_test_sound "$out")"; then
  echo "demo: Csound reported problems, see out/demo/testsound.log:" >&2
  echo "$problems" >&2
  exit 1
fi

for program in "${score_programs[@]}"; do
  echo "== $program --answers ${answers_file[$program]}"
  "$bin/$(program_path "$program")" --answers "$root/${answers_file[$program]}" > "$program.console.txt"
  if grep -a -E '^Warning:|End of Boids input file reached|missing Boids input' "$program.console.txt"; then
    echo "demo: $program did not read the flock's files cleanly (see out/demo/$program.console.txt)" >&2
    exit 1
  fi
  name="$(sound_stem "$program")"
  # Stereo, binaural (for headphones) and third-order AmbiX, each its own file.
  # grainrender refuses any Csound error or WARNING; its closing line (with the peaks) is kept.
  for space in stereo binaural ambix3; do
    wav="$name.wav"
    [ "$space" = stereo ] || wav="$name-$space.wav"
    "$bin/render/grainrender" "${score_file[$program]}" --space "$space" -o "$wav" | tee "${wav%.wav}.log"
  done
  # The first program's third-order render decoded to a 7.1.4 studio's twelve speakers.
  if [ "$program" = "${score_programs[0]}" ]; then
    "$bin/render/grainrender" --decode 7.1.4 "$name-ambix3.wav" -o "$name-7.1.4.wav" | tee "$name-7.1.4.log"
  fi
done

echo "== scoreview: a picture of each score beside its WAV file"
for program in "${score_programs[@]}"; do
  "$bin/scoreview/scoreview" "${score_file[$program]}"
done

echo
echo "The demo made, in out/demo (and the coordinate files of 20 boids in /mnt/d/Max/bg):"
echo "  flock.svg                     the flock's paths, from above and elevation over time"
for program in "${score_programs[@]}"; do
  f="${score_file[$program]}"
  printf '  %-29s %s grain statements\n' "$f" "$(grep -a -c '^i1' "$f")"
done
printf '  %-29s peak %s\n' testsound.wav "$(peak_of testsound.log)"
for program in "${score_programs[@]}"; do
  name="$(sound_stem "$program")"
  for wav in "$name.wav" "$name-binaural.wav" "$name-ambix3.wav"; do
    printf '  %-29s peak %s\n' "$wav" "$(peak_of "${wav%.wav}.log")"
  done
  if [ "$program" = "${score_programs[0]}" ]; then
    printf '  %-29s peak %s (decoded from %s)\n' "$name-7.1.4.wav" "$(peak_of "$name-7.1.4.log")" "$name-ambix3.wav"
  fi
done

# The tools are in the build folder, not yet on the PATH.
version="$(sed -n 's/^project(grainscores VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
echo
echo "The tools are in $bin and not yet found by name (grainrender, flockpaths,"
echo "scoreview, glissonscore, ...). To call them as the README does, either install them"
echo "into your home folder and put it on the PATH (the export line belongs in ~/.profile):"
echo "  cmake --install $build --prefix ~/.local"
echo "  export PATH=\"\$HOME/.local/bin:\$PATH\""
echo "or build and install the Debian package:"
echo "  bash scripts/package.sh && apt install ./dist/grainscores_${version}_$(dpkg --print-architecture 2>/dev/null || echo amd64).deb"
echo "or call them by their place: $build/render/grainrender, $build/flock/flockpaths, $build/scoreview/scoreview,"
places=()
for program in "${score_programs[@]}"; do places+=("$build/$(program_path "$program")"); done
echo "  $(IFS=,; echo "${places[*]}" | sed 's/,/, /g')"
