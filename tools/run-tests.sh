#!/usr/bin/env bash
# Builds everything and runs every test: the optimised build, the sanitizer
# builds, a minute of fuzzing the sound loader, then the Windows cross build
# with its tests under Wine. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

jobs=$(nproc)
for preset in default asan tsan fuzz windows; do
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== ${preset}: test"
  ctest --preset "$preset"
done
