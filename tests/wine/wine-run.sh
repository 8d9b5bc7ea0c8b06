#!/usr/bin/env bash
# Runs a Windows program under Wine: wine-run.sh [--prefix=FOLDER] PROGRAM.exe ARGS...
# The build uses it to run the tests. The prefix defaults to $WINEPREFIX.
# DISPLAY is dropped unless ZARVO_WINE_DISPLAY names the X display to use.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"

prefix=${WINEPREFIX:-}
if [[ ${1:-} == --prefix=* ]]; then
    prefix=${1#--prefix=}
    shift
fi
if [[ -z $prefix ]]; then
    echo "wine-run.sh: no prefix (give --prefix=FOLDER or set WINEPREFIX)" >&2
    exit 2
fi
zarvo_wine_prefix "$prefix"

if [[ -n ${ZARVO_WINE_DISPLAY:-} ]]; then
    export DISPLAY=$ZARVO_WINE_DISPLAY
else
    unset DISPLAY
fi
# The wineserver wine starts on its own ends the instant its last program
# does, and a program starting in that instant dies with "wine client error:
# recvmsg: Connection reset by peer" (measured: 4 in 500 test runs at -j2).
# So a server is started first that outlives its programs by a few seconds;
# it fails quietly when one already runs.
# -o: the lock stays with flock, not with wine or the wineserver.
exec flock -o -s -w 600 "$(zarvo_wine_users_lock)" \
    bash -c 'wineserver -p5 </dev/null >/dev/null 2>&1 || true; exec wine "$@"' wine-run.sh "$@"
