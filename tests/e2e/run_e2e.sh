#!/usr/bin/env bash
# End-to-end runs of the real executables through their real fixed coordinate
# folder, with answers piped to the dialogue as a composer would type them.
#
#   tests/e2e/run_e2e.sh [native-build-folder] [windows-build-folder]
#
# (defaults: build and build-mingw under the project folder; E2E_KEEP=1 keeps
# the runs' answers, transcripts and scores in the temporary folder)
#
# Windows: the MinGW-w64 executables run under Wine in a private Wine prefix
# whose drive D: is a temporary folder, so they read D:\Max\bg\bg<N>a.txt and
# friends exactly as on a composer's machine.
#
# Linux: the native executables read /mnt/d/Max/bg. Each runs in a private
# mount namespace where a tmpfs covers /mnt and the same temporary folder is
# bound onto /mnt/d/Max/bg, so no folder of the machine is created or touched.
# When the namespace cannot be made the suite fails; it never skips.
#
# For the same answers and coordinate files both builds must print the same
# console transcript and write the same score, byte for byte, except that on
# Windows every line end of the score and of the console output is CR LF
# (both are written in text mode; the Linux output holds no CR at all, so
# turning each of its LF into CR LF gives exactly what Windows must produce).
set -euo pipefail

self="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")"

# ---------------------------------------------------------------------------
# Inside the private mount namespace (the script runs itself there).

# Covers /mnt with a tmpfs and binds the folder $1 onto /mnt/d/Max/bg.
make_private_mounts() {
    local bg="$1"
    mount --make-rprivate / || { echo "run_e2e: mount --make-rprivate / failed" >&2; return 1; }
    mount -t tmpfs -o mode=0755,size=1m grain-e2e /mnt || { echo "run_e2e: cannot mount a tmpfs on /mnt" >&2; return 1; }
    mkdir -p /mnt/d/Max/bg || { echo "run_e2e: cannot create /mnt/d/Max/bg in the tmpfs" >&2; return 1; }
    mount --bind "$bg" /mnt/d/Max/bg || { echo "run_e2e: cannot bind $bg onto /mnt/d/Max/bg" >&2; return 1; }
}

if [ "${1:-}" = "--in-namespace" ]; then
    # --in-namespace <coordinate folder> <executable>: runs the executable with
    # the folder as its /mnt/d/Max/bg; exit status 125 when the mounts failed.
    make_private_mounts "$2" || exit 125
    exec "$3"
fi
if [ "${1:-}" = "--check-namespace" ]; then
    # --check-namespace <coordinate folder>: proves that the mounts work and
    # that /mnt/d/Max/bg is the given folder.
    make_private_mounts "$2" || exit 125
    [ "$(stat -f -c %T /mnt)" = tmpfs ] || { echo "run_e2e: /mnt is not the private tmpfs" >&2; exit 125; }
    : > /mnt/d/Max/bg/.namespace-probe || { echo "run_e2e: cannot write through /mnt/d/Max/bg" >&2; exit 125; }
    [ -e "$2/.namespace-probe" ] || { echo "run_e2e: /mnt/d/Max/bg is not bound to $2" >&2; exit 125; }
    rm -f /mnt/d/Max/bg/.namespace-probe
    exit 0
fi

# ---------------------------------------------------------------------------
# The suite.

root="$(cd "$(dirname "$self")/../.." && pwd)"
native="$(cd "${1:-$root/build}" && pwd)"
windows="$(cd "${2:-$root/build-mingw}" && pwd)"
wine64="${WINE64:-/usr/lib/wine/wine64}"
wineserver="${WINESERVER:-/usr/lib/wine/wineserver}"

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok    $1"; }
fail() { failed=$((failed + 1)); echo "FAIL  $1"; }
abort() { echo "run_e2e: FATAL: $*" >&2; echo "$passed passed, $((failed + 1)) failed"; exit 1; }

for exe in "$native"/glisson/glissonscore "$native"/granule/granulescore "$native"/additive/additivescore \
           "$windows"/glisson/glissonscore.exe "$windows"/granule/granulescore.exe "$windows"/additive/additivescore.exe; do
    [ -x "$exe" ] || [ -f "$exe" ] || abort "missing executable $exe (build both folders first)"
done
[ -x "$wine64" ] || abort "no Wine at $wine64 (install Debian's wine64)"

work="$(mktemp -d "${TMPDIR:-/tmp}/grain-e2e.XXXXXX")"
case "$work/" in /mnt/*) abort "the temporary folder $work lies under /mnt, which the namespace covers" ;; esac
bg="$work/d/Max/bg"          # D:\Max\bg for Windows, /mnt/d/Max/bg for Linux
mkdir -p "$bg" "$work/voices" "$work/home" "$work/runs"

export WINEDEBUG=-all
export WINEPREFIX="$work/wineprefix"
# Keep Wine out of the real home folder and away from any display.
wine_env=(env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
          XDG_DATA_HOME="$work/home/.local/share" XDG_CACHE_HOME="$work/home/.cache"
          WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml=")

cleanup() {
    if [ -d "$WINEPREFIX" ]; then "${wine_env[@]}" "$wineserver" -k >/dev/null 2>&1 || true; fi
    if [ -n "${E2E_KEEP:-}" ]; then echo "run_e2e: runs kept in $work/runs"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# What the machine's own /mnt holds, to prove afterwards that it is untouched.
mnt_snapshot() { ls -A /mnt 2>&1; ls -A /mnt/d/Max/bg 2>&1 || true; }
mnt_before="$(mnt_snapshot)"

if [ "$(id -u)" -eq 0 ]; then
    unshare_cmd=(unshare --mount)
else
    unshare_cmd=(unshare --user --map-root-user --mount)
fi
if ! ns_error="$("${unshare_cmd[@]}" bash "$self" --check-namespace "$bg" 2>&1)"; then
    abort "cannot make a private mount namespace (${unshare_cmd[*]}): $ns_error
          The native executables read the fixed folder /mnt/d/Max/bg and are only run inside one."
fi
pass "private mount namespace: tmpfs on /mnt, the test folder bound onto /mnt/d/Max/bg"

# The Windows executables are self-contained: no MinGW runtime DLL to ship.
objdump_win="$(command -v x86_64-w64-mingw32-objdump || true)"
[ -n "$objdump_win" ] || abort "x86_64-w64-mingw32-objdump not found (binutils-mingw-w64-x86-64)"
for exe in "$windows"/glisson/glissonscore.exe "$windows"/granule/granulescore.exe "$windows"/additive/additivescore.exe; do
    dlls="$("$objdump_win" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')"
    if [ "$dlls" = "kernel32.dll msvcrt.dll " ]; then
        pass "$(basename "$exe") is a static Windows executable (imports: $dlls)"
    else
        fail "$(basename "$exe") imports more than the system DLLs: $dlls"
    fi
done

started=$SECONDS
"${wine_env[@]}" "$wine64" wineboot -i </dev/null >"$work/wineboot.log" 2>&1 ||
    abort "wineboot -i failed: $(tail -5 "$work/wineboot.log")"
"${wine_env[@]}" "$wineserver" -w
[ -d "$WINEPREFIX/dosdevices" ] || abort "wineboot made no $WINEPREFIX/dosdevices"
ln -s "$work/d" "$WINEPREFIX/dosdevices/d:"
"${wine_env[@]}" "$wineserver" -p   # one server for all the runs
echo "      (Wine prefix made in $((SECONDS - started)) s)"

# ---------------------------------------------------------------------------
# Coordinate files: 200 samples a coordinate for voices 1 to 4, all different,
# with azimuths beyond 0 to 360 and elevations over the whole range.
for v in 1 2 3 4; do
    awk -v v="$v" -v dir="$work/voices" 'BEGIN {
        for (k = 0; k < 200; k++) {
            printf "%.4f\n", (v * 47 + k * 3.7) % 420 - 30 > (dir "/bg" v "a.txt")
            printf "%.4f\n", 89.5 * sin(k / 13.0 + v) > (dir "/bg" v "e.txt")
            printf "%.5f\n", 2 + 1.5 * cos(k / 7.0 + 2 * v) > (dir "/bg" v "d.txt")
        }
    }'
done

# Lays the coordinate folder with the given voices' files.
lay_voices() {
    find "$bg" -mindepth 1 -delete
    local v
    for v in "$@"; do cp "$work/voices/bg${v}"[aed].txt "$bg/"; done
}

# Every LF becomes CR LF, as text mode writes it on Windows.
crlf() { perl -pe 's/\n/\r\n/g' "$1"; }

# run_linux|run_windows <case> <program>: runs it with the case's answers in
# an empty current folder; keeps stdout, stderr and the exit status.
run_linux() {
    local dir="$work/runs/$1/linux"
    mkdir -p "$dir/cwd"
    local status=0
    (cd "$dir/cwd" && "${unshare_cmd[@]}" bash "$self" --in-namespace "$bg" "$native/$2") \
        <"$work/runs/$1/answers" >"$dir/stdout" 2>"$dir/stderr" || status=$?
    echo "$status" >"$dir/status"
    if [ "$status" -eq 125 ]; then fail "$1: the private mount namespace failed: $(cat "$dir/stderr")"; fi
}
run_windows() {
    local dir="$work/runs/$1/windows"
    mkdir -p "$dir/cwd"
    local status=0
    (cd "$dir/cwd" && "${wine_env[@]}" "$wine64" "$windows/$2.exe") \
        <"$work/runs/$1/answers" >"$dir/stdout" 2>"$dir/stderr" || status=$?
    echo "$status" >"$dir/status"
}

show_difference() {
    cmp "$1" "$2" 2>&1 | sed 's/^/      /' || true
    diff <(cat -A "$1") <(cat -A "$2") 2>&1 | head -8 | sed 's/^/      /' || true
}

# Windows must give the Linux result with CR LF line ends.
expect_crlf_of() {
    local what="$1" linux="$2" windows="$3"
    crlf "$linux" >"$work/expected"
    if grep -q $'\r' "$linux"; then
        fail "$what: the Linux output holds a CR"
    elif cmp -s "$work/expected" "$windows"; then
        pass "$what: Windows equals Linux byte for byte, LF as CR LF"
    else
        fail "$what: Windows differs from Linux with CR LF line ends"
        show_difference "$work/expected" "$windows"
    fi
}

# expect_run <case> <program> <score name> [<missing voice> <streams>]: both
# runs created exactly the score in the current folder, finished it, and agree
# with each other. A whole score: status 0, nothing on standard error. With a
# missing voice: status 3, and standard error names that voice.
expect_run() {
    local case="$1" program="$2" score="$3" missing="${4:-}" streams="${5:-}" side dir
    for side in linux windows; do
        dir="$work/runs/$case/$side"
        if [ -z "$missing" ]; then
            if [ "$(cat "$dir/status")" = 0 ] && [ ! -s "$dir/stderr" ]; then
                pass "$case ($side): exit status 0, nothing on standard error"
            else
                fail "$case ($side): exit status $(cat "$dir/status"), standard error: $(head -c 300 "$dir/stderr")"
            fi
        elif [ "$(cat "$dir/status")" = 3 ] &&
            grep -q "^$program: voice $missing of $streams not read: .*; the score holds" "$dir/stderr"; then
            pass "$case ($side): exit status 3, standard error names voice $missing"
        else
            fail "$case ($side): exit status $(cat "$dir/status"), standard error: $(head -c 300 "$dir/stderr")"
        fi
        if [ "$(ls -A "$dir/cwd")" = "$score" ]; then
            pass "$case ($side): the current folder holds just $score"
        else
            fail "$case ($side): the current folder holds: $(ls -A "$dir/cwd" | tr '\n' ' ')"
            continue
        fi
        if [ "$(tr -d '\r' <"$dir/cwd/$score" | tail -c 3 | od -An -c | tr -d ' ')" = '\ne\n' ]; then
            pass "$case ($side): the score is finished with the end statement"
        else
            fail "$case ($side): the score does not end with the end statement"
        fi
    done
    local linux="$work/runs/$case/linux" windows="$work/runs/$case/windows"
    [ -f "$linux/cwd/$score" ] && [ -f "$windows/cwd/$score" ] &&
        expect_crlf_of "$case score" "$linux/cwd/$score" "$windows/cwd/$score"
    expect_crlf_of "$case console" "$linux/stdout" "$windows/stdout"
}

# expect_voices <case> <score name> <voices>: the voices (fourth field of the
# grain statements) of the Linux score, in order of first appearance.
expect_voices() {
    local got
    got="$(awk '$1 == "i1" && !seen[$4]++ { printf "%s ", $4 }' "$work/runs/$1/linux/cwd/$2" 2>/dev/null || true)"
    if [ "$got" = "$3 " ]; then
        pass "$1: grain statements of voices $3"
    else
        fail "$1: grain statements of voices '$got', expected '$3 '"
    fi
}

# expect_console <case> <description> <text>: the Linux console holds the text.
expect_console() {
    local console
    console="$(cat "$work/runs/$1/linux/stdout"; echo .)"
    if [[ "$console" == *"$3"* ]]; then
        pass "$1: console shows $2"
    else
        fail "$1: console does not show $2: $3"
    fi
}

# expect_no_console <case> <description> <text>: the Linux console lacks the text.
expect_no_console() {
    if grep -qF -- "$3" "$work/runs/$1/linux/stdout"; then
        fail "$1: console shows $2"
    else
        pass "$1: console shows no $2"
    fi
}

# new_case <case> <answers (printf format)>: the answers of the case.
new_case() {
    mkdir -p "$work/runs/$1"
    # shellcheck disable=SC2059
    printf "$2" >"$work/runs/$1/answers"
}

failure_messages=$'Program quitting due to missing Boids input files!\nPlease ensure the coordinates files are stored in the default \nfolder, D:\\Boids\n\n\n\n\n\t\bScore file created'

# ---------------------------------------------------------------------------
echo "== glissonscore"
# Linear mapping, 100 to 10000 Hz, 3 harmonics, fixed grains of 0.05 s,
# constant density 1, 4 s, 3 streams, reverb on.
new_case glisson-three-voices '1\n100\n10000\n3\n3\n0.05\n1\n1\n4\n3\n1\n'
lay_voices 1 2 3 4
run_linux glisson-three-voices glisson/glissonscore
run_windows glisson-three-voices glisson/glissonscore
expect_run glisson-three-voices glissonscore VELAROOKglisson.sco
expect_voices glisson-three-voices VELAROOKglisson.sco "1 2 3"

# Harmonic end frequencies, grain durations varying from 0.05 to 0.1 (minimum
# 0.03), dynamic density, 3 s, 2 streams, reverb off.
new_case glisson-dynamic '3\n200\n4000\n1\n2\n0.05\n0.03\n0.08\n0.03\n0.1\n0\n0\n0.5\n2\n1\n0.25\n3\n2\n0\n'
run_linux glisson-dynamic glisson/glissonscore
run_windows glisson-dynamic glisson/glissonscore
expect_run glisson-dynamic glissonscore VELAROOKglisson.sco
expect_voices glisson-dynamic VELAROOKglisson.sco "1 2"
expect_console glisson-dynamic "the minimum grain duration" $'min grain dur is 0.030000\n\n'

new_case glisson-voice-2-missing '1\n100\n10000\n3\n3\n0.05\n1\n1\n2\n3\n1\n'
lay_voices 1 2 3
rm "$bg/bg2a.txt"
run_linux glisson-voice-2-missing glisson/glissonscore
run_windows glisson-voice-2-missing glisson/glissonscore
expect_run glisson-voice-2-missing glissonscore VELAROOKglisson.sco 2 3
expect_voices glisson-voice-2-missing VELAROOKglisson.sco "1"
expect_console glisson-voice-2-missing "the failure messages, then the completion message" "writing voice 2 "$'\n'"$failure_messages"
expect_no_console glisson-voice-2-missing "line for voice 3" 'writing voice 3'

echo "== granulescore"
# Grain durations random between 0.03 and 0.08, dynamic density, 3 s,
# 3 streams, reverb on, a file name with a blank, speed 1.5.
granule_answers='1\n0.03\n0.08\n0\n0.5\n1\n2\n1\n0.5\n3\n3\n1\nmy file.wav\n1.5\n'
new_case granule-three-voices "$granule_answers"
lay_voices 1 2 3 4
run_linux granule-three-voices granule/granulescore
run_windows granule-three-voices granule/granulescore
expect_run granule-three-voices granulescore VELAROOKgranule.sco
expect_voices granule-three-voices VELAROOKgranule.sco "1 2 3"
if grep -qF 'f1 0 4194304 1 "my file.wav" 0 4 1' "$work/runs/granule-three-voices/windows/cwd/VELAROOKgranule.sco"; then
    pass "granule-three-voices: the whole file name line reaches the score on Windows"
else
    fail "granule-three-voices: the Windows score does not name \"my file.wav\""
fi

# A Windows console delivers CR LF line ends; text mode must hand the dialogue
# the same answers, the file name without its CR.
new_case granule-crlf-answers "$granule_answers"
perl -pi -e 's/\n/\r\n/g' "$work/runs/granule-crlf-answers/answers"
run_windows granule-crlf-answers granule/granulescore
for file in stdout cwd/VELAROOKgranule.sco; do
    if cmp -s "$work/runs/granule-three-voices/windows/$file" "$work/runs/granule-crlf-answers/windows/$file"; then
        pass "granule-crlf-answers: Windows $(basename "$file") equals the one for LF answers"
    else
        fail "granule-crlf-answers: Windows $(basename "$file") differs from the one for LF answers"
        show_difference "$work/runs/granule-three-voices/windows/$file" "$work/runs/granule-crlf-answers/windows/$file"
    fi
done

new_case granule-voice-2-missing '3\n0.05\n1\n1\n1\n3\n1\nmy file.wav\n1\n'
lay_voices 1 2 3
rm "$bg/bg2e.txt"
run_linux granule-voice-2-missing granule/granulescore
run_windows granule-voice-2-missing granule/granulescore
expect_run granule-voice-2-missing granulescore VELAROOKgranule.sco 2 3
expect_voices granule-voice-2-missing VELAROOKgranule.sco "1"
expect_console granule-voice-2-missing "the failure messages, then the completion message" "writing voice 2 "$'\n'"$failure_messages"
expect_no_console granule-voice-2-missing "line for voice 3" 'writing voice 3'

echo "== additivescore"
# Fundamental 100 Hz, 3 harmonics, 2 s, constant density 0, 4 streams
# (partials; minimum grain duration 0.25 s), reverb on.
new_case additive-four-voices '100\n3\n2\n1\n0\n4\n1\n'
lay_voices 1 2 3 4
run_linux additive-four-voices additive/additivescore
run_windows additive-four-voices additive/additivescore
expect_run additive-four-voices additivescore VELAROOKadditive.sco
expect_voices additive-four-voices VELAROOKadditive.sco "1 2 3 4"

new_case additive-voice-2-missing '100\n3\n1\n1\n0\n3\n1\n'
lay_voices 1 2 3
rm "$bg/bg2d.txt"
run_linux additive-voice-2-missing additive/additivescore
run_windows additive-voice-2-missing additive/additivescore
expect_run additive-voice-2-missing additivescore VELAROOKadditive.sco 2 3
expect_voices additive-voice-2-missing VELAROOKadditive.sco "1"
expect_console additive-voice-2-missing "the failure messages, then the completion message" \
    "writing voice 2 $failure_messages"
expect_no_console additive-voice-2-missing "line for voice 3" 'writing voice 3'

# ---------------------------------------------------------------------------
if [ "$(mnt_snapshot)" = "$mnt_before" ]; then
    pass "the machine's own /mnt is as it was"
else
    fail "the machine's own /mnt changed: $(mnt_snapshot | tr '\n' ' ')"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
