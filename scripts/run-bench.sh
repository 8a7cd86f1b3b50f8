#!/usr/bin/env bash
# Runs the benchmarks that `make bench` has built: the media benchmark on songs generated from
# tones, then the transfer benchmark. Without a PULSE_SERVER of the caller's, a private
# PulseAudio null sink takes the sound, so the figures come from the real audio path and
# nothing sounds through the speakers.
#   scripts/run-bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
bench=$build/bench/tunvero_media_bench
if [[ ! -x "$bench" ]]; then
    echo "$bench is missing: build first (make bench)" >&2
    exit 1
fi

songs=$build/bench-songs
scripts/make-test-songs.sh "$songs" --long

if [[ -z "${PULSE_SERVER:-}" ]]; then
    pulse_dir=$(mktemp -d /tmp/tunvero-pulse.XXXXXX)
    trap 'scripts/pulse-null-sink.sh stop "$pulse_dir"; rm -rf "$pulse_dir"' EXIT
    eval "$(scripts/pulse-null-sink.sh start "$pulse_dir")"
fi

"$bench" "$songs"

# The transfer benchmark makes its own songs (random bytes) and starts its own server process;
# its last line is its JSON object.
"$build/bench/tunvero_transfer_bench"
