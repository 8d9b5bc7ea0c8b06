#!/usr/bin/env bash
# The installed tree, by `cmake --install` into a scratch prefix and in the
# .tar.gz: the files and where they go, the menu entry, the software-centre
# entry and the manual page; lintian on the .deb; and the launcher,
# started through a link from a moved copy of the unpacked tree: it finds
# the program, makes the player's folder under XDG_DATA_HOME, copies in the
# sounds the player lacks (keeping one the player replaced), and starts the
# game there. With no display the game only prints its questions and ends.
# Usage: install_tree.sh BUILD_FOLDER RESOURCES_FOLDER VERSION
set -euo pipefail
build=$(realpath "$1")
resources=$(realpath "$2")
version=$3
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zarvo-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

expected="games/zarvo
lib/games/zarvo/zarvo
share/applications/zarvo.desktop
share/doc/zarvo/changelog.gz
share/doc/zarvo/copyright
share/games/zarvo/miss.wav
share/games/zarvo/rlhit.wav
share/games/zarvo/tbhit.wav
share/icons/hicolor/16x16/apps/zarvo.png
share/icons/hicolor/32x32/apps/zarvo.png
share/icons/hicolor/48x48/apps/zarvo.png
share/man/man6/zarvo.6.gz
share/metainfo/org.example.zarvo.metainfo.xml"

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
files=$(cd "$scratch/prefix" && find . -type f -printf '%P\n' | LC_ALL=C sort)
[[ $files == "$expected" ]] || fail "cmake --install installed:"$'\n'"$files"
[[ -x $scratch/prefix/games/zarvo && -x $scratch/prefix/lib/games/zarvo/zarvo ]] || fail "the launcher or the program is not executable"
desktop-file-validate "$scratch/prefix/share/applications/zarvo.desktop" || fail "desktop-file-validate"
warnings=$(man --warnings -E UTF-8 -l -Tutf8 -Z "$scratch/prefix/share/man/man6/zarvo.6.gz" 2>&1 >/dev/null)
[[ -z $warnings ]] || fail "the manual page: $warnings"

# What a validator asks for that the game has none of: each is told as known,
# with why, in place of failing.
declare -A known=([url-homepage-missing]="no homepage: the game has none to name")

# The software-centre entry checked as lintian has it checked, with the menu
# entry and icons beside it, and read line by line: no error, no warning but
# the known; information and pedantic hints are shown.
appstream=$(appstreamcli --version | sed -n 's/^AppStream version: *//p')
status=0
report=$(appstreamcli validate-tree --no-net --pedantic "$scratch/prefix" 2>&1) || status=$?
((status == 0 || status == 3)) || fail "appstreamcli validate-tree ended with status $status:"$'\n'"$report"
faults=0 told=0
while IFS= read -r line; do
    [[ $line =~ ^\ *([EWIP]):\ [^\ ]+:\ ([^\ ]+) ]] || continue
    if [[ ${BASH_REMATCH[1]} == [IP] ]]; then
        echo "AppStream $appstream: ${line#"${line%%[! ]*}"}"
    elif [[ -n ${known[${BASH_REMATCH[2]}]:-} ]]; then
        echo "AppStream $appstream: known: ${known[${BASH_REMATCH[2]}]} (${BASH_REMATCH[2]})"
        told=$((told + 1))
    else
        echo "$line" >&2
        faults=$((faults + 1))
    fi
done <<<"$report"
((faults == 0)) || fail "appstreamcli validate-tree: $faults errors or warnings"
((status == 0 || told > 0)) || fail "appstreamcli validate-tree failed:"$'\n'"$report"
echo "cmake --install: the expected $(wc -l <<<"$files") files; the menu entry, the software-centre entry and manual page are clean"

cpack -G "TGZ;DEB" --config "$build/CPackConfig.cmake" -B "$scratch/cpack" >/dev/null
# Debian's own checks of the .deb: no error, no warning, and among the
# pedantic tags, the information and the overridden (all shown) none of
# hardening or of a section the program does not need.
lintian=$(lintian --version)
status=0
tags=$(lintian --pedantic --display-info --show-overrides --fail-on error,warning "$scratch/cpack/"zarvo_*.deb \
       2>"$scratch/lintian.err") || status=$?
[[ -z $tags ]] || sed "s|^|$lintian: |" <<<"$tags"
((status == 0)) || { cat "$scratch/lintian.err"; fail "lintian found errors or warnings in the .deb"; }
! grep -E "hardening-|binary-has-unneeded-section" <<<"$tags" || fail "lintian: a hardening or unneeded-section tag"
echo "$lintian: no errors, no warnings, no hardening or unneeded-section tag"
# zarvo-VERSION-Linux.tar.gz, or zarvo-VERSION-Linux-ARCH.tar.gz from a cross build.
tarball=$(compgen -G "$scratch/cpack/zarvo-$version-Linux*.tar.gz") || fail "cpack made no .tar.gz"
top=$(basename "$tarball" .tar.gz)
files=$(tar tzf "$tarball" | grep -v '/$' | sed "s|^$top/||" | LC_ALL=C sort)
[[ $files == "$expected" ]] || fail "the .tar.gz holds:"$'\n'"$files"
mkdir -p "$scratch/unpacked" "$scratch/links"
tar xzf "$tarball" -C "$scratch/unpacked"
mv "$scratch/unpacked/$top" "$scratch/moved"
ln -s "$scratch/moved/games/zarvo" "$scratch/links/zarvo"
echo "$(basename "$tarball"): the same files"

folder=$scratch/data/zarvo
mkdir -p "$folder" "$scratch/home"
echo "the player's own sound" >"$folder/miss.wav"
: >"$folder/tbhit.wav"  # silenced by the player
# Another user's link where a launcher that names its temporary files by its
# process number would copy rlhit.wav: the shell that plants it becomes the launcher.
echo "another user's file" >"$scratch/theirs"
status=0
(cd "$scratch" && env -u DISPLAY -u WAYLAND_DISPLAY HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" \
    SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy timeout -s KILL 30 \
    sh -c 'ln -s "$1" "$2/.rlhit.wav.$$" && exec "$3"' sh "$scratch/theirs" "$folder" "$scratch/links/zarvo") \
    >"$scratch/out" 2>&1 || status=$?
((status == 0)) || { cat "$scratch/out"; fail "the launcher ended with status $status"; }
grep -q "^Start fullscreen?: Would you like to run in fullscreen mode?" "$scratch/out" \
    || { cat "$scratch/out"; fail "the game did not ask its first question"; }
[[ $(cat "$folder/miss.wav") == "the player's own sound" ]] || fail "the player's miss.wav was overwritten"
[[ -f $folder/tbhit.wav && ! -s $folder/tbhit.wav ]] || fail "the tbhit.wav the player emptied was replaced"
[[ $(cat "$scratch/theirs") == "another user's file" ]] || fail "the launcher copied a sound through a link"
cmp -s "$resources/rlhit.wav" "$folder/rlhit.wav" || fail "rlhit.wav was not copied into $folder"
[[ -f $folder/vorn.txt ]] || fail "the game did not start in $folder: no vorn.txt there"
[[ ! -e $scratch/vorn.txt && ! -e $scratch/home/.local ]] || fail "the game wrote outside $folder"
echo "launcher: the game ran in XDG_DATA_HOME/zarvo with the sounds; passed"
