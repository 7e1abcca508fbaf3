#!/usr/bin/env bash
# Cross-compiles the three programs for Windows with MinGW-w64 (warnings as
# errors) and runs the end-to-end tests of both builds: the Windows
# executables under Wine with their coordinate files in D:\Max\bg, the Linux
# ones through /mnt/d/Max/bg inside a private mount namespace.
set -euo pipefail
source "$(dirname "$0")/../lib/stage.bash"

# The native programs are normally built already by the unit-test step.
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DGRAIN_WARNINGS_AS_ERRORS=ON
fi
cmake --build build -j"$jobs" --target glissonscore granulescore additivescore

# GoogleTest is not available for MinGW: the three programs alone are
# cross-built, without the tests and the companion tools.
cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_TESTING=OFF -DGRAIN_BUILD_COMPANIONS=OFF -DGRAIN_WARNINGS_AS_ERRORS=ON
cmake --build build-mingw -j"$jobs"

bash tests/e2e/run_e2e.sh build build-mingw
