#!/usr/bin/env bash
# Starts or stops a private PipeWire (with its PulseAudio server and WirePlumber) whose only
# output is a null sink named tunvero_null, as scripts/pulse-null-sink.sh does for PulseAudio.
# Everything lives in DIR: its own runtime folder, settings and a D-Bus session bus of its
# own (WirePlumber will not run without one), so nothing of a desktop session is touched.
#   eval "$(scripts/pipewire-null-sink.sh start DIR)"   prints the PULSE_SERVER to export
#   scripts/pipewire-null-sink.sh stop DIR
# Where it cannot start it prints a line for stderr and no PULSE_SERVER.
set -euo pipefail
cmd=$1
dir=$(realpath -m "$2")

not_started() {
    echo "echo 'PipeWire did not start: $1' >&2"
    exit 0
}

case "$cmd" in
start)
    for tool in pipewire pipewire-pulse wireplumber dbus-daemon pactl; do
        command -v "$tool" >/dev/null || not_started "$tool is not installed"
    done
    mkdir -p "$dir/runtime" "$dir/config/pipewire/pipewire.conf.d" "$dir/state"
    chmod 700 "$dir/runtime"
    # The graph runs at the songs' rate: nothing is resampled between a client and the recording.
    cat >"$dir/config/pipewire/pipewire.conf.d/tunvero.conf" <<'CONF'
context.properties = {
    default.clock.rate = 44100
    default.clock.allowed-rates = [ 44100 ]
}
CONF
    export XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state" HOME="$dir"
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus"
    unset PULSE_SERVER PIPEWIRE_REMOTE DISPLAY WAYLAND_DISPLAY
    : >"$dir/pids"
    dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --nofork --nopidfile >"$dir/dbus.log" 2>&1 &
    echo $! >>"$dir/pids"
    for _ in $(seq 1 50); do
        [[ -S "$dir/bus" ]] && break
        sleep 0.1
    done
    [[ -S "$dir/bus" ]] || not_started "no D-Bus session bus; see $dir/dbus.log"
    pipewire >"$dir/pipewire.log" 2>&1 &
    echo $! >>"$dir/pids"
    for _ in $(seq 1 50); do
        [[ -S "$dir/runtime/pipewire-0" ]] && break
        sleep 0.1
    done
    [[ -S "$dir/runtime/pipewire-0" ]] || not_started "see $dir/pipewire.log"
    wireplumber >"$dir/wireplumber.log" 2>&1 &
    echo $! >>"$dir/pids"
    pipewire-pulse >"$dir/pipewire-pulse.log" 2>&1 &
    echo $! >>"$dir/pids"
    for _ in $(seq 1 50); do
        [[ -S "$dir/runtime/pulse/native" ]] && break
        sleep 0.1
    done
    [[ -S "$dir/runtime/pulse/native" ]] || not_started "see $dir/pipewire-pulse.log"
    export PULSE_SERVER="unix:$dir/runtime/pulse/native"
    pactl load-module module-null-sink sink_name=tunvero_null rate=44100 channels=2 >/dev/null 2>&1 ||
        not_started "the null sink could not be made; see $dir/pipewire-pulse.log"
    pactl set-default-sink tunvero_null
    # WirePlumber links streams to the sink; without it a stream never plays.
    for _ in $(seq 1 50); do
        kill -0 "$(sed -n 3p "$dir/pids")" 2>/dev/null || not_started "WirePlumber ended; see $dir/wireplumber.log"
        pactl info 2>/dev/null | grep -q "^Default Sink: tunvero_null" && break
        sleep 0.1
    done
    echo "export PULSE_SERVER=$PULSE_SERVER"
    ;;
stop)
    if [[ -f "$dir/pids" ]]; then
        # The last started first: the PulseAudio server and WirePlumber before PipeWire and the bus.
        tac "$dir/pids" | while read -r pid; do
            kill "$pid" 2>/dev/null || true
        done
        rm -f "$dir/pids"
    fi
    ;;
esac
