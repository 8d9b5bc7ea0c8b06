#!/usr/bin/env bash
# Installs, with apt-get, whatever this machine lacks of one of two sets:
#   tools/install-deps.sh play   building the Linux game and playing it (with
#                                Xvfb for the recorded demo when there is no
#                                display): what tools/play.sh needs
#   tools/install-deps.sh        everything the whole test run needs: the play
#                                set, then the test tools, the Windows, arm64
#                                and desktop tools on top
# Safe to run again: installed packages are skipped. The same lists serve
# Debian 12, 13 and testing: where a release differs, the package is chosen
# from what it has (its default clang), and a package it lacks altogether
# (Wine on testing at times) is named in one line and left out; the tests
# that need it then skip, saying why.
set -euo pipefail

set_name=${1:-test}
case $set_name in
  play|test) ;;
  *) echo "usage: $0 [play|test]" >&2; exit 2 ;;
esac

play_packages=(
  build-essential cmake pkg-config
  libsdl2-dev libgl1-mesa-dev libglu1-mesa-dev zlib1g-dev libx11-dev
  # The demo on a virtual display: Xvfb, the question answers (xdotool), the
  # display check (xdpyinfo), the pictures (ImageMagick) and the screen read
  # straight from the server (XCB).
  xvfb xdotool x11-utils imagemagick libxcb1 python3
  # SDL draws its question boxes on X with core fonts in ISO 10646; a bare
  # X server (Xvfb) has only "fixed" in ISO 8859-1, and every box fails.
  xfonts-base
)

test_packages=(
  libgtest-dev libbenchmark-dev libegl-dev
  # Most desktops have zenity, SDL's second way of showing a question box; the
  # tests that need it absent hide it themselves.
  zenity
  # Windows: the cross compiler (posix threads), GoogleTest's sources, Wine
  # for the tests.
  g++-mingw-w64-x86-64-posix googletest wine wine64
  # Packaging: the .deb's library dependencies, and Debian's checks of the
  # .deb (lintian), its menu entry, software-centre entry and manual page.
  dpkg-dev desktop-file-utils lintian appstream man-db
  # The Windows installer: makensis, with its 64-bit stubs (nsis-common).
  nsis
  # arm64: the cross compilers, and qemu to run the programs (registered with
  # the kernel through qemu-user-binfmt's /usr/lib/binfmt.d/qemu-aarch64.conf).
  crossbuild-essential-arm64 qemu-user qemu-user-binfmt
  # The desktops the game is tried on: openbox, GNOME's and KDE's Wayland
  # compositors with XWayland and a D-Bus session for each, and what drives
  # them (wmctrl; xrandr of x11-xserver-utils for display modes; python3-gi
  # for mutter's remote desktop keyboard, which reaches native Wayland boxes).
  # KWin's own window frames, as every Plasma desktop has them: without them
  # KWin has Wayland windows draw their own, and SDL 2.32's never appears.
  openbox mutter kwin-wayland kwin-style-breeze xwayland dbus-user-session wmctrl x11-xserver-utils python3-gi
  # setxkbmap, for the keyboard layouts a player switches between.
  x11-xkb-utils
  # The sound loader's fuzz target (the release's clang and its libFuzzer),
  # and hardening-check.
  clang libclang-rt-dev devscripts
  # The other Debian releases the suite tries the game on, and the clones
  # its tests make.
  debootstrap git
  # The suite builds the same sources in every preset, clone and root:
  # ccache keeps the compiles it has seen.
  ccache
  # The sound servers players run, which the sound tests start headless:
  # PipeWire as GNOME and KDE run it, and PulseAudio, with pactl and a D-Bus
  # daemon; the tests record the sink with libpulse-simple. The two servers
  # co-install. pulseaudio adds /etc/alsa/conf.d/99-pulse.conf, which sends
  # ALSA's default device to PulseAudio; the tests that want no sound device
  # name SDL's driver themselves.
  pipewire pipewire-bin wireplumber pipewire-pulse libspa-0.2-modules pulseaudio pulseaudio-utils dbus-daemon
  libpulse-dev
  # The latency benchmark presses the game's keys as a keyboard does (XTest).
  libxtst-dev
)

# Packages a release may lack; the tests that need them skip without them.
optional_packages=(wine wine64)

# Packages of the foreign architecture arm64; adding it comes first.
arm64_packages=(
  libsdl2-dev:arm64 libgl-dev:arm64 libglu1-mesa-dev:arm64 libegl-dev:arm64 zlib1g-dev:arm64
  libx11-dev:arm64
)

wanted=("${play_packages[@]}")
if [[ $set_name == test ]]; then
  wanted+=("${test_packages[@]}" "${arm64_packages[@]}")
fi

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
is_optional() {
  local optional
  for optional in "${optional_packages[@]}"; do
    [[ $1 == "$optional" ]] && return 0
  done
  return 1
}
# Whether the package lists offer a version of the package.
offered() {
  [[ -n $(apt-cache policy "$1" 2>/dev/null | sed -n 's/^ *Candidate: //p' | grep -vx '(none)') ]]
}

missing=()
for package in "${wanted[@]}"; do
  installed "$package" || missing+=("$package")
done
((${#missing[@]})) || exit 0

if [[ $(id -u) -ne 0 ]]; then
  echo "Some packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if [[ $set_name == test ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  dpkg --add-architecture arm64
fi
apt-get update -qq
to_install=()
for package in "${missing[@]}"; do
  if is_optional "$package" && ! offered "$package"; then
    echo "Not in this release: $package (the tests that need it are skipped)"
  else
    to_install+=("$package")
  fi
done
if ((${#to_install[@]})); then
  echo "Installing: ${to_install[*]}"
  # Another install in the same system (a release root shared by two runs)
  # holds dpkg's lock for a while: wait for it rather than fail.
  apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 "${to_install[@]}" >/dev/null
fi
