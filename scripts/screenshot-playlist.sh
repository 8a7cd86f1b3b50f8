#!/usr/bin/env bash
# Starts the real program under Xvfb with a private home, ticks the server box, opens a
# folder of songs in the browser through the keyboard and the mouse, adds a few songs and
# writes screenshots/playlist.png.
# Usage: scripts/screenshot-playlist.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh
build=${1:-build}
out=screenshots
mkdir -p "$out"
bash scripts/install-deps.sh --screenshots

app=""
home=$(mktemp -d /tmp/tunvero-shot.XXXXXX)
# Directly under /tmp, so the folder list reaches it in two steps from "/".
songs=$(mktemp -d /tmp/Musik.XXXXXX)
cleanup() {
    [[ -n "$app" ]] && kill "$app" 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$home" "$songs"
}
trap cleanup EXIT

# Any bytes named .mp3 will do for the browser.
for name in "Abba - Dancing Queen" "Kent - Musik non stop" "Robyn - Dancing On My Own" \
    "Roxette - The Look" "Veronica Maggio - Jag kommer" "Lars Winnerbäck - Hum hum"; do
    printf 'ID3' >"$songs/$name.mp3"
done
printf 'ID3' >"$songs/Avicii - Levels.MP3"

start_xvfb 1024x768
read -r app main < <(start_tunvero "$build" "$home")
sleep 0.5
xdotool windowfocus --sync "$main"
# Tick "Denna dator är MP3 server".
xdotool mousemove --window "$main" 14 15 click 1
sleep 0.8

# The folder list (design 4200, 120 twips = 280, 8 pixels) starts at "/": select its first
# entry, then type a folder's name to jump to it and press Enter to open it.
xdotool mousemove --window "$main" 300 18 click 1
sleep 0.3
xdotool type --delay 30 "tmp"
xdotool key Return
sleep 0.5
xdotool type --delay 30 "$(basename "$songs")"
xdotool key Return
sleep 0.5

# Add songs with double-clicks in the file list (design 6600, 120 twips = 440, 8 pixels).
# One row of the list in the default font and style.
row_height=13
for row in 0 2 3 5; do
    y=$((8 + 3 + row_height / 2 + row * row_height))
    xdotool mousemove --window "$main" 500 "$y" click --repeat 2 --delay 80 1
    sleep 0.3
done
# Leave a song chosen that is not in the playlist, so "Lägg till" is live.
xdotool mousemove --window "$main" 500 $((8 + 3 + row_height / 2 + 1 * row_height)) click 1
sleep 0.5
import -window "$main" "$out/playlist.png"
echo "Screenshot written to $out/playlist.png"
