# Shared by the scripts that drive the real program under Xvfb (screenshots, two copies).
# Source it from the repository's top folder; no window manager runs, so windows are
# focused with xdotool directly.

# start_xvfb SIZE: starts Xvfb on a display of its own and exports DISPLAY; xvfb_pid is set.
start_xvfb() {
    local display=:$((90 + RANDOM % 100))
    Xvfb "$display" -screen 0 "${1}x24" -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=$display
    for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    echo "Xvfb did not start on $display" >&2
    return 1
}

# wait_for_window PID NAME: prints the id of a visible window of process PID whose name
# matches NAME.
wait_for_window() {
    local id
    for _ in $(seq 1 100); do
        id=$(xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null | head -n 1 || true)
        [[ -n "$id" ]] && { echo "$id"; return 0; }
        sleep 0.1
    done
    echo "no window named '$2' of process $1 appeared" >&2
    return 1
}

# start_tunvero BUILD HOME: starts the program with a private home (so the real user's
# settings stay untouched), accepts the default download folder and prints "pid window".
start_tunvero() {
    mkdir -p "$2"
    HOME="$2" XDG_CONFIG_HOME="$2/.config" "$1/app/tunvero" >/dev/null 2>&1 &
    local pid=$! question main
    question=$(wait_for_window "$pid" '^Var\?$')
    xdotool windowfocus --sync "$question"
    xdotool key Return
    main=$(wait_for_window "$pid" '^Tunvero')
    echo "$pid $main"
}
