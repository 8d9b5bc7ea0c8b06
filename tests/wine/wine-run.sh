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
# -o: the lock stays with flock, not with wine or the wineserver it starts.
exec flock -o -s -w 600 "$(zarvo_wine_users_lock)" wine "$@"
