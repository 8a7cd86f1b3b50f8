#!/usr/bin/env bash
# Checks a built Tunvero package with lintian (no error or warning may remain), then installs it
# the way a user would (apt-get install ./tunvero_*.deb, which
# pulls in its dependencies), starts the installed program under Xvfb as a new user with an
# empty home, and checks what a first start must do:
#   - the download-folder question appears            screenshots/deb-question.png
#   - accepting the default opens the window          screenshots/deb-window.png
#   - ~/TunveroMusic/ exists (not world-writable) and the settings file is in ~/.config/Tunvero/
# A package that was not installed before is removed again at the end.
#
#   bash scripts/check-deb.sh build-deb/tunvero_0.1_amd64.deb
#   bash scripts/check-deb.sh --clean build-deb/tunvero_0.1_amd64.deb
# --clean runs the same check inside a fresh minimal Debian 12 made with debootstrap (needs root
# and the Debian mirror), so that a dependency the package forgets to name shows up. No mount
# covers that system's "/", which also exercises the download folder's fallback.
set -euo pipefail
cd "$(dirname "$0")/.."

clean=false
lint=true
while [[ "${1:-}" == --* ]]; do
    case "$1" in
    --clean) clean=true ;;
    # Inside the fresh system the package was already checked outside it.
    --no-lint) lint=false ;;
    *)
        echo "unknown option: $1" >&2
        exit 2
        ;;
    esac
    shift
done
deb=${1:?usage: scripts/check-deb.sh [--clean] PACKAGE.deb}
[[ -f "$deb" ]] || { echo "no such package: $deb" >&2; exit 1; }
deb=$(realpath "$deb")
out=$PWD/screenshots
mkdir -p "$out"

as_root=(env DEBIAN_FRONTEND=noninteractive)
[[ $(id -u) -ne 0 ]] && as_root=(sudo "${as_root[@]}")

log=$(mktemp "${TMPDIR:-/tmp}/tunvero-check-deb.XXXXXX.log")
# shellcheck source=lib/steps.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/steps.sh"

if $lint; then
    if ! command -v lintian >/dev/null; then
        step "Reading the package lists" "${as_root[@]}" apt-get update -q
        step "Installing lintian" "${as_root[@]}" apt-get install -y -q -o Dpkg::Use-Pty=0 \
            --no-install-recommends lintian
    fi
    # Informational notes are shown; errors and warnings fail the check.
    lint_status=0
    lint_out=$(lintian --display-info --fail-on error,warning "$deb" 2>&1) || lint_status=$?
    grep -v 'running with root privileges' <<<"$lint_out" || true
    ((lint_status == 0)) || { echo "FAILED: lintian found errors or warnings in $deb" >&2; exit 1; }
    echo "lintian: no errors or warnings in $(basename "$deb")."
fi

if $clean; then
    root=$(mktemp -d /var/tmp/tunvero-debian12.XXXXXX)
    cleanup_root() { "${as_root[@]}" rm -rf --one-file-system "$root"; }
    trap cleanup_root EXIT
    mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
    step "Installing debootstrap" "${as_root[@]}" apt-get install -y -q --no-install-recommends debootstrap
    step "Making a minimal Debian 12 in $root" "${as_root[@]}" debootstrap --variant=minbase bookworm "$root" "$mirror"
    "${as_root[@]}" mkdir -p "$root/check/scripts/lib"
    "${as_root[@]}" cp "$deb" "$root/check/"
    "${as_root[@]}" cp scripts/check-deb.sh "$root/check/scripts/"
    "${as_root[@]}" cp scripts/lib/xvfb.sh "$root/check/scripts/lib/"
    echo "Running the check inside it (apt's output goes to a log inside it)"
    "${as_root[@]}" chroot "$root" /bin/bash /check/scripts/check-deb.sh --no-lint "/check/$(basename "$deb")"
    cp "$root"/check/screenshots/deb-*.png "$out/"
    echo "Screenshots copied to $out/"
    exit 0
fi

source scripts/lib/xvfb.sh

was_installed=false
dpkg-query -W -f='${Status}' tunvero 2>/dev/null | grep -q "install ok installed" && was_installed=true

app=""
xvfb_pid=""
home=$(mktemp -d /tmp/tunvero-newuser.XXXXXX)
cleanup() {
    [[ -n "$app" ]] && kill "$app" 2>/dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$home"
    if ! $was_installed; then
        "${as_root[@]}" apt-get remove -y -q tunvero </dev/null >>"$log" 2>&1 || true
    fi
}
trap cleanup EXIT

# The package lists may be missing on a fresh system.
step "Reading the package lists" "${as_root[@]}" apt-get update -q
step "Installing the tools of the check (Xvfb, xdotool, ImageMagick)" "${as_root[@]}" apt-get install -y -q \
    -o Dpkg::Use-Pty=0 --no-install-recommends xvfb xauth x11-utils xdotool imagemagick
step "Installing $(basename "$deb") and its dependencies" "${as_root[@]}" apt-get install -y -q \
    -o Dpkg::Use-Pty=0 --no-install-recommends "$deb"

fail() {
    echo "FAILED: $*" >&2
    exit 1
}
[[ -x /usr/bin/tunvero ]] || fail "/usr/bin/tunvero is not installed"
for f in /usr/share/applications/se.tunvero.Tunvero.desktop /usr/share/metainfo/se.tunvero.Tunvero.metainfo.xml \
    /usr/share/icons/hicolor/scalable/apps/tunvero.svg /usr/share/icons/hicolor/48x48/apps/tunvero.png \
    /usr/share/man/man1/tunvero.1.gz; do
    [[ -f "$f" ]] || fail "$f is not installed"
done

start_xvfb 1024x768
# A new user: an empty home, and no config folder of the caller's.
env -u XDG_CONFIG_HOME HOME="$home" LANG=C.UTF-8 /usr/bin/tunvero >"$home.out" 2>&1 &
app=$!
question=$(wait_for_window "$app" '^Var\?$') || { cat "$home.out" >&2; fail "the question did not appear"; }
sleep 0.5
import -window "$question" "$out/deb-question.png"
echo "The question appeared: $out/deb-question.png"

xdotool windowfocus --sync "$question"
xdotool key Return
main=$(wait_for_window "$app" '^Tunvero') || { cat "$home.out" >&2; fail "the window did not open"; }
sleep 0.5
import -window "$main" "$out/deb-window.png"
echo "The window opened: $out/deb-window.png"
rm -f "$home.out"

[[ -d "$home/TunveroMusic" ]] || fail "the default download folder was not created"
mode=$(stat -c %a "$home/TunveroMusic")
(((8#$mode & 8#002) == 0)) || fail "the download folder is world-writable ($mode)"
settings="$home/.config/Tunvero/Tunvero – musik i takt i alla rum.conf"
grep -q "^LastSaveFolder=$home/TunveroMusic/\$" "$settings" || fail "no LastSaveFolder in $settings"
echo "~/TunveroMusic/ created (mode $mode); settings in ~/.config/Tunvero/"
echo "The package installs and starts."
