#!/usr/bin/env bash
# Generates the MP3 files the media tests and the benchmark play, from plain tones, so that no
# third-party music is ever committed.
#   scripts/make-test-songs.sh OUTDIR          the short test songs
#   scripts/make-test-songs.sh OUTDIR --long   also the five-minute song of the benchmark
# Every song's length is known exactly (the tone's length); the tests keep the same table.
# Bit rates are high enough for the first frame to hold the encoder's gapless tag.
# Nothing here writes a VBRI header (only Fraunhofer's encoder does): the media test makes its VBRI
# song from vbr_44k_stereo (tests/playback/VbriSong.h).
set -euo pipefail

out=$1
long=${2:-}
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/tunvero-songs.XXXXXX")
trap 'rm -rf "$work"' EXIT

# tone NAME SECONDS RATE CHANNELS: a 16-bit WAV of a sine tone (a second tone on the right).
tone() {
    local voices=(sine 440)
    [[ $4 -eq 2 ]] && voices+=(sine 660)
    sox -n -r "$3" -c "$4" -b 16 "$work/$1.wav" synth "$2" "${voices[@]}" vol 0.5
}

# song NAME SECONDS RATE CHANNELS LAME-OPTIONS...: encodes the tone, written atomically so a
# half-written song never looks like a finished one.
song() {
    local name=$1 seconds=$2 rate=$3 channels=$4
    shift 4
    tone "$name" "$seconds" "$rate" "$channels"
    lame --quiet --resample "$(awk "BEGIN { print $rate / 1000 }")" "$@" \
        "$work/$name.wav" "$work/$name.mp3"
    mv "$work/$name.mp3" "$out/$name.mp3"
}

# A cover picture: a PNG signature and filler, enough to make the ID3v2 tag ~60 KB.
{ printf '\x89PNG\r\n\x1a\n'; head -c 60000 /dev/zero | tr '\0' 'x'; } >"$work/cover.png"

song cbr_44k_stereo    3.0  44100 2 -b 128
song cbr_48k_mono      2.0  48000 1 -b 64
song cbr_32k_stereo    2.0  32000 2 -b 96
song cbr_22k_mono      2.0  22050 1 -b 64
song vbr_44k_stereo    2.5  44100 2 -V 4
song vbr_48k_stereo    4.0  48000 2 -V 2
song vbr_16k_mono      3.0  16000 1 -V 6
# No LAME/Info tag: the decoder has to count frames and cannot trim the encoder's delay.
song cbr_44k_notag     3.0  44100 2 -b 128 -t
song id3_44k_stereo    3.0  44100 2 -b 128 --id3v2-only --tt "Ton" --ta "Tunvero" --tl "Prov"
song id3_cover_vbr_48k 2.0  48000 2 -V 4 --id3v2-only --tt "Omslag" --ti "$work/cover.png"

# A rising tone, so that no stretch sounds like another: the test of a client that joins a song
# minutes into it checks which sample it starts on. In a folder of its own, out of the benchmark's
# list of songs to open.
if [[ ! -f "$out/long/sweep_48k_mono.mp3" ]]; then
    sox -n -r 48000 -c 1 -b 16 "$work/sweep.wav" synth 200 sine 300-3000 vol 0.5
    lame --quiet --resample 48 -b 32 "$work/sweep.wav" "$work/sweep.mp3"
    mkdir -p "$out/long"
    mv "$work/sweep.mp3" "$out/long/sweep_48k_mono.mp3"
fi

if [[ "$long" == "--long" && ! -f "$out/five_minutes_44k_stereo.mp3" ]]; then
    song five_minutes_44k_stereo 300 44100 2 -b 128
fi
