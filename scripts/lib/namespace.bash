# The programs' fixed coordinate folder /mnt/d/Max/bg, made from a test
# folder in a private mount namespace, so that no folder of the machine is
# created or touched: sourced, not run. Needs root, or unprivileged user
# namespaces.

# with_coordinates FOLDER HIDDEN COMMAND...: runs the command in a private
# mount namespace in which a tmpfs covers /mnt and FOLDER is bound onto
# /mnt/d/Max/bg; unless HIDDEN is empty, an empty tmpfs covers it too, so the
# command cannot see or use anything there. Status 125, with the reason on
# standard error, when the mounts fail.
with_coordinates() {
  local unshare_cmd=(unshare --mount)
  [ "$(id -u)" -eq 0 ] || unshare_cmd=(unshare --user --map-root-user --mount)
  "${unshare_cmd[@]}" bash -c '
    failed() { echo "with_coordinates: $1" >&2; exit 125; }
    mount --make-rprivate / || failed "mount --make-rprivate / failed"
    mount -t tmpfs -o mode=0755,size=1m grain-mnt /mnt || failed "cannot mount a tmpfs on /mnt"
    mkdir -p /mnt/d/Max/bg || failed "cannot create /mnt/d/Max/bg in the tmpfs"
    mount --bind "$1" /mnt/d/Max/bg || failed "cannot bind $1 onto /mnt/d/Max/bg"
    if [ -n "$2" ]; then
      mount -t tmpfs -o size=1m,mode=0755 grain-hidden "$2" || failed "cannot cover $2 with a tmpfs"
    fi
    shift 2
    exec "$@"' with-coordinates "$1" "$2" "${@:3}"
}

# coordinates_work FOLDER: proves that with_coordinates works here: /mnt is
# the private tmpfs and a file written through /mnt/d/Max/bg lands in FOLDER.
# Prints the reason and returns 1 when it does not.
coordinates_work() {
  local why
  why="$(with_coordinates "$1" "" bash -c '
    [ "$(stat -f -c %T /mnt)" = tmpfs ] || { echo "/mnt is not the private tmpfs" >&2; exit 125; }
    : > /mnt/d/Max/bg/.namespace-probe || { echo "cannot write through /mnt/d/Max/bg" >&2; exit 125; }' 2>&1)" ||
    { echo "$why"; return 1; }
  [ -e "$1/.namespace-probe" ] || { echo "/mnt/d/Max/bg is not bound to $1"; return 1; }
  rm -f "$1/.namespace-probe"
}
