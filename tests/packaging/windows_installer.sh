#!/usr/bin/env bash
# The Windows installer as a player on a 150 % screen meets it, under Wine in
# a fresh prefix set to 144 dots per inch: cpack makes
# Zarvo-<version>-win64-setup.exe; it installs silently into the player's own
# programs folder with a Start-menu shortcut and an entry in the list of
# installed programs; the game started as the shortcut starts it shows a
# 1152x864 client area, opens its sounds and writes vorn.txt in the
# installation folder; the silent uninstaller then leaves nothing behind.
# Usage: windows_installer.sh BUILD_FOLDER VERSION SCRATCH_FOLDER
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
version=$2
scratch=$(realpath -m "$3")

rm -rf "$scratch"
mkdir -p "$scratch"
cpack -G NSIS --config "$build/CPackConfig.cmake" -B "$scratch/cpack" >"$scratch/cpack.log"
setup=$scratch/cpack/Zarvo-$version-win64-setup.exe
[[ -f $setup ]] || { echo "FAIL: cpack made no $(basename "$setup")" >&2; exit 1; }
# A 64-bit program (this Wine runs no other), asking for no administrator
# rights, with the game's icon.
python3 - "$setup" "$here/../../resources/zarvo.ico" "$here/../wine" <<'PY'
import sys
setup, ico_path, wine_tests = sys.argv[1:]
sys.path.insert(0, wine_tests)
from check_resources import PeFile, RT_ICON, RT_MANIFEST, icon_file_images
pe = PeFile(open(setup, "rb").read())
assert (pe.machine, pe.magic) == (0x8664, 0x20B), "the installer is not a 64-bit program"
tree = pe.resources()
manifest = next(iter(tree[RT_MANIFEST][1].values()))
assert b'requestedExecutionLevel level="asInvoker"' in manifest, "the installer asks for more rights"
icons = {data for languages in tree[RT_ICON].values() for data in languages.values()}
assert icons == set(icon_file_images(ico_path)), "the installer's icon is not the game's"
PY

# The prefix is made anew: the installer meets a system it has never seen.
rm -rf "$scratch/prefix"
source "$here/../wine/lib.sh" "$build/Zarvo.exe" "$scratch/prefix" "$scratch/failed"
# The shortcut would otherwise also become a menu entry of this machine.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe="
zarvo_wine_prefix "$wine_prefix"
env -u DISPLAY wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null
start_screen 1280x1024

# windows_folder NAME: the prefix's value of %NAME%; unix_path WINDOWS_PATH.
windows_folder() { wine cmd /c "echo %$1%" | tr -d '\r'; }
unix_path() { winepath -u "$1" 2>/dev/null | tr -d '\r'; }
profile=$(unix_path "$(windows_folder USERPROFILE)")
local_data=$(windows_folder LOCALAPPDATA)
win_install=$local_data\\Programs\\Zarvo
install=$(unix_path "$win_install")
shortcut=$(unix_path "$(windows_folder APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs\\Zarvo.lnk")
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zarvo'

# Something of the player's beside the installation, which must stay.
mkdir -p "$(dirname "$install")/Other"
echo mine >"$(dirname "$install")/Other/keep.txt"
# Every file of the player's profile, but the temporary folder: the
# uninstaller runs from a copy there, which it cannot delete while it runs.
profile_files() { (cd "$profile" && find . -path ./Temp -prune -o -type f -print | sort); }
profile_files >"$work/files-before"

# ---- Install -------------------------------------------------------------------
status=0
wine "$setup" /S >"$work/setup.out" 2>&1 || status=$?
((status == 0)) || fail "the silent installer ended with status $status"
listing=$(cd "$install" && find . -type f | sort | tr '\n' ' ')
[[ $listing == "./README.txt ./Uninstall.exe ./Zarvo.exe ./miss.wav ./rlhit.wav ./tbhit.wav " ]] ||
    fail "the installation folder holds $listing"
for sound in miss.wav tbhit.wav rlhit.wav; do
    cmp -s "$install/$sound" "$build/$sound" || fail "the installed $sound differs from the build's"
done
note "installed into $win_install"

# The shortcut starts Zarvo.exe in the installation folder; its target and
# working folder go to shortcut.txt.
python3 - "$shortcut" "$win_install" >"$work/shortcut.txt" <<'PY'
import struct, sys
path, folder = sys.argv[1:]
data = open(path, "rb").read()
assert struct.unpack_from("<I", data, 0)[0] == 0x4C, "not a shell link"
flags = struct.unpack_from("<I", data, 20)[0]
at = 0x4C
if flags & 0x1:  # HasLinkTargetIDList
    at += 2 + struct.unpack_from("<H", data, at)[0]
target = None
if flags & 0x2:  # HasLinkInfo: the target's local path
    size, header, info_flags, _, base = struct.unpack_from("<5I", data, at)
    assert info_flags & 0x1, "the link names no local path"
    target = data[at + base:data.index(b"\0", at + base)].decode("latin-1")
    at += size
strings = {}
for bit, name in ((0x4, "name"), (0x8, "relative path"), (0x10, "working folder"),
                  (0x20, "arguments"), (0x40, "icon")):
    if flags & bit:
        count = struct.unpack_from("<H", data, at)[0]
        width = 2 if flags & 0x80 else 1
        text = data[at + 2:at + 2 + count * width]
        # Wine counts the terminating NUL as well.
        strings[name] = text.decode("utf-16-le" if width == 2 else "latin-1").rstrip("\0")
        at += 2 + count * width
program = folder + "\\Zarvo.exe"
assert target is not None and target.lower() == program.lower(), f"the shortcut starts {target}, not {program}"
working = strings.get("working folder", "")
assert working.lower() == folder.lower(), f"the shortcut's working folder is {working!r}, not {folder}"
assert strings.get("arguments", "") == "", "the shortcut passes arguments"
print(target)
print(working)
PY
{ read -r shortcut_target; read -r shortcut_folder; } <"$work/shortcut.txt"
note "shortcut: $shortcut_target in $shortcut_folder"

# The entry in the list of installed programs, for this user only.
wine reg query "$uninstall_key" >"$work/uninstall-entry.txt" 2>/dev/null || fail "no uninstall entry under $uninstall_key"
python3 - "$work/uninstall-entry.txt" "$win_install" "$version" "$(du -sk "$install" | cut -f1)" <<'PY'
import sys
entry_file, folder, version, kib = sys.argv[1:]
values = {}
for line in open(entry_file, encoding="utf-8", errors="replace"):
    parts = line.strip().split(None, 2)
    if len(parts) >= 2 and parts[1].startswith("REG_"):
        values[parts[0]] = parts[2] if len(parts) == 3 else ""
uninstaller = f'"{folder}\\Uninstall.exe"'
expected = {"DisplayName": "Zarvo", "DisplayVersion": version, "Publisher": "Zarvo developers",
            "DisplayIcon": f"{folder}\\Zarvo.exe,0", "InstallLocation": folder,
            "UninstallString": uninstaller, "QuietUninstallString": f"{uninstaller} /S",
            "NoModify": "0x1", "NoRepair": "0x1"}
for name, value in expected.items():
    assert values.get(name) == value, f"{name} is {values.get(name)!r}, not {value!r}"
size = int(values["EstimatedSize"], 16)
assert abs(size - int(kib)) <= int(kib) // 10, f"EstimatedSize {size} KiB, the folder holds {kib} KiB"
print(f"uninstall entry: Zarvo {version}, {size} KiB")
PY
if wine reg query "${uninstall_key/HKCU/HKLM}" >/dev/null 2>&1; then
    fail "the installer wrote an entry for all users"
fi

# ---- Play, as the shortcut starts the game --------------------------------------
# Its target in its working folder (Wine's "start" of a shortcut does not
# wait for the program, nor give its exit status).
runs=1
game_dir=$install
(cd "$(unix_path "$shortcut_folder")" && WINEDEBUG=-all,trace+file exec timeout -s KILL 120 wine "$shortcut_target") \
    >"$work/wine.out" 2>&1 8>&- &
game_pid=$!
note "Zarvo.exe started as its shortcut starts it"
answer 'Start fullscreen\?' n
answer 'Left AI' Return   # Yes: the computer returns the ball
answer 'Right AI' Return  # No: nobody does, so points come
window=$(wait_window '^Zarvo$')
read -r cx cy cw ch < <(client_geometry "$window")
[[ "${cw}x${ch}" == 1152x864 ]] || fail "client area ${cw}x${ch} at 144 dots per inch, not 1152x864"
note "client area ${cw}x${ch} at 144 dots per inch"

poll 20 eval '(($(log_lines) >= 6))' || fail "vorn.txt in the installation folder did not reach 6 lines"
court=$(shot court)
walls=$(probe count "$court" "$cx" "$cy" "$cw" "$ch" 0,163,255)
((walls > 10000)) || fail "only $walls pixels of wall colour on the court"
expect_sounds_opened "$work/wine.out" Zarvo
note "court seen, all three sounds opened from the installation folder"
xdotool keydown Escape
wait_game_exit 15
xdotool keyup Escape
[[ $game_status == 27 ]] || fail "exit status after Escape is $game_status, not 27"
[[ -s $install/vorn.txt ]] || fail "no vorn.txt in the installation folder"

# ---- Uninstall -------------------------------------------------------------------
status=0
wine "$win_install\\Uninstall.exe" /S >"$work/uninstall.out" 2>&1 || status=$?
((status == 0)) || fail "the silent uninstaller ended with status $status"
# It carries on from its copy in the temporary folder: wait until every
# program of the prefix has ended.
wineserver -w
[[ ! -e $install ]] || fail "the installation folder is still there: $(ls -A "$install" | tr '\n' ' ')"
[[ ! -e $shortcut ]] || fail "the Start-menu shortcut is still there"
if wine reg query "$uninstall_key" >/dev/null 2>&1; then
    fail "the uninstall entry is still there"
fi
profile_files >"$work/files-after"
diff "$work/files-before" "$work/files-after" >&2 || fail "the uninstaller left the profile changed (above)"
wineserver -w
if grep -il zarvo "$wine_prefix"/*.reg >&2; then
    fail "the registry still names Zarvo"
fi
note "passed: nothing of Zarvo is left"
# The prefix is of no further use (a failed run keeps it to look into).
stop_wineserver
rm -rf "$wine_prefix"
