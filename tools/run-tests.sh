#!/usr/bin/env bash
# Builds everything and runs every test: the optimised build, the sanitizer
# builds, a minute of fuzzing the sound loader, the Windows cross build with
# its tests under Wine, the arm64 cross build with its tests under qemu, and
# the game on Debian 13 and Debian testing, each in a root of its own.
#
# The order follows where the time goes. The release roots are made (or
# found fresh, outside this tree) and brought up to date in the background
# from the start: that is the network's and the disk's time, not the cores'.
# The optimised build's tests run first and alone, for some of them hold only
# at a native, unloaded build's speed (label timing_bound); but for its
# packages' tests, which build and record rather than time. Then two lanes
# share the two cores, each building and testing in turn: those packages'
# tests, the sanitizers, the fuzzer and arm64; Windows and the releases.
# Their tests wait on servers, emulators and start-ups more than they
# compute, so side by side they take less than one after another. (A third lane beside them left the
# sanitizer builds' games too slow for their deadlines on two cores.) Each
# lane's output is kept in build/lanes/LANE.log and shown when the lane ends;
# the script exits non-zero if anything failed, after every lane has ended.
set -uo pipefail
cd "$(dirname "$0")/.."

lanes=build/lanes
mkdir -p "$lanes"
exec > >(tee "$lanes/run.log") 2>&1

took() {  # NAME START
  printf '=== %s: took %d min %d s\n' "$1" $(((SECONDS - $2) / 60)) $(((SECONDS - $2) % 60))
}

start=$SECONDS
bash tools/install-deps.sh || exit 1
took install-deps "$start"

jobs=$(nproc)

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

build() {  # PRESET
  echo "=== $1: configure and build"
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs"
}

preset() {  # PRESET [TEST_PRESET]: build it and run its tests (or TEST_PRESET's)
  local start=$SECONDS name=${2:-$1}
  [[ $1 == arm64 ]] && register_qemu
  build "$1" && echo "=== $name: test" && ctest --preset "$name"
  local status=$?
  took "$name" "$start"
  return $status
}

# The roots, from the start: release.CODENAME.install_deps then finds them
# made and up to date. Its own test still runs and says so.
release_roots() {
  local codename status=0 start=$SECONDS
  for codename in trixie forky; do
    # Niced: on a new machine unpacking a root's packages is real work, and
    # the optimised build's tests beside it are the ones that mind.
    nice -n 10 bash tests/release/release.sh root "$codename" >"$lanes/root-$codename.log" 2>&1 &
  done
  wait -n || status=1
  wait -n || status=1
  tail -n 20 "$lanes"/root-*.log
  took "release roots" "$start"
  return $status
}

# LANE COMMAND...: runs in the background, its output in its log.
declare -A lane_pid
lane() {
  local name=$1
  shift
  ("$@") >"$lanes/$name.log" 2>&1 &
  lane_pid[$name]=$!
}
failed=()
finish() {  # LANE: wait for it, then show its log
  local status=0
  wait "${lane_pid[$1]}" || status=$?
  echo "----- lane $1 (exit $status) -----"
  cat "$lanes/$1.log"
  ((status == 0)) || failed+=("$1")
}

lane roots release_roots

# Alone: the optimised build and its tests but the packages'.
preset default default-alone 2>&1 | tee "$lanes/default.log"
((PIPESTATUS[0] == 0)) || failed+=(default)

in_turn() {  # PRESET...: each built and tested, whether the one before passed or not
  local name status=0
  for name in "$@"; do
    preset "$name" || status=1
  done
  return $status
}
# The packages' tests and the release roots' .deb run cpack on the optimised
# build, one at a time: the first lane takes this lock at its start (-o: what
# a test leaves running does not hold it).
cpack_lock=$lanes/cpack.lock
default_packaging_then() {  # PRESET...: the optimised build's packages' tests, then in_turn PRESET...
  local start=$SECONDS status=0
  echo "=== default-packaging: test"
  flock -o "$cpack_lock" ctest --preset default-packaging || status=1
  took default-packaging "$start"
  in_turn "$@" || status=1
  return $status
}
releases() {
  local start=$SECONDS status=0
  echo "=== release: Debian 13 and Debian testing"
  flock -o "$cpack_lock" ctest --preset release || status=1
  took release "$start"
  return $status
}
windows_then_releases() {
  local status=0
  preset windows || status=1
  releases || status=1
  return $status
}
# The release tests need the roots, which have had the optimised build's
# whole run to be made. The first lane starts with the packages' tests (their
# builds and recordings beside the Windows build and its games, which take
# turns), as the other lane is the longer by as much. Its order then puts
# the slowest games beside the lightest load: tsan's (whose rows include
# timing_bound ones) beside Windows; arm64's emulated ones after it, before
# the roots reach their sound rows; asan's beside the roots.
finish roots
lane sanitizers default_packaging_then tsan arm64 asan fuzz
lane windows_releases windows_then_releases
for name in sanitizers windows_releases; do
  finish "$name"
done

took "whole run" 0
echo "=== Where the time went"
sed -n 's/^=== \(.*\): took \(.*\)$/\1\t\2/p' "$lanes/run.log" | awk -F'\t' '{printf "  %-14s %s\n", $1, $2}'
# Every preset's count in one line, the way test runners close.
cat "$lanes"/{default,sanitizers,windows_releases}.log 2>/dev/null |
  sed -n 's/.*tests passed, \([0-9]*\) tests\? failed out of \([0-9]*\)$/\1 \2/p' |
  awk '{failed += $1; all += $2} END {printf "%d passed, %d failed\n", all - failed, failed}'
if ((${#failed[@]})); then
  echo "=== Why they failed"
  python3 tools/failure_digest.py "$lanes"/{default,sanitizers,windows_releases}.log
  echo "FAILED: ${failed[*]}"
  exit 1
fi
