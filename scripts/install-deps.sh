#!/usr/bin/env bash
# Installs the Debian packages Tunvero needs, only those that are missing.
#   scripts/install-deps.sh                 build, run and test
#   scripts/install-deps.sh --screenshots   also what the screenshot scripts need
#   scripts/install-deps.sh --deb           also what building the Debian package needs
# Prints one line per step; apt's own output goes to a log file that is shown only on failure.
# Works as root or through sudo, with or without a terminal on stdin.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-multimedia-dev qt6-translations-l10n
    libmpg123-dev
    libgtest-dev libgmock-dev
    fonts-liberation2
    pulseaudio pulseaudio-utils
    sox libsox-fmt-mp3 lame
    desktop-file-utils appstream
)
for arg in "$@"; do
    case "$arg" in
    --screenshots) packages+=(xvfb xauth imagemagick x11-utils xdotool) ;;
    --deb) packages+=(dpkg-dev file) ;;
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
[[ $(id -u) -ne 0 ]] && as_root=(sudo "${as_root[@]}")

log=$(mktemp "${TMPDIR:-/tmp}/tunvero-install.XXXXXX.log")
# step TEXT COMMAND...: one line for the step; the command's output only when it fails.
step() {
    local text=$1
    shift
    printf '%s ... ' "$text"
    if "$@" </dev/null >>"$log" 2>&1; then
        echo "done"
    else
        echo "failed"
        echo "---- last lines of $log ----" >&2
        tail -n 40 "$log" >&2
        exit 1
    fi
}

echo "Tunvero needs ${#missing[@]} Debian packages: ${missing[*]}"
echo "A fresh Debian 12 needs about 320 packages in all (some 10-15 minutes on 2 cores)."
echo "apt's output goes to $log"
step "Reading the package lists" "${as_root[@]}" apt-get update -q
step "Installing (this is the long step)" "${as_root[@]}" apt-get install -y -q \
    -o Dpkg::Use-Pty=0 --no-install-recommends "${missing[@]}"
rm -f "$log"
