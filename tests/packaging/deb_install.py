#!/usr/bin/env python3
"""The .deb as a Debian user gets it:

    deb_install.py BUILD_FOLDER RESOURCES_FOLDER VERSION
    deb_install.py PACKAGE.deb RESOURCES_FOLDER VERSION

cpack makes it from the build (or it is given: one built on another Debian
release) and its control fields are checked; apt-get
installs it on this machine (root only), the menu entry's command is
started under Xvfb as a player's session would (their PATH, HOME in a scratch
folder), the questions are answered and the splash is seen; the player's
folder then holds the sounds and vorn.txt. The menu entry passes
desktop-file-validate, the icons have their sizes and `man` finds the manual
page. apt-get remove then takes the package away again, leaving nothing.
"""

import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import zarvo_e2e  # noqa: E402
from zarvo_e2e import Session, check, check_log, run_script, shows_splash, wait_until  # noqa: E402
from scenarios import FIRST_FRAME_SECONDS  # noqa: E402

SKIP = 77
SOUNDS = ("miss.wav", "tbhit.wav", "rlhit.wav")
APT = ["apt-get", "-y", "-q", "-o", "DPkg::Lock::Timeout=120"]
# A Debian player's PATH (/etc/profile): games live in /usr/games.
PLAYER_PATH = "/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games"
SOUND_FOLDER = "/usr/share/games/zarvo"


def installed():
    status = subprocess.run(["dpkg-query", "-W", "-f=${Status}", "zarvo"], capture_output=True, text=True)
    return status.returncode == 0 and "ok installed" in status.stdout


def apt(*arguments, cwd=None):
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    result = subprocess.run(APT + list(arguments), cwd=cwd, env=env, capture_output=True, text=True, timeout=300)
    check(result.returncode == 0, f"apt-get {' '.join(arguments)} failed:\n{result.stdout}{result.stderr}")


def png_size(path):
    with open(path, "rb") as png:
        header = png.read(24)
    check(header[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG file")
    return struct.unpack(">II", header[16:24])


def build_package(build, scratch):
    subprocess.run(["cpack", "-G", "DEB", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", scratch],
                   check=True, stdout=subprocess.DEVNULL)
    packages = glob.glob(os.path.join(scratch, "zarvo_*.deb"))
    check(len(packages) == 1, f"cpack made {packages}")
    return packages[0]


def check_fields(package, version):
    fields = {}
    for name in ("Package", "Version", "Section", "Maintainer", "Description", "Depends", "Recommends"):
        fields[name] = subprocess.run(["dpkg-deb", "-f", package, name], capture_output=True, text=True,
                                      check=True).stdout.strip()
    check(fields["Package"] == "zarvo", f"package name {fields['Package']}")
    check(fields["Version"] == version, f"version {fields['Version']}, the project's is {version}")
    check(fields["Section"] == "games", f"section {fields['Section']}")
    check(re.search(r"<[^@>]+@[^>]+>", fields["Maintainer"]), f"maintainer {fields['Maintainer']!r}")
    check(fields["Description"].count("\n") >= 1, "no long description")
    depends = [alternative.split()[0] for group in fields["Depends"].split(",")
               for alternative in group.split("|")]
    for library in ("libsdl2-2.0-0", "libgl1", "libglu1-mesa", "libstdc++6", "libc6"):
        check(library in depends, f"Depends lacks {library}: {fields['Depends']}")
    check(fields["Recommends"] == "xfonts-base | zenity", f"Recommends: {fields['Recommends']}")
    print(f"{os.path.basename(package)}: Depends: {fields['Depends']}")


def listed_files():
    return set(subprocess.run(["dpkg", "-L", "zarvo"], capture_output=True, text=True, check=True).stdout.split())


def check_installed_files(resources, listed):
    launcher = shutil.which("zarvo", path=PLAYER_PATH)
    check(launcher == "/usr/games/zarvo", f"the command zarvo is {launcher}")
    expected = ["/usr/games/zarvo", "/usr/lib/games/zarvo/zarvo", "/usr/share/applications/zarvo.desktop",
                "/usr/share/doc/zarvo/copyright", "/usr/share/man/man6/zarvo.6.gz"]
    expected += [f"{SOUND_FOLDER}/{sound}" for sound in SOUNDS]
    icons = {size: f"/usr/share/icons/hicolor/{size}x{size}/apps/zarvo.png" for size in (16, 32, 48)}
    for path in expected + list(icons.values()):
        check(path in listed and os.path.isfile(path), f"{path} was not installed")
    for size, path in icons.items():
        check(png_size(path) == (size, size), f"{path} is {png_size(path)}, not {size}x{size}")
    for sound in SOUNDS:
        with open(f"{SOUND_FOLDER}/{sound}", "rb") as a, open(os.path.join(resources, sound), "rb") as b:
            check(a.read() == b.read(), f"the installed {sound} differs from resources/")

    validation = subprocess.run(["desktop-file-validate", "/usr/share/applications/zarvo.desktop"],
                                capture_output=True, text=True)
    check(validation.returncode == 0 and not (validation.stdout + validation.stderr).strip(),
          f"desktop-file-validate: {validation.stdout}{validation.stderr}")
    with open("/usr/share/applications/zarvo.desktop") as entry:
        text = entry.read()
    for line in ("Type=Application", "Name=Zarvo", "Exec=zarvo", "Icon=zarvo", "Terminal=false",
                 "Categories=Game;ArcadeGame;"):
        check(re.search(f"^{re.escape(line)}$", text, re.M), f"the menu entry lacks {line}")

    manual = subprocess.run(["man", "-P", "cat", "zarvo"], capture_output=True, text=True,
                            env=dict(os.environ, MANWIDTH="80", PATH=PLAYER_PATH))
    check(manual.returncode == 0 and re.search(r"^NAME\n +zarvo - ", manual.stdout, re.M),
          f"man zarvo: {manual.stdout[:300]}{manual.stderr}")


def menu_command():
    """The command of the installed menu entry (Exec=, no field codes)."""
    with open("/usr/share/applications/zarvo.desktop") as entry:
        return re.search(r"^Exec=(\S+)$", entry.read(), re.M).group(1)


def play_installed(resources, home):
    zarvo_e2e.GAME = menu_command()
    player_folder = os.path.join(home, ".local", "share", "zarvo")
    # Started in an empty folder, as from a menu: the launcher goes to the
    # player's own folder.
    with Session("deb", sounds=(), env={"HOME": home, "XDG_DATA_HOME": "", "PATH": PLAYER_PATH}) as session:
        session.start_game()
        session.answer("Start fullscreen?", "Escape")  # No
        session.answer("Left AI", "Return")  # Yes
        session.answer("Right AI", "Return")  # No
        session.wait_game_window()
        check(session.wait_shot(shows_splash, timeout=FIRST_FRAME_SECONDS) is not None, "no splash")
        log = os.path.join(player_folder, "vorn.txt")

        def logged():
            return os.path.exists(log) and os.path.getsize(log) > 0
        check(wait_until(logged, timeout=5), f"nothing was logged in {log}")
        status = session.press_escape_and_wait_exit()
        check(status == 27, f"exit status {status} after Escape, expected 27")
        check(not os.path.exists(os.path.join(session.folder, "vorn.txt")), "vorn.txt was written where it started")
    with open(log) as lines:
        check_log(lines.read().splitlines(), at_least=1)
    for sound in SOUNDS:
        with open(os.path.join(player_folder, sound), "rb") as a, open(os.path.join(resources, sound), "rb") as b:
            check(a.read() == b.read(), f"{sound} in {player_folder} differs from resources/")
    print(f"the installed game ran in {player_folder}:", " ".join(sorted(os.listdir(player_folder))))


def main():
    build, resources, version = sys.argv[1:4]
    if os.geteuid() != 0:
        print("SKIP: installing the .deb with apt-get needs root")
        sys.exit(SKIP)
    if installed():
        print("SKIP: a zarvo package is installed on this machine already; this test installs and removes "
              "its own, so it leaves that one alone")
        sys.exit(SKIP)
    scratch = tempfile.mkdtemp(prefix="zarvo-deb-")
    try:
        if build.endswith(".deb"):
            package = shutil.copy(build, scratch)
        else:
            package = build_package(build, os.path.join(scratch, "cpack"))
        check_fields(package, version)
        try:
            apt("install", "./" + os.path.basename(package), cwd=os.path.dirname(package))
            check(installed(), "apt-get install did not install zarvo")
            installed_paths = listed_files()
            check_installed_files(resources, installed_paths)
            home = os.path.join(scratch, "home")
            os.mkdir(home)
            play_installed(resources, home)
        finally:
            if installed():
                apt("remove", "zarvo")
        check(not installed(), "apt-get remove left zarvo installed")
        own_folders = ("/usr/lib/games/zarvo", SOUND_FOLDER, "/usr/share/doc/zarvo")
        left = [path for path in installed_paths if os.path.lexists(path) and not os.path.isdir(path)]
        left += [folder for folder in own_folders if os.path.lexists(folder)]
        check(not left, f"apt-get remove left {left}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    run_script(main)
