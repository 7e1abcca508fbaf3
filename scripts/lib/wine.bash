# A private Wine prefix in which the test stages run the Windows programs:
# sourced after tmp (a scratch folder) is set. wine_start makes the prefix in
# $tmp/wineprefix with drive D: at $tmp/d, so that D:\Max\bg is $tmp/d/Max/bg;
# wine_run runs a program in it with Wine kept out of the real home folder and
# away from any display; wine_stop ends its server, which runs for the whole
# stage (call it from the stage's EXIT trap before removing $tmp).
wine64="${WINE64:-/usr/lib/wine/wine64}"
wineserver="${WINESERVER:-/usr/lib/wine/wineserver}"
export WINEDEBUG=-all WINEPREFIX="$tmp/wineprefix"
wine_env=(env -u DISPLAY -u WAYLAND_DISPLAY HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config"
          XDG_DATA_HOME="$tmp/home/.local/share" XDG_CACHE_HOME="$tmp/home/.cache"
          WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml=")

# Makes the prefix; status 1, with wineboot's last lines, when it fails.
wine_start() {
  [ -x "$wine64" ] || { echo "no Wine at $wine64 (scripts/packages/windows.txt)" >&2; return 1; }
  mkdir -p "$tmp/home" "$tmp/d"
  "${wine_env[@]}" "$wine64" wineboot -i </dev/null >"$tmp/wineboot.log" 2>&1 ||
    { echo "wineboot -i failed: $(tail -3 "$tmp/wineboot.log")" >&2; return 1; }
  "${wine_env[@]}" "$wineserver" -w
  # One server for the whole stage: a server that leaves when its last
  # program ends can be leaving just as the next one connects ("wine client
  # error: recvmsg: Connection reset by peer", seen on a busy machine).
  "${wine_env[@]}" "$wineserver" -p
  ln -s "$tmp/d" "$WINEPREFIX/dosdevices/d:"
}

# wine_run PROGRAM.exe ARGUMENTS...: runs it in the prefix.
wine_run() { "${wine_env[@]}" "$wine64" "$@"; }

wine_stop() {
  if [ -d "$WINEPREFIX" ]; then "${wine_env[@]}" "$wineserver" -k >/dev/null 2>&1 || true; fi
}

# windows_imports PROGRAM.exe: the DLLs it imports, lower case, sorted, on one
# line; a static build of ours imports kernel32.dll and msvcrt.dll only.
windows_imports() {
  x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' '
}

# crlf FILE: the file with every LF as CR LF, as text mode writes it on Windows.
crlf() { perl -pe 's/\n/\r\n/g' "$1"; }
