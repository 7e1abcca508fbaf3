#!/usr/bin/env bash
# The packages that scripts/package.sh leaves in dist/. The Debian package:
# its name, version, architecture and dependencies (none on Csound), its
# contents, and, extracted with dpkg-deb -x into a scratch root, its programs
# run from there: flockpaths writes a flock and the three score programs run
# their bundled answers on it, each score equal to the build tree's. The
# Windows ZIP: unzipped, its README has CR LF line ends, its three score
# programs run under Wine from the unzipped folder on the same flock (drive D:
# of a private Wine prefix), each score the Linux one with CR LF line ends,
# and its companions do what the Linux ones do: flockpaths.exe writes the
# same flock, scoreview.exe draws each Windows score as the Linux scoreview
# draws the Linux one. GRAIN_BUILD_DIR names another build folder for the
# test driver.
set -euo pipefail
source "$(dirname "$0")/../lib/stage.bash"
command -v unzip >/dev/null || { echo "package: unzip is missing (scripts/packages/package.txt)" >&2; exit 1; }

bash scripts/package.sh
cmake --build "$build" -j"$jobs" --target scoredriver >/dev/null

tmp="$(mktemp -d)"
# shellcheck source=../lib/wine.bash
source "$root/scripts/lib/wine.bash"
[ -x "$wine64" ] || { echo "package: no Wine at $wine64 (scripts/packages/windows.txt)" >&2; exit 1; }
cleanup() {
  wine_stop
  rm -rf "$tmp"
}
trap cleanup EXIT
# shellcheck source=../../tests/install/checks.sh
source "$root/tests/install/checks.sh"
version="$(project_version)"
arch="$(dpkg --print-architecture)"
deb="dist/grainscores_${version}_${arch}.deb"
zip="dist/grainscores-${version}-windows-x86_64.zip"

# ---------------------------------------------------------------------------
echo "== $deb"
[ -f "$deb" ] || { fail "no $deb"; finish_checks package; }
fields="Package=grainscores Version=$version Architecture=$arch"
for pair in $fields; do
  got="$(dpkg-deb -f "$deb" "${pair%%=*}")"
  [ "$got" = "${pair#*=}" ] && pass "control: ${pair%%=*} $got" || fail "control: ${pair%%=*} is '$got', not '${pair#*=}'"
done
dpkg-deb -c "$deb" | tee "$tmp/contents" | sed 's/^/      /'
dpkg-deb -x "$deb" "$tmp/debroot"
# Csound is a dependency exactly when a packaged program links its library;
# the score programs need the C++ runtime only.
depends="$(dpkg-deb -f "$deb" Depends)"
linking="$(for f in "$tmp"/debroot/usr/bin/*; do
  if readelf -d "$f" | grep -q 'NEEDED.*libcsound'; then basename "$f"; fi; done | tr '\n' ' ')"
wants_csound=no
[[ "$depends" != *csound* ]] || wants_csound=yes
if [[ "$depends" == *libstdc++* ]] && [ "$wants_csound" = "$([ -n "$linking" ] && echo yes || echo no)" ]; then
  pass "control: Depends $depends${linking:+ (Csound for $linking)}"
else
  fail "control: Depends '$depends'; programs that link Csound: ${linking:-none}"
fi
# grainrender --play suggests a JACK server; Csound's JACK module comes with Csound's library.
suggests="$(dpkg-deb -f "$deb" Suggests)"
if [[ "$linking" != *grainrender* ]] || { [[ "$suggests" == *jackd2* ]] && [[ "$depends" == *libjack* ]]; }; then
  pass "control: Suggests ${suggests:-nothing}"
else
  fail "control: Suggests '$suggests' and Depends '$depends': grainrender --play wants jackd2 suggested and libjack"
fi
expect_layout "package contents" "$tmp/debroot/usr" "${score_programs[@]}" flockpaths scoreview

# The flock, written by the packaged flockpaths into D:\Max\bg of the Wine
# prefix below, and the expected scores from the build tree's programs.
bg="$tmp/d/Max/bg"
mkdir -p "$bg" "$tmp/home"
if write_flock "$tmp/debroot/usr/bin/flockpaths" "$bg"; then
  pass "packaged flockpaths: a flock of 20 boids"
else
  fail "packaged flockpaths failed"
fi
for program in "${score_programs[@]}"; do
  mkdir -p "$tmp/expected/$program"
  "$build/tests/tools/scoredriver" run "$program" "$bg" "$tmp/expected/$program" \
    < <(answer_lines "$root/${answers_file[$program]}") >/dev/null
done

for program in "${score_programs[@]}"; do
  dir="$tmp/deb-run/$program"
  mkdir -p "$dir"
  status=0
  (cd "$dir" && with_coordinates "$bg" "$root" "$tmp/debroot/usr/bin/$program" \
    --answers "$tmp/debroot/usr/share/grainscores/${answers_file[$program]}" >"$tmp/deb-$program.out" 2>&1) || status=$?
  if [ "$status" = 0 ]; then
    expect_same "packaged $program: the score equals the build tree's" \
      "$tmp/expected/$program/${score_file[$program]}" "$dir/${score_file[$program]}"
    expect_same "packaged $program --answers: the answers it keeps are the bundled file" \
      "$root/${answers_file[$program]}" "$dir/$program.answers"
  else
    fail "packaged $program: status $status: $(tail -3 "$tmp/deb-$program.out")"
  fi
done

# ---------------------------------------------------------------------------
echo "== $zip"
[ -f "$zip" ] || { fail "no $zip"; finish_checks package; }
unzip -l "$zip" | sed 's/^/      /'
unzip -q "$zip" -d "$tmp/zip"
top="$tmp/zip/grainscores-$version-windows-x86_64"
missing=()
for f in "${score_programs[@]/%/.exe}" flockpaths.exe scoreview.exe README.txt; do
  [ -f "$top/$f" ] || missing+=("$f")
done
while read -r f; do cmp -s "$root/examples/$f" "$top/examples/$f" || missing+=("examples/$f"); done < <(example_files)
[ ${#missing[@]} -eq 0 ] && pass "ZIP: the five .exe files, examples\\ and README.txt" || fail "ZIP lacks: ${missing[*]}"
for exe in "$top"/*.exe; do
  imports="$(windows_imports "$exe")"
  [ "$imports" = "kernel32.dll msvcrt.dll " ] && pass "ZIP: $(basename "$exe") needs no DLL of its own" ||
    fail "ZIP: $(basename "$exe") imports $imports"
done
if [ "$(tr -d '\r' <"$top/README.txt")" = "$(cat "$root/README.md")" ] &&
   [ "$(grep -c $'\r$' "$top/README.txt")" = "$(wc -l <"$top/README.txt")" ]; then
  pass "ZIP: README.txt is the README with CR LF line ends"
else
  fail "ZIP: README.txt is not the README with CR LF line ends"
fi

wine_start || { fail "no Wine prefix"; finish_checks package; }
for program in "${score_programs[@]}"; do
  dir="$tmp/win-run/$program"
  mkdir -p "$dir"
  status=0
  (cd "$dir" && wine_run "$top/$program.exe" < <(answer_lines "$top/${answers_file[$program]}") \
    >"$tmp/win-$program.out" 2>&1) || status=$?
  if [ "$status" != 0 ]; then
    fail "$program.exe from the ZIP: status $status: $(tail -3 "$tmp/win-$program.out")"
    continue
  fi
  crlf "$tmp/expected/$program/${score_file[$program]}" >"$tmp/expected/$program/crlf.sco"
  expect_same "$program.exe from the ZIP: the score is the Linux one with CR LF" \
    "$tmp/expected/$program/crlf.sco" "$dir/${score_file[$program]}"
  version_line="$(cd "$dir" && wine_run "$top/$program.exe" --version </dev/null)"
  [ "$version_line" = "$program $version"$'\r' ] && pass "$program.exe --version: $program $version" ||
    fail "$program.exe --version: '$version_line'"
done

# The companions from the ZIP: the packaged Linux flock again, and each
# Windows score drawn as the Linux scoreview draws the Linux score.
status=0
(cd "$tmp" && wine_run "$top/flockpaths.exe" "${flock_arguments[@]}" --out 'D:\zip-flock') >"$tmp/zip-flock.out" 2>&1 ||
  status=$?
if [ "$status" = 0 ] && diff -r "$bg" "$tmp/d/zip-flock" >/dev/null; then
  pass "flockpaths.exe from the ZIP: the packaged flock, byte for byte"
else
  fail "flockpaths.exe from the ZIP: status $status, $(diff -rq "$bg" "$tmp/d/zip-flock" 2>&1 | head -2 | tr '\n' ' ')"
fi
for program in "${score_programs[@]}"; do
  score="${score_file[$program]}"
  [ -f "$tmp/win-run/$program/$score" ] || continue
  "$tmp/debroot/usr/bin/scoreview" "$tmp/expected/$program/$score" -o "$tmp/expected/$program/linux.svg" >/dev/null
  status=0
  (cd "$tmp/win-run/$program" && wine_run "$top/scoreview.exe" "$score" -o windows.svg) >"$tmp/view.out" 2>&1 ||
    status=$?
  if [ "$status" = 0 ]; then
    expect_same "scoreview.exe from the ZIP on the Windows $score: the Linux picture" \
      "$tmp/expected/$program/linux.svg" "$tmp/win-run/$program/windows.svg"
  else
    fail "scoreview.exe from the ZIP on $score: status $status: $(head -c 300 "$tmp/view.out")"
  fi
done

finish_checks "package"
