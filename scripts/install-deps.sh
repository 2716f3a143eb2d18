#!/usr/bin/env bash
# Installs everything needed to build, run and test on Debian 12.
# Safe to run again; works as root or through sudo.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
        echo "install-deps: run as root or install sudo" >&2; exit 1
    fi
fi

PKGS=(
    build-essential cmake ninja-build pkg-config git
    clang libclang-rt-dev clang-format
    qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools qttranslations5-l10n libqt5serialport5-dev
    libqt5x11extras5-dev libx11-dev libxcb1-dev
    portaudio19-dev libasound2-dev libasound2-plugins
    libhidapi-dev libhidapi-hidraw0 libudev-dev
    libbenchmark-dev
    xvfb xauth trayer x11-utils xdotool
    pulseaudio pulseaudio-utils alsa-utils
    libhamlib-dev libhamlib-utils
    espeak-ng sox
    dpkg-dev lintian file imagemagick python3
)

missing=()
for p in "${PKGS[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages present"
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
