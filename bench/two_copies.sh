#!/usr/bin/env bash
# Two copies of the real program on one machine under Xvfb: one ticks the server box, the
# other ticks the client box, clicks "Anslut" and names 127.0.0.1. Writes
#   screenshots/two_copies_client.png   the client window, showing "Koppla från"
#   screenshots/two_copies_server.png   the server window
# and prints the client button's caption as read from the window.
# Usage: bench/two_copies.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=screenshots
mkdir -p "$out"
scripts/install-deps.sh --screenshots

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1400x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
server_pid=""
client_pid=""
homes=$(mktemp -d /tmp/tunvero-two.XXXXXX)
cleanup() {
    [[ -n "$client_pid" ]] && kill "$client_pid" 2>/dev/null || true
    [[ -n "$server_pid" ]] && kill "$server_pid" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$homes"
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# A visible window of process $1 whose name matches $2.
wait_for_window() {
    for _ in $(seq 1 100); do
        id=$(xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null | head -n 1 || true)
        [[ -n "$id" ]] && { echo "$id"; return 0; }
        sleep 0.1
    done
    echo "no window named '$2' of process $1 appeared" >&2
    return 1
}

# Starts a copy with its own home, accepts the default download folder, places its window.
start_copy() {
    local name=$1 x=$2
    mkdir -p "$homes/$name"
    HOME="$homes/$name" XDG_CONFIG_HOME="$homes/$name/.config" "$build/app/tunvero" &
    local pid=$!
    local question
    question=$(wait_for_window "$pid" '^Var\?$')
    # No window manager runs here: give the question the focus and press Enter.
    xdotool windowfocus --sync "$question"
    xdotool key Return
    local main
    main=$(wait_for_window "$pid" '^Tunvero')
    xdotool windowmove --sync "$main" "$x" 0
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
