#!/usr/bin/env bash
# The packages that scripts/package.sh leaves in dist/. The Debian package:
# its name, version, architecture and dependencies (none on Csound), its
# contents, and, extracted with dpkg-deb -x into a scratch root, its programs
# run from there: flockpaths writes a flock and the three score programs run
# their bundled answers on it, each score equal to the build tree's. The
# Windows ZIP: unzipped, its README has CR LF line ends, and its three .exe
# files run under Wine from the unzipped folder on the same flock (drive D:
# of a private Wine prefix), each score the Linux one with CR LF line ends.
# GRAIN_BUILD_DIR names another build folder for the test driver.
set -euo pipefail
source "$(dirname "$0")/../lib/stage.bash"
wine64="${WINE64:-/usr/lib/wine/wine64}"
wineserver="${WINESERVER:-/usr/lib/wine/wineserver}"
[ -x "$wine64" ] || { echo "package: no Wine at $wine64 (scripts/packages/windows.txt)" >&2; exit 1; }
command -v unzip >/dev/null || { echo "package: unzip is missing (scripts/packages/package.txt)" >&2; exit 1; }

bash scripts/package.sh
cmake --build "$build" -j"$jobs" --target scoredriver >/dev/null

tmp="$(mktemp -d)"
export WINEDEBUG=-all WINEPREFIX="$tmp/wineprefix"
wine_env=(env -u DISPLAY -u WAYLAND_DISPLAY HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config"
          XDG_DATA_HOME="$tmp/home/.local/share" XDG_CACHE_HOME="$tmp/home/.cache"
          WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml=")
cleanup() {
  if [ -d "$WINEPREFIX" ]; then "${wine_env[@]}" "$wineserver" -k >/dev/null 2>&1 || true; fi
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
    <"$root/examples/$program.answers" >/dev/null
done

for program in "${score_programs[@]}"; do
  dir="$tmp/deb-run/$program"
  mkdir -p "$dir"
  status=0
  (cd "$dir" && with_coordinates "$bg" "$root" "$tmp/debroot/usr/bin/$program" \
    <"$tmp/debroot/usr/share/grainscores/examples/$program.answers" >"$tmp/deb-$program.out" 2>&1) || status=$?
  if [ "$status" = 0 ]; then
    expect_same "packaged $program: the score equals the build tree's" \
      "$tmp/expected/$program/${score_file[$program]}" "$dir/${score_file[$program]}"
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
for f in "${score_programs[@]/%/.exe}" README.txt; do [ -f "$top/$f" ] || missing+=("$f"); done
while read -r f; do cmp -s "$root/examples/$f" "$top/examples/$f" || missing+=("examples/$f"); done < <(example_files)
[ ${#missing[@]} -eq 0 ] && pass "ZIP: the three .exe files, examples\\ and README.txt" || fail "ZIP lacks: ${missing[*]}"
if [ "$(tr -d '\r' <"$top/README.txt")" = "$(cat "$root/README.md")" ] &&
   [ "$(grep -c $'\r$' "$top/README.txt")" = "$(wc -l <"$top/README.txt")" ]; then
  pass "ZIP: README.txt is the README with CR LF line ends"
else
  fail "ZIP: README.txt is not the README with CR LF line ends"
fi

"${wine_env[@]}" "$wine64" wineboot -i </dev/null >"$tmp/wineboot.log" 2>&1 ||
  { fail "wineboot -i failed: $(tail -3 "$tmp/wineboot.log")"; finish_checks package; }
"${wine_env[@]}" "$wineserver" -w
ln -s "$tmp/d" "$WINEPREFIX/dosdevices/d:"
for program in "${score_programs[@]}"; do
  dir="$tmp/win-run/$program"
  mkdir -p "$dir"
  status=0
  (cd "$dir" && "${wine_env[@]}" "$wine64" "$top/$program.exe" <"$top/examples/$program.answers" \
    >"$tmp/win-$program.out" 2>&1) || status=$?
  if [ "$status" != 0 ]; then
    fail "$program.exe from the ZIP: status $status: $(tail -3 "$tmp/win-$program.out")"
    continue
  fi
  perl -pe 's/\n/\r\n/g' "$tmp/expected/$program/${score_file[$program]}" >"$tmp/expected/$program/crlf.sco"
  expect_same "$program.exe from the ZIP: the score is the Linux one with CR LF" \
    "$tmp/expected/$program/crlf.sco" "$dir/${score_file[$program]}"
  version_line="$(cd "$dir" && "${wine_env[@]}" "$wine64" "$top/$program.exe" --version </dev/null)"
  [ "$version_line" = "$program $version"$'\r' ] && pass "$program.exe --version: $program $version" ||
    fail "$program.exe --version: '$version_line'"
done

finish_checks "package"
