# The start that the test stages in scripts/test.d share, sourced by each
# after its set -euo pipefail: the project folder as root and as the current
# folder, the build folder as given (GRAIN_BUILD_DIR, default build; made
# absolute, so that it may also be given relative to the project folder), the
# jobs a build may take (the cores, at most two), and what the stages share:
# pass, fail and the count (checks.bash), the programs' names (programs.bash),
# the Csound log check and the test sound (csound.bash) and the private
# coordinate folder (namespace.bash). The Wine prefix (wine.bash) is sourced
# by the stages that use it, once their scratch folder is set.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"
build="${GRAIN_BUILD_DIR:-build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
jobs="$(nproc)"
[ "$jobs" -le 2 ] || jobs=2
for lib in checks programs csound namespace; do
  # shellcheck source=/dev/null
  source "$root/scripts/lib/$lib.bash"
done
unset lib
