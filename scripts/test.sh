#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs
# every test: the unit and whole-run tests, then each stage in scripts/test.d.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DGRAIN_WARNINGS_AS_ERRORS=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
for stage in scripts/test.d/*.sh; do
  [ -e "$stage" ] || continue
  echo "== $stage"
  bash "$stage"
done
echo "All tests passed."
