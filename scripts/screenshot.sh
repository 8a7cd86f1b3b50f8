#!/usr/bin/env bash
# Starts the real program under Xvfb, answers the start-up question with its default, and
# writes PNGs of the window as a person would see it:
#   screenshots/small.png    the small window at start
#   screenshots/server.png   with the server box ticked
# Usage: scripts/screenshot.sh [build-folder]   (make screenshots builds first)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh
build=${1:-build}
out=screenshots
mkdir -p "$out"
bash scripts/install-deps.sh --screenshots

app=""
home=$(mktemp -d /tmp/tunvero-shot.XXXXXX)
cleanup() {
    [[ -n "$app" ]] && kill "$app" 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$home"
}
trap cleanup EXIT
start_xvfb 1024x768

read -r app main < <(start_tunvero "$build" "$home")
sleep 0.5
import -window "$main" "$out/small.png"

# Tick "Denna dator är MP3 server" (its box sits at the top left of the window).
xdotool mousemove --window "$main" 14 15 click 1
sleep 0.8
import -window "$main" "$out/server.png"
echo "Screenshots written to $out/"
