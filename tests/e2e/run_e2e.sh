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

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
native="$(cd "${1:-$root/build}" && pwd)"
windows="$(cd "${2:-$root/build-mingw}" && pwd)"
for lib in checks programs namespace; do
    # shellcheck source=/dev/null
    source "$root/scripts/lib/$lib.bash"
done

for program in "${score_programs[@]}"; do
    for exe in "$native/$(program_path "$program")" "$windows/$(program_path "$program").exe"; do
        [ -x "$exe" ] || [ -f "$exe" ] || give_up e2e "missing executable $exe (build both folders first)"
    done
done

work="$(mktemp -d "${TMPDIR:-/tmp}/grain-e2e.XXXXXX")"
case "$work/" in /mnt/*) give_up e2e "the temporary folder $work lies under /mnt, which the namespace covers" ;; esac
bg="$work/d/Max/bg"          # D:\Max\bg for Windows, /mnt/d/Max/bg for Linux
mkdir -p "$bg" "$work/voices" "$work/runs"

# The Wine prefix in $work, drive D: at $work/d.
tmp="$work"
# shellcheck source=../../scripts/lib/wine.bash
source "$root/scripts/lib/wine.bash"
cleanup() {
    wine_stop
    if [ -n "${E2E_KEEP:-}" ]; then echo "run_e2e: runs kept in $work/runs"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# What the machine's own /mnt holds, to prove afterwards that it is untouched.
mnt_snapshot() { ls -A /mnt 2>&1; ls -A /mnt/d/Max/bg 2>&1 || true; }
mnt_before="$(mnt_snapshot)"

if ! ns_error="$(coordinates_work "$bg")"; then
    give_up e2e "cannot make a private mount namespace: $ns_error
          The native executables read the fixed folder /mnt/d/Max/bg and are only run inside one."
fi
pass "private mount namespace: tmpfs on /mnt, the test folder bound onto /mnt/d/Max/bg"

# The Windows executables are self-contained: no MinGW runtime DLL to ship.
command -v x86_64-w64-mingw32-objdump >/dev/null ||
    give_up e2e "x86_64-w64-mingw32-objdump not found (binutils-mingw-w64-x86-64)"
for program in "${score_programs[@]}"; do
    exe="$windows/$(program_path "$program").exe"
    dlls="$(windows_imports "$exe")"
    if [ "$dlls" = "kernel32.dll msvcrt.dll " ]; then
        pass "$(basename "$exe") is a static Windows executable (imports: $dlls)"
    else
        fail "$(basename "$exe") imports more than the system DLLs: $dlls"
    fi
done

started=$SECONDS
wine_start 2>"$work/wine-start.log" || give_up e2e "no Wine prefix: $(cat "$work/wine-start.log")"
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

# run_linux|run_windows <case> <program>: runs it with the case's answers in
# an empty current folder; keeps stdout, stderr and the exit status.
run_linux() {
    local dir="$work/runs/$1/linux"
    mkdir -p "$dir/cwd"
    local status=0
    (cd "$dir/cwd" && with_coordinates "$bg" "" "$native/$(program_path "$2")") \
        <"$work/runs/$1/answers" >"$dir/stdout" 2>"$dir/stderr" || status=$?
    echo "$status" >"$dir/status"
    if [ "$status" -eq 125 ]; then fail "$1: the private mount namespace failed: $(cat "$dir/stderr")"; fi
}
run_windows() {
    local dir="$work/runs/$1/windows"
    mkdir -p "$dir/cwd"
    local status=0
    (cd "$dir/cwd" && wine_run "$windows/$(program_path "$2").exe") \
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

# expect_run <case> <program> [<missing voice> <streams>]: both runs created
# exactly the program's score in the current folder, finished it, and agree
# with each other. A whole score: status 0, nothing on standard error. With a
# missing voice: status 3, and standard error names that voice.
expect_run() {
    local case="$1" program="$2" score="${score_file[$2]}" missing="${3:-}" streams="${4:-}" side dir
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
        if [ "$(ls -A "$dir/cwd" | sort | tr '\n' ' ')" = "$(printf '%s\n' "$score" "$program.answers" | sort | tr '\n' ' ')" ]; then
            pass "$case ($side): the current folder holds just $score and $program.answers"
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
    [ -f "$linux/cwd/$program.answers" ] && [ -f "$windows/cwd/$program.answers" ] &&
        expect_crlf_of "$case answers" "$linux/cwd/$program.answers" "$windows/cwd/$program.answers"
    expect_crlf_of "$case console" "$linux/stdout" "$windows/stdout"
}

# expect_voices <case> <program> <voices>: the voices (fourth field of the
# grain statements) of the Linux score, in order of first appearance.
expect_voices() {
    local got
    got="$(awk '$1 == "i1" && !seen[$4]++ { printf "%s ", $4 }' "$work/runs/$1/linux/cwd/${score_file[$2]}" 2>/dev/null || true)"
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

# run_both <case> <program> [<missing voice> <streams>]: the case on Linux and
# on Windows, and the checks of expect_run.
run_both() {
    run_linux "$1" "$2"
    run_windows "$1" "$2"
    expect_run "$@"
}

# voice_2_missing <program> <answers> <file of voice 2> <line end>: with the
# files of voices 1 to 3 but for the given one of voice 2, and answers asking
# for more than one voice, the run writes voice 1, then for voice 2 its line
# (ended as given), the failure messages and the completion message, and
# stops there.
voice_2_missing() {
    local program="$1" case="${1%score}-voice-2-missing"
    new_case "$case" "$2"
    lay_voices 1 2 3
    rm "$bg/$3"
    run_both "$case" "$program" 2 3
    expect_voices "$case" "$program" "1"
    expect_console "$case" "the failure messages, then the completion message" "writing voice 2 $4$failure_messages"
    expect_no_console "$case" "line for voice 3" 'writing voice 3'
}

failure_messages=$'Program quitting due to missing Boids input files!\nPlease ensure the coordinates files are stored in the default \nfolder, D:\\Boids\n\n\n\n\n\t\bScore file created'

# ---------------------------------------------------------------------------
echo "== glissonscore"
# Linear mapping, 100 to 10000 Hz, 3 harmonics, fixed grains of 0.05 s,
# constant density 1, 4 s, 3 streams, reverb on.
new_case glisson-three-voices '1\n100\n10000\n3\n3\n0.05\n1\n1\n4\n3\n1\n'
lay_voices 1 2 3 4
run_both glisson-three-voices glissonscore
expect_voices glisson-three-voices glissonscore "1 2 3"

# Harmonic end frequencies, grain durations varying from 0.05 to 0.1 (minimum
# 0.03), dynamic density, 3 s, 2 streams, reverb off.
new_case glisson-dynamic '3\n200\n4000\n1\n2\n0.05\n0.03\n0.08\n0.03\n0.1\n0\n0\n0.5\n2\n1\n0.25\n3\n2\n0\n'
run_both glisson-dynamic glissonscore
expect_voices glisson-dynamic glissonscore "1 2"
expect_console glisson-dynamic "the minimum grain duration" $'min grain dur is 0.030000\n\n'

voice_2_missing glissonscore '1\n100\n10000\n3\n3\n0.05\n1\n1\n2\n3\n1\n' bg2a.txt $'\n'

echo "== granulescore"
# Grain durations random between 0.03 and 0.08, dynamic density, 3 s,
# 3 streams, reverb on, a file name with a blank, speed 1.5.
granule_answers='1\n0.03\n0.08\n0\n0.5\n1\n2\n1\n0.5\n3\n3\n1\nmy file.wav\n1.5\n'
new_case granule-three-voices "$granule_answers"
lay_voices 1 2 3 4
run_both granule-three-voices granulescore
expect_voices granule-three-voices granulescore "1 2 3"
if grep -qF 'f1 0 4194304 1 "my file.wav" 0 4 1' "$work/runs/granule-three-voices/windows/cwd/${score_file[granulescore]}"; then
    pass "granule-three-voices: the whole file name line reaches the score on Windows"
else
    fail "granule-three-voices: the Windows score does not name \"my file.wav\""
fi

# A Windows console delivers CR LF line ends; text mode must hand the dialogue
# the same answers, the file name without its CR.
new_case granule-crlf-answers "$granule_answers"
crlf "$work/runs/granule-three-voices/answers" >"$work/runs/granule-crlf-answers/answers"
run_windows granule-crlf-answers granulescore
for file in stdout "cwd/${score_file[granulescore]}" cwd/granulescore.answers; do
    if cmp -s "$work/runs/granule-three-voices/windows/$file" "$work/runs/granule-crlf-answers/windows/$file"; then
        pass "granule-crlf-answers: Windows $(basename "$file") equals the one for LF answers"
    else
        fail "granule-crlf-answers: Windows $(basename "$file") differs from the one for LF answers"
        show_difference "$work/runs/granule-three-voices/windows/$file" "$work/runs/granule-crlf-answers/windows/$file"
    fi
done

voice_2_missing granulescore '3\n0.05\n1\n1\n1\n3\n1\nmy file.wav\n1\n' bg2e.txt $'\n'

echo "== additivescore"
# Fundamental 100 Hz, 3 harmonics, 2 s, constant density 0, 4 streams
# (partials; minimum grain duration 0.25 s), reverb on.
new_case additive-four-voices '100\n3\n2\n1\n0\n4\n1\n'
lay_voices 1 2 3 4
run_both additive-four-voices additivescore
expect_voices additive-four-voices additivescore "1 2 3 4"

voice_2_missing additivescore '100\n3\n1\n1\n0\n3\n1\n' bg2d.txt ""

# ---------------------------------------------------------------------------
if [ "$(mnt_snapshot)" = "$mnt_before" ]; then
    pass "the machine's own /mnt is as it was"
else
    fail "the machine's own /mnt changed: $(mnt_snapshot | tr '\n' ' ')"
fi

finish_checks e2e
