#!/usr/bin/env bash
# Another Debian release in a folder of ours, made with debootstrap from the
# same package registry as this machine, to try the game and its tools where
# players have them:
#   tools/release-root.sh make CODENAME         make /var/cache/zarvo/roots/CODENAME,
#                                               or reuse it while it is fresh
#   tools/release-root.sh run CODENAME CMD...   run CMD in it as root, in this
#                                               source tree at /zarvo
# A run has a process, mount and network namespace of its own: whatever it
# started ends with it, its mounts go with it, and its X servers' sockets
# (abstract ones too, which no lock file in its /tmp guards) are its own.
# Only loopback is up there; ZARVO_ROOT_NETWORK=host keeps this machine's
# network, for installing packages. It sees this source tree, but its
# own build folder, build/release-CODENAME, in place of build/: what it builds
# for its release stays apart from this machine's builds. Several source trees
# (git worktrees, clean clones) share one root: the roots live outside any
# tree, as Debian's own build tools keep their chroots, so a new clone reuses
# them (ZARVO_ROOTS names another folder). Where a root cannot be made or
# entered here (not root, no debootstrap, no namespaces) it says why in one
# line and exits 77, the tests' "skipped".
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
roots=${ZARVO_ROOTS:-/var/cache/zarvo/roots}
# A root older than this is made again, so it tries what the release has now.
fresh_days=7
skipped=77

usage() {
    echo "usage: $0 make CODENAME | run CODENAME COMMAND..." >&2
    exit 2
}
(($# >= 2)) || usage
action=$1
codename=$2
shift 2
root=$roots/$codename
stamp=$root/.zarvo-root-made
lock=$roots/$codename.lock

cannot() {
    echo "SKIP: no $codename root here: $*"
    exit $skipped
}

# The registry this machine installs from: the first URIs of its sources.
mirror() {
    local uri
    uri=$(sed -n 's/^URIs:[[:space:]]*//p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n1 | cut -d' ' -f1)
    if [[ -z $uri ]]; then
        uri=$(sed -n 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]\+\).*/\2/p' \
              /etc/apt/sources.list 2>/dev/null | head -n1)
    fi
    echo "${uri:-http://deb.debian.org/debian}"
}

is_fresh() {
    [[ -f $stamp ]] && [[ -z $(find "$stamp" -mtime +"$fresh_days" 2>/dev/null) ]]
}

make_root() {
    [[ $(id -u) -eq 0 ]] || cannot "making one needs root (debootstrap, chroot)"
    command -v debootstrap >/dev/null || cannot "debootstrap is not installed (tools/install-deps.sh installs it)"
    mkdir -p "$roots"
    # Several trees share a root: it is made by one of them at a time, and
    # never while a run is inside it (each run holds the lock shared).
    exec 9>"$lock"
    flock 9
    if is_fresh; then
        echo "The $codename root in $root is fresh (made $(date -r "$stamp" +%F)): reused."
        return
    fi
    rm -rf --one-file-system "$root"
    mkdir -p "$root"
    # Debian 12's debootstrap knows no names after trixie; testing is made as sid is.
    local script=/usr/share/debootstrap/scripts/$codename
    [[ -e $script ]] || script=/usr/share/debootstrap/scripts/sid
    echo "Making a $codename root in $root from $(mirror)"
    if ! debootstrap --variant=minbase --components=main "$codename" "$root" "$(mirror)" "$script" \
            >"$root.debootstrap.log" 2>&1; then
        tail -n 20 "$root.debootstrap.log" >&2
        echo "debootstrap of $codename failed (its log: $root.debootstrap.log)" >&2
        exit 1
    fi
    # Testing's Release file may be past its Valid-Until date in a registry
    # that serves a snapshot.
    echo 'Acquire::Check-Valid-Until "false";' >"$root/etc/apt/apt.conf.d/99zarvo-snapshot"
    # Services installed in the root must not start: the tests start their own.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
    # dpkg's syncs make an install several times slower; a root that a power
    # cut damages is simply made again.
    echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/99zarvo-unsafe-io"
    cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
    touch "$stamp"
}

run_in_root() {
    [[ $(id -u) -eq 0 ]] || cannot "entering one needs root (chroot, mounts)"
    [[ -f $stamp ]] || cannot "it has not been made (tools/release-root.sh make $codename)"
    (($# > 0)) || usage
    local build=$source_dir/build/release-$codename
    exec 9>"$lock"
    flock --shared 9
    mkdir -p "$build" "$root/zarvo"
    local net=--net
    [[ ${ZARVO_ROOT_NETWORK:-} == host ]] && net=
    unshare --pid --fork --mount $net --propagation private true 2>/dev/null ||
        cannot "this machine allows no process, mount and network namespaces (unshare)"
    # In new namespaces: the root's own /proc for its processes, the host's
    # devices and kernel files, then the command in the source tree. unshare
    # takes this process's place, so that ending it (a test's time limit)
    # ends everything in the root.
    exec unshare --pid --fork --kill-child --mount $net --propagation private \
        bash -euc '
            root=$1 source=$2 build=$3; shift 3
            ip link set lo up 2>/dev/null || true
            mount -t proc proc "$root/proc"
            mount --rbind /sys "$root/sys"
            mount --rbind /dev "$root/dev"
            mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
            mount --bind "$source" "$root/zarvo"
            mkdir -p "$root/zarvo/build"
            mount --bind "$build" "$root/zarvo/build"
            cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
            exec chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
                PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
                ZARVO_RELEASE_ROOT=1 \
                bash -c "cd /zarvo && exec \"\$@\"" bash "$@"
        ' bash "$root" "$source_dir" "$build" "$@"
}

case $action in
    make) make_root ;;
    run) run_in_root "$@" ;;
    *) usage ;;
esac
