#!/usr/bin/env bash
# Usage: if-kernel-starts.sh PROGRAM COMMAND ARGS...
# Runs COMMAND, a test that starts this build's programs itself rather than
# through the emulator. Programs built for another processor (arm64 under
# qemu) start so only where the kernel hands them to the emulator
# (binfmt_misc); elsewhere the test is skipped (status 77), not failed.
# PROGRAM is the headless match, tried for zero seconds in a scratch folder.
set -euo pipefail
program=$1
shift
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zarvo-kernel-starts.XXXXXX")
status=0
(cd "$scratch" && "$program" 0) >/dev/null 2>&1 || status=$?
rm -rf "$scratch"
# 126: the shell could not execute it (Exec format error).
if ((status == 126)); then
    echo "SKIP: the kernel cannot start $program: qemu is not registered with binfmt_misc (tools/run-tests.sh does it as root)"
    exit 77
fi
exec "$@"
