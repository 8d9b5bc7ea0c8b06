#!/usr/bin/env bash
# Installs, with apt-get, whatever the build and the tests need and this
# machine lacks. Safe to run again: installed packages are skipped.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libbenchmark-dev
  libsdl2-dev libgl1-mesa-dev libglu1-mesa-dev libosmesa6-dev
  zlib1g-dev
  xvfb xdotool x11-utils imagemagick
  # Linux end-to-end tests: Xlib for the close-request tool.
  libx11-dev
  # Windows: the cross compiler (posix threads), GoogleTest's sources, Wine
  # for the tests, Python for the resource checks.
  g++-mingw-w64-x86-64-posix googletest wine wine64 python3
  # Packaging: the .deb's library dependencies, and Debian's checks of the
  # .deb (lintian), its menu entry, software-centre entry and manual page.
  dpkg-dev desktop-file-utils lintian appstream man-db
  # The Windows installer: makensis, with its 64-bit stubs (nsis-common).
  nsis
  # SDL draws its question boxes on X with core fonts in ISO 10646; a bare
  # X server (Xvfb) has only "fixed" in ISO 8859-1, and every box fails.
  xfonts-base
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then
    echo "Some packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
