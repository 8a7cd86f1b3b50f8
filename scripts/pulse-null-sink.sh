#!/usr/bin/env bash
# Starts or stops a private PulseAudio daemon whose only output is a null sink, so that the
# real audio path can be tested on a machine without sound hardware or a desktop session.
#   eval "$(scripts/pulse-null-sink.sh start DIR)"   prints the PULSE_SERVER to export
#   scripts/pulse-null-sink.sh stop DIR
set -euo pipefail
cmd=$1
dir=$2

case "$cmd" in
start)
    mkdir -p "$dir/runtime" "$dir/state"
    export PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" HOME="$dir"
    pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n \
        --load="module-null-sink sink_name=tunvero_null" \
        --load="module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
        --load="module-always-sink" \
        >"$dir/pulse.log" 2>&1 &
    echo $! >"$dir/pulse.pid"
    for _ in $(seq 1 100); do
        [[ -S "$dir/native" ]] && break
        sleep 0.1
    done
    if [[ ! -S "$dir/native" ]]; then
        echo "echo 'PulseAudio did not start; see $dir/pulse.log' >&2"
        exit 0
    fi
    echo "export PULSE_SERVER=unix:$dir/native"
    ;;
stop)
    if [[ -f "$dir/pulse.pid" ]]; then
        kill "$(cat "$dir/pulse.pid")" 2>/dev/null || true
        rm -f "$dir/pulse.pid"
    fi
    ;;
esac
