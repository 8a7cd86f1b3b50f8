#!/usr/bin/env bash
# Installs the Debian packages Tunvero needs, only those that are missing.
#   scripts/install-deps.sh            build, run and test
#   scripts/install-deps.sh --screenshots   also what the screenshot script needs
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-multimedia-dev qt6-translations-l10n
    libmpg123-dev
    libgtest-dev libgmock-dev
    fonts-liberation2
    pulseaudio pulseaudio-utils
    sox libsox-fmt-mp3 lame
)
if [[ "${1:-}" == "--screenshots" ]]; then
    packages+=(xvfb xauth imagemagick x11-utils xdotool)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
