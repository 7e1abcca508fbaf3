#!/usr/bin/env bash
# Builds the programs and runs each on the bundled example answers and
# trajectories (examples/), writing the scores into out/demo.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target glissonscore granulescore additivescore
echo "demo: not complete yet"
