#!/usr/bin/env bash
# Builds the packages into dist/: the Debian package (cpack -G DEB) from a
# Linux build in build-package, and the Windows ZIP (cpack -G ZIP) from the
# MinGW-w64 cross build in build-mingw (the one the Windows tests run, with
# the same settings). Both builds are Release, with warnings as errors and
# without the tests. GRAIN_DIST_DIR names another folder for the packages.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
dist="${GRAIN_DIST_DIR:-$root/dist}"
jobs="$(nproc)"
[ "$jobs" -le 2 ] || jobs=2

# build_and_pack FOLDER GENERATOR CMAKE-OPTIONS...: configures and builds the
# folder, packs it and moves the package into dist/.
build_and_pack() {
  local folder="$1" generator="$2"
  shift 2
  cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DGRAIN_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
  cmake --build "$folder" -j"$jobs"
  rm -rf "$folder/cpack"
  (cd "$folder" && cpack -G "$generator" -B "$root/$folder/cpack" >cpack.log 2>&1) ||
    { cat "$folder/cpack.log"; echo "package: cpack -G $generator failed" >&2; exit 1; }
  mkdir -p "$dist"
  local made
  made="$(find "$folder/cpack" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.zip' \))"
  [ -n "$made" ] || { cat "$folder/cpack.log"; echo "package: cpack -G $generator made no package" >&2; exit 1; }
  mv -f $made "$dist/"
  echo "package: $dist/$(basename "$made")"
}

build_and_pack build-package DEB
# The Windows programs, static (cmake/mingw-w64.cmake): the three score
# programs, flockpaths and scoreview; grainrender stays a Linux tool.
build_and_pack build-mingw ZIP -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DGRAIN_BUILD_COMPANIONS=ON
