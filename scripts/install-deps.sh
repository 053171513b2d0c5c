#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test the program.
# Installs only what is missing, so it is safe (and quick) to run again.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-svg-dev libgl-dev
    libplist-dev libsqlite3-dev
    libavformat-dev libavcodec-dev libavutil-dev libswresample-dev libswscale-dev
    libsdl2-dev libpulse-dev libsoxr-dev libsoundtouch-dev libtag1-dev
    libgtest-dev libgmock-dev
    dbus playerctl ffmpeg mpg123
    desktop-file-utils  # desktop-file-validate, in the install test
    appstream           # appstreamcli, in the install test
    groff-base          # groff checks the manual page in the install test
    # end-to-end test: X server, sound server with a null sink, recorder, analyser
    xvfb pulseaudio pulseaudio-utils python3
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Please run as root or install sudo: missing ${missing[*]}" >&2; exit 1; }
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
