#!/usr/bin/env bash
# Installs the Debian packages of the given lists in scripts/packages (build,
# csound, ...), or of all of them (what the build and the tests need), when any
# is missing. Runs apt-get as root, or through sudo when that is available.
#
#   bash scripts/install-deps.sh [LIST ...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
lists=()
for name in "$@"; do lists+=("$here/packages/$name.txt"); done
[ ${#lists[@]} -ne 0 ] || lists=("$here"/packages/*.txt)
mapfile -t wanted < <(cat "${lists[@]}" | sed 's/#.*//' | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
