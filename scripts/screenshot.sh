#!/usr/bin/env bash
# Starts the real program under Xvfb, answers the start-up question with its default, and
# writes PNGs of the window as a person would see it:
#   screenshots/small.png    the small window at start
#   screenshots/server.png   with the server box ticked
# Usage: scripts/screenshot.sh [build-folder]   (make screenshots builds first)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=screenshots
mkdir -p "$out"
scripts/install-deps.sh --screenshots

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=""
home=$(mktemp -d /tmp/tunvero-shot.XXXXXX)
cleanup() {
    [[ -n "$app" ]] && kill "$app" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$home"
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# A private home keeps the real user's settings out of it.
HOME="$home" XDG_CONFIG_HOME="$home/.config" "$build/app/tunvero" &
app=$!

wait_for_window() {
    for _ in $(seq 1 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [[ -n "$id" ]] && { echo "$id"; return 0; }
        sleep 0.1
    done
    echo "no window named '$1' appeared" >&2
    return 1
}

question=$(wait_for_window '^Var\?$')
# No window manager runs here: give the question the focus and press Enter.
xdotool windowfocus --sync "$question"
xdotool key Return

main=$(wait_for_window '^Tunvero')
sleep 0.5
import -window "$main" "$out/small.png"

# Tick "Denna dator är MP3 server" (its box sits at the top left of the window).
xdotool mousemove --window "$main" 14 15 click 1
sleep 0.8
import -window "$main" "$out/server.png"
echo "Screenshots written to $out/"
