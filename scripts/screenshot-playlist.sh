#!/usr/bin/env bash
# Starts the real program under Xvfb with a private home, ticks the server box, opens a
# folder of songs in the browser through the keyboard and the mouse, adds a few songs and
# writes screenshots/playlist.png.
# Usage: scripts/screenshot-playlist.sh [build-folder]
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
# Directly under /tmp, so the folder list reaches it in two steps from "/".
songs=$(mktemp -d /tmp/Musik.XXXXXX)
cleanup() {
    [[ -n "$app" ]] && kill "$app" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$home" "$songs"
}
trap cleanup EXIT

# Any bytes named .mp3 will do for the browser.
for name in "Abba - Dancing Queen" "Kent - Musik non stop" "Robyn - Dancing On My Own" \
    "Roxette - The Look" "Veronica Maggio - Jag kommer" "Lars Winnerbäck - Hum hum"; do
    printf 'ID3' >"$songs/$name.mp3"
done
printf 'ID3' >"$songs/Avicii - Levels.MP3"

export DISPLAY=$display
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

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
xdotool windowfocus --sync "$question"
xdotool key Return

main=$(wait_for_window '^Tunvero')
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
