#!/usr/bin/env bash
# Builds everything and runs every test: the optimised build, the sanitizer
# builds, a minute of fuzzing the sound loader, then the Windows cross build
# with its tests under Wine and the arm64 cross build with its tests under
# qemu, and last the game on Debian 13 and Debian testing, each in a root of
# its own. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

took() {
  echo "=== $1: took $(((SECONDS - $2) / 60)) min $(((SECONDS - $2) % 60)) s"
}

start=$SECONDS
bash tools/install-deps.sh
took install-deps "$start"

# Some arm64 tests start arm64 programs themselves, not through qemu-aarch64:
# the kernel must hand those to qemu (binfmt_misc). Registering needs root and
# a binfmt_misc that may be mounted; without them those tests are skipped.
register_qemu() {
  local entry=/proc/sys/fs/binfmt_misc/qemu-aarch64
  grep -qx enabled "$entry" 2>/dev/null && return
  { mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc; } 2>/dev/null &&
    /lib/systemd/systemd-binfmt /usr/lib/binfmt.d/qemu-aarch64.conf 2>/dev/null &&
    grep -qx enabled "$entry" 2>/dev/null && return
  echo "qemu cannot be registered with the kernel here (binfmt_misc needs root and a mount): the arm64 tests that start programs themselves are skipped"
}

jobs=$(nproc)
for preset in default asan tsan fuzz windows arm64; do
  start=$SECONDS
  if [[ $preset == arm64 ]]; then
    register_qemu
  fi
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== ${preset}: test"
  ctest --preset "$preset"
  took "$preset" "$start"
done

# In roots made with debootstrap (build/roots, reused while fresh), from the
# default preset's build: its package is the one they install.
start=$SECONDS
echo "=== release: Debian 13 and Debian testing"
ctest --preset release
took release "$start"
