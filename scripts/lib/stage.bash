# The start that the test stages in scripts/test.d share, sourced by each
# after its set -euo pipefail: the project folder as root and as the current
# folder, the build folder as given (GRAIN_BUILD_DIR, default build) and the
# jobs a build may take (the cores, at most two).
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"
build="${GRAIN_BUILD_DIR:-build}"
jobs="$(nproc)"
[ "$jobs" -le 2 ] || jobs=2
