#!/usr/bin/env python3
"""The Windows packages as a player gets them, made by cpack and tried under
Wine on Xvfb; run one by name:

    windows_packages.py zip BUILD_FOLDER VERSION SCRATCH_FOLDER WINE_PREFIX
    windows_packages.py installer BUILD_FOLDER VERSION SCRATCH_FOLDER

zip: the ZIP holds Zarvo.exe, the three sounds, README.txt and LICENSE.txt
(CR LF) in one folder, and once unpacked the game runs under Wine in that
folder: it opens its sounds there (seen in Wine's trace of file opens),
reaches the court and writes vorn.txt beside itself.

installer: on a 150 % screen, in a fresh prefix set to 144 dots per inch,
Zarvo-<version>-win64-setup.exe installs silently into the player's own
programs folder with a Start-menu shortcut and an entry in the list of
installed programs; the game started as the shortcut starts it shows a
1152x864 client area, opens its sounds and writes vorn.txt in the
installation folder; the silent uninstaller then leaves nothing behind.
"""

import glob
import os
import shutil
import struct
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
RESOURCES = os.path.join(HERE, os.pardir, os.pardir, "resources")
sys.dont_write_bytecode = True  # no __pycache__ in the source tree for the imports below
sys.path.insert(0, os.path.join(HERE, os.pardir, "e2e"))
sys.path.insert(0, os.path.join(HERE, os.pardir, "wine"))
from check_resources import RT_ICON, RT_MANIFEST, PeFile, icon_file_images  # noqa: E402
from zarvo_e2e import SOUND_FILES, WALL_BLUE, WineSession, check, run_script  # noqa: E402

ESCAPE_STATUS = 27
TRACE_FILE_OPENS = {"WINEDEBUG": "-all,trace+file"}


def cpack(generator, build, scratch):
    """The package files cpack makes with that generator, in a fresh scratch folder."""
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    with open(os.path.join(scratch, "cpack.log"), "w") as log:
        subprocess.run(["cpack", "-G", generator, "--config", os.path.join(build, "CPackConfig.cmake"),
                        "-B", os.path.join(scratch, "cpack")], stdout=log, check=True)


def play_to_the_court(session, folder_name, client_message):
    """Answers the questions (the computer returns the ball on the left,
    nobody on the right, so points come), waits past the splash (five ticks)
    for the court, for all three sounds opened from a folder of that name
    (wall and paddle bounces and misses each play theirs), and ends the game
    with Escape."""
    session.start_questions(fullscreen=False, left=True, right=False)
    client = session.client_geometry(session.wait_caption("Zarvo"))
    check(client[2:] == (1152, 864), f"client area {client[2]}x{client[3]}{client_message}, not 1152x864")
    session.wait_log_lines(6, 20, f"vorn.txt in {session.folder} did not reach 6 lines")
    walls = session.shot().count_near(WALL_BLUE, 0, client)
    check(walls > 10000, f"only {walls} pixels of wall colour on the court")
    session.expect_sounds_opened(folder_name)
    status = session.press_escape_and_wait_exit(15)
    check(status == ESCAPE_STATUS, f"exit status after Escape is {status}, not {ESCAPE_STATUS}")
    print(f"court seen, all three sounds opened from {session.folder}")


def zip_package(build, version, scratch, prefix):
    cpack("ZIP", build, scratch)
    zips = glob.glob(os.path.join(scratch, "cpack", "Zarvo-*-win64.zip"))
    check(zips, "cpack made no Zarvo-*-win64.zip")
    folder = os.path.basename(zips[0])[:-len(".zip")]
    archive = zipfile.ZipFile(zips[0])
    names = sorted(name for name in archive.namelist() if not name.endswith("/"))
    expected = sorted(f"{folder}/{name}" for name in ("Zarvo.exe", "README.txt", "LICENSE.txt") + SOUND_FILES)
    check(names == expected, f"the ZIP holds {names}, expected {expected}")
    for sound in SOUND_FILES:
        with open(os.path.join(RESOURCES, sound), "rb") as original:
            check(archive.read(f"{folder}/{sound}") == original.read(), f"{sound} in the ZIP differs from resources/")
    readme, licence = archive.read(f"{folder}/README.txt"), archive.read(f"{folder}/LICENSE.txt")
    for name, text in (("README.txt", readme), ("LICENSE.txt", licence)):
        check(text.count(b"\r\n") > 20 and b"\n" not in text.replace(b"\r\n", b""), f"{name} lines do not end in CR LF")
    check(b"Zarvo.exe" in readme and b"@" not in readme, "README.txt is not filled in")
    check(licence.startswith(b"MIT License\r\n") and b"LICENSE.txt" in readme, "the licence is missing or not named")
    check(archive.read(f"{folder}/Zarvo.exe")[:2] == b"MZ", "Zarvo.exe is not a Windows program")
    archive.extractall(scratch)
    unpacked = os.path.join(scratch, folder)

    with WineSession("windows-zip", prefix=prefix, program=os.path.join(unpacked, "Zarvo.exe"),
                     keep=os.path.join(scratch, "failed")) as session:
        # As a user would: started in the unpacked folder, with nothing copied in.
        session.start_game(folder=unpacked, program="Zarvo.exe", env=TRACE_FILE_OPENS)
        play_to_the_court(session, folder, "")
        lines = session.log_line_count()
        check(lines >= 6, f"vorn.txt holds {lines} lines")


def shortcut_target(path, folder):
    """The program a shell link starts and its working folder; both must be
    the installation folder's."""
    with open(path, "rb") as link:
        data = link.read()
    check(struct.unpack_from("<I", data, 0)[0] == 0x4C, "not a shell link")
    flags = struct.unpack_from("<I", data, 20)[0]
    at = 0x4C
    if flags & 0x1:  # HasLinkTargetIDList
        at += 2 + struct.unpack_from("<H", data, at)[0]
    target = None
    if flags & 0x2:  # HasLinkInfo: the target's local path
        size, _, info_flags, _, base = struct.unpack_from("<5I", data, at)
        check(info_flags & 0x1, "the link names no local path")
        target = data[at + base:data.index(b"\0", at + base)].decode("latin-1")
        at += size
    strings = {}
    for bit, name in ((0x4, "name"), (0x8, "relative path"), (0x10, "working folder"), (0x20, "arguments"),
                      (0x40, "icon")):
        if flags & bit:
            count = struct.unpack_from("<H", data, at)[0]
            width = 2 if flags & 0x80 else 1
            text = data[at + 2:at + 2 + count * width]
            # Wine counts the terminating NUL as well.
            strings[name] = text.decode("utf-16-le" if width == 2 else "latin-1").rstrip("\0")
            at += 2 + count * width
    program = folder + "\\Zarvo.exe"
    check(target is not None and target.lower() == program.lower(), f"the shortcut starts {target}, not {program}")
    working = strings.get("working folder", "")
    check(working.lower() == folder.lower(), f"the shortcut's working folder is {working!r}, not {folder}")
    check(strings.get("arguments", "") == "", "the shortcut passes arguments")
    return target, working


def check_uninstall_entry(query_output, folder, version, kib):
    values = {}
    for line in query_output.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2] if len(parts) == 3 else ""
    uninstaller = f'"{folder}\\Uninstall.exe"'
    expected = {"DisplayName": "Zarvo", "DisplayVersion": version, "Publisher": "Zarvo developers",
                "DisplayIcon": f"{folder}\\Zarvo.exe,0", "InstallLocation": folder,
                "UninstallString": uninstaller, "QuietUninstallString": f"{uninstaller} /S",
                "NoModify": "0x1", "NoRepair": "0x1"}
    for name, value in expected.items():
        check(values.get(name) == value, f"{name} is {values.get(name)!r}, not {value!r}")
    size = int(values["EstimatedSize"], 16)
    check(abs(size - kib) <= kib // 10, f"EstimatedSize {size} KiB, the folder holds {kib} KiB")
    print(f"uninstall entry: Zarvo {version}, {size} KiB")


def installer(build, version, scratch):
    cpack("NSIS", build, scratch)
    setup = os.path.join(scratch, "cpack", f"Zarvo-{version}-win64-setup.exe")
    check(os.path.isfile(setup), f"cpack made no {os.path.basename(setup)}")
    # A 64-bit program (this Wine runs no other), asking for no administrator
    # rights, with the game's icon.
    with open(setup, "rb") as program:
        pe = PeFile(program.read())
    check((pe.machine, pe.magic) == (0x8664, 0x20B), "the installer is not a 64-bit program")
    tree = pe.resources()
    manifest = next(iter(tree[RT_MANIFEST][1].values()))
    check(b'requestedExecutionLevel level="asInvoker"' in manifest, "the installer asks for more rights")
    icons = {data for languages in tree[RT_ICON].values() for data in languages.values()}
    check(icons == set(icon_file_images(os.path.join(RESOURCES, "zarvo.ico"))),
          "the installer's icon is not the game's")

    # The prefix is made anew: the installer meets a system it has never seen.
    # The shortcut would otherwise also become a menu entry of this machine.
    prefix = os.path.join(scratch, "prefix")
    with WineSession("windows-installer", prefix=prefix, program=os.path.join(build, "Zarvo.exe"),
                     keep=os.path.join(scratch, "failed"), more_overrides=";winemenubuilder.exe=") as session:
        def wine(*command):
            result = session.wine(*command)
            return result.returncode, result.stdout.replace("\r", "")

        def windows_folder(name):
            return wine("cmd", "/c", f"echo %{name}%")[1].strip()

        def unix_path(windows_path):
            return subprocess.run(["winepath", "-u", windows_path], env=session.environment(), capture_output=True,
                                  text=True).stdout.strip()

        def profile_files():
            """Every file of the player's profile but the temporary folder: the
            uninstaller runs from a copy there, which it cannot delete while
            it runs."""
            found = []
            for root, folders, files in os.walk(profile):
                if root == profile and "Temp" in folders:
                    folders.remove("Temp")
                found += [os.path.relpath(os.path.join(root, name), profile) for name in files]
            return sorted(found)

        wine_code = session.wine("reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                                 "/d", "144", "/f", display=False).returncode
        check(wine_code == 0, "the prefix could not be set to 144 dots per inch")
        # The wineserver started without the display must not serve the game.
        session.stop_wineserver()
        profile = unix_path(windows_folder("USERPROFILE"))
        win_install = windows_folder("LOCALAPPDATA") + "\\Programs\\Zarvo"
        install = unix_path(win_install)
        shortcut = unix_path(windows_folder("APPDATA") + "\\Microsoft\\Windows\\Start Menu\\Programs\\Zarvo.lnk")
        uninstall_key = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zarvo"

        # Something of the player's beside the installation, which must stay.
        os.makedirs(os.path.join(os.path.dirname(install), "Other"))
        with open(os.path.join(os.path.dirname(install), "Other", "keep.txt"), "w") as mine:
            mine.write("mine\n")
        files_before = profile_files()

        status = wine(setup, "/S")[0]
        check(status == 0, f"the silent installer ended with status {status}")
        listing = sorted(os.path.relpath(os.path.join(root, name), install)
                         for root, _, files in os.walk(install) for name in files)
        check(listing == sorted(("LICENSE.txt", "README.txt", "Uninstall.exe", "Zarvo.exe") + SOUND_FILES),
              f"the installation folder holds {listing}")
        for sound in SOUND_FILES:
            with open(os.path.join(install, sound), "rb") as installed, open(os.path.join(build, sound), "rb") as built:
                check(installed.read() == built.read(), f"the installed {sound} differs from the build's")
        print(f"installed into {win_install}")

        target, working = shortcut_target(shortcut, win_install)
        print(f"shortcut: {target} in {working}")
        # The entry in the list of installed programs, for this user only.
        status, entry = wine("reg", "query", uninstall_key)
        check(status == 0, f"no uninstall entry under {uninstall_key}")
        kib = int(subprocess.run(["du", "-sk", install], capture_output=True, text=True, check=True).stdout.split()[0])
        check_uninstall_entry(entry, win_install, version, kib)
        check(wine("reg", "query", uninstall_key.replace("HKCU", "HKLM"))[0] != 0,
              "the installer wrote an entry for all users")

        # Its target in its working folder (Wine's "start" of a shortcut does
        # not wait for the program, nor give its exit status).
        session.start_game(folder=unix_path(working), program=target, env=TRACE_FILE_OPENS)
        play_to_the_court(session, "Zarvo", " at 144 dots per inch")
        check(os.path.getsize(os.path.join(install, "vorn.txt")) > 0, "no vorn.txt in the installation folder")

        status = wine(win_install + "\\Uninstall.exe", "/S")[0]
        check(status == 0, f"the silent uninstaller ended with status {status}")
        # It carries on from its copy in the temporary folder: wait until
        # every program of the prefix has ended.
        subprocess.run(["wineserver", "-w"], env=session.environment(), timeout=120)
        check(not os.path.exists(install), "the installation folder is still there")
        check(not os.path.exists(shortcut), "the Start-menu shortcut is still there")
        check(wine("reg", "query", uninstall_key)[0] != 0, "the uninstall entry is still there")
        files_after = profile_files()
        check(files_after == files_before, "the uninstaller left the profile changed: "
              f"{sorted(set(files_before) ^ set(files_after))}")
        subprocess.run(["wineserver", "-w"], env=session.environment(), timeout=120)
        naming = []
        for hive in glob.glob(os.path.join(prefix, "*.reg")):
            with open(hive, encoding="utf-8", errors="replace") as text:
                if "zarvo" in text.read().lower():
                    naming.append(hive)
        check(not naming, f"the registry still names Zarvo: {naming}")
    print("nothing of Zarvo is left")
    # The prefix is of no further use (a failed run keeps it to look into).
    shutil.rmtree(prefix, ignore_errors=True)


def main():
    if sys.argv[1:2] == ["zip"] and len(sys.argv) == 6:
        zip_package(os.path.realpath(sys.argv[2]), *sys.argv[3:])
    elif sys.argv[1:2] == ["installer"] and len(sys.argv) == 5:
        installer(os.path.realpath(sys.argv[2]), *sys.argv[3:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    run_script(main)
