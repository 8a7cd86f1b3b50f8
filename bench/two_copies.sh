#!/usr/bin/env bash
# Two copies of the real program on one machine under Xvfb: one ticks the server box, the
# other ticks the client box, clicks "Anslut" and names 127.0.0.1. Writes
#   screenshots/two_copies_client.png   the client window, showing "Koppla från"
#   screenshots/two_copies_server.png   the server window
# and prints the client button's caption as read from the window.
# Usage: bench/two_copies.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh
build=${1:-build}
out=screenshots
mkdir -p "$out"
scripts/install-deps.sh --screenshots

server_pid=""
client_pid=""
homes=$(mktemp -d /tmp/tunvero-two.XXXXXX)
cleanup() {
    [[ -n "$client_pid" ]] && kill "$client_pid" 2>/dev/null || true
    [[ -n "$server_pid" ]] && kill "$server_pid" 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$homes"
}
trap cleanup EXIT
start_xvfb 1400x800

# Starts a copy with its own home and places its window; prints "pid window".
start_copy() {
    local pid main
    read -r pid main < <(start_tunvero "$build" "$homes/$1")
    xdotool windowmove --sync "$main" "$2" 0
    echo "$pid $main"
}

read -r server_pid server_win < <(start_copy server 0)
read -r client_pid client_win < <(start_copy client 760)
sleep 0.5

# Server copy: tick "Denna dator är MP3 server" (top left of the window).
xdotool mousemove --window "$server_win" 14 15 click 1
sleep 0.8

# Client copy: tick "Denna dator är MP3 klient", then click "Anslut" beside it.
xdotool mousemove --window "$client_win" 14 40 click 1
sleep 0.3
xdotool mousemove --window "$client_win" 216 40 click 1
prompt=$(wait_for_window "$client_pid" '^Dator\?$')
xdotool windowfocus --sync "$prompt"
xdotool key ctrl+a
xdotool type --delay 20 127.0.0.1
xdotool key Return
sleep 1.5

import -window "$client_win" "$out/two_copies_client.png"
import -window "$server_win" "$out/two_copies_server.png"
echo "Screenshots written to $out/two_copies_client.png and $out/two_copies_server.png"
