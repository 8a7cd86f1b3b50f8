#!/usr/bin/env bash
# Installs the Debian packages Tunvero needs, only those that are missing.
#   scripts/install-deps.sh                 build, run and test
#   scripts/install-deps.sh --screenshots   also what the screenshot scripts need
#   scripts/install-deps.sh --deb           also what building the Debian package needs
#   scripts/install-deps.sh --lint          also what the style checks need
# Prints one line per step; apt's own output goes to a log file that is shown only on failure.
# Works as root or through sudo, with or without a terminal on stdin.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-multimedia-dev qt6-translations-l10n
    libmpg123-dev libpulse-dev
    libgtest-dev libgmock-dev
    fonts-liberation2
    pulseaudio pulseaudio-utils
    sox libsox-fmt-mp3 lame
    python3
    desktop-file-utils appstream
    # A private PipeWire for the sync benchmark and the whole-program tests.
    pipewire pipewire-pulse wireplumber dbus-daemon
)
for arg in "$@"; do
    case "$arg" in
    --screenshots) packages+=(xvfb xauth imagemagick x11-utils xdotool) ;;
    --deb) packages+=(dpkg-dev file) ;;
    --lint) packages+=(clang-format) ;;
    *)
        echo "unknown option: $arg" >&2
        exit 2
        ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

# sudo drops most of the caller's environment, so the frontend is set on sudo's side.
as_root=(env DEBIAN_FRONTEND=noninteractive)
if [[ $(id -u) -ne 0 ]]; then
    if ! command -v sudo >/dev/null; then
        echo "Missing Debian packages: ${missing[*]}; run this as root or install sudo." >&2
        exit 1
    fi
    as_root=(sudo "${as_root[@]}")
    # A rule without a password needs no question (`sudo -v` would ask anyway when another
    # rule for the user wants one). Otherwise ask here, in plain view, not in the middle of a
    # quiet step, and only where someone can answer.
    if ! sudo -n true 2>/dev/null; then
        if ! { : </dev/tty; } 2>/dev/null; then
            echo "Missing Debian packages: ${missing[*]}." >&2
            echo "sudo needs a password and there is no terminal to ask for it on: run this command" >&2
            echo "in a terminal, or as root, or install them first with" >&2
            echo "  sudo apt-get install --no-install-recommends ${missing[*]}" >&2
            exit 1
        fi
        sudo true
    fi
fi

log=$(mktemp "${TMPDIR:-/tmp}/tunvero-install.XXXXXX.log")
# shellcheck source=lib/steps.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/steps.sh"

echo "Tunvero needs these Debian packages: ${missing[*]}"
echo "apt's output goes to $log"
step "Reading the package lists" "${as_root[@]}" apt-get update -q
# Some 2.5 seconds a package on 2 cores, most of it unpacking and setting up.
count=$(apt-get install -s --no-install-recommends "${missing[@]}" 2>/dev/null | grep -c '^Inst ' || true)
echo "With their dependencies: $count packages, about $(((count * 5 / 2 + 59) / 60)) min."
step "Installing (this is the long step)" "${as_root[@]}" apt-get install -y -q \
    -o Dpkg::Use-Pty=0 --no-install-recommends "${missing[@]}"
rm -f "$log"
