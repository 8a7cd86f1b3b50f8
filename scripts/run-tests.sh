#!/usr/bin/env bash
# Installs what is missing (Debian packages), builds and runs every test. With --sanitize, a
# separate build under AddressSanitizer and UndefinedBehaviorSanitizer. Starts (and stops) the
# PulseAudio null sink the audio tests use. Needs bash and apt, and root or sudo for the first
# install; nothing else.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [[ "${1:-}" == "--sanitize" ]]; then
    build=build-asan
    cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DTUNVERO_SANITIZE=ON -DTUNVERO_BENCH=OFF)
fi

bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja "${cmake_args[@]}" >/dev/null
cmake --build "$build" --parallel 2

pulse_dir=$(mktemp -d /tmp/tunvero-pulse.XXXXXX)
trap 'bash scripts/pulse-null-sink.sh stop "$pulse_dir"; rm -rf "$pulse_dir"' EXIT
eval "$(bash scripts/pulse-null-sink.sh start "$pulse_dir")"
# In CI the real audio path must be tested, not skipped.
if [[ -z "${PULSE_SERVER:-}" && "${CI:-}" == "true" ]]; then
    echo "The PulseAudio null sink did not start; the audio test would be skipped." >&2
    exit 1
fi

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure --parallel 2 --timeout 600
