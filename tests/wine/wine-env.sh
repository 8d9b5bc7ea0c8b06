# Sourced by the Wine scripts: the environment every Wine run here uses, and
# the one-time set-up of the prefix.

export WINEDEBUG=${ZARVO_WINEDEBUG:--all}
# No Mono or Gecko installers, and no sound drivers (there is no sound card;
# ALSA would only print noise).
export WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv,winepulse.drv,wineoss.drv="

# zarvo_wine_prefix FOLDER: makes FOLDER the prefix and creates it once.
# Concurrent callers wait for the one that creates it.
zarvo_wine_prefix() {
    local prefix
    prefix=$(realpath -m "$1")
    export WINEPREFIX=$prefix
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [[ ! -e $prefix/.zarvo-ready ]]; then
            rm -rf "$prefix"
            # No display for the set-up: it shows nothing worth seeing.
            env -u DISPLAY wineboot -u >/dev/null 2>&1
            # Without a window manager, managed windows make Wine wait ~2 s
            # on each; unmanaged ones are drawn with Wine's own frame.
            env -u DISPLAY wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
                >/dev/null 2>&1
            wineserver -w
            touch "$prefix/.zarvo-ready"
        fi
    ) 9>"$prefix.lock"
}

# The lock every user of a prefix holds while it runs: shared by programs that
# need no display, exclusive for a game on an X screen, since the prefix's one
# wineserver serves one display at a time.
zarvo_wine_users_lock() { echo "$WINEPREFIX.users.lock"; }
