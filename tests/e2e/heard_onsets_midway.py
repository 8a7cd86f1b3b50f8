#!/usr/bin/env python3
"""The onset tool finds a song that was joined midway: a recording mixes two songs of noise,
one played whole, one heard only from its second 1.5 on (a client that came late). Looked for
from a point inside them (--from), both are found where that point was heard, within a few
frames; looked for from their beginnings, the one joined midway is not matched anywhere.

    heard_onsets_midway.py ONSET_TOOL WORK_FOLDER"""

import array
import json
import random
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bench"))
from tunvero_harness import write_mp3  # noqa: E402

RATE = 44100
CHANNELS = 2
SECONDS = 4
WHOLE_AT = 10000
JOINED_FROM_S = 1.5
JOINED_AT = 60000
LOOKED_FROM_S = 2.5
SLACK_FRAMES = 4


def noise(seed):
    rng = random.Random(seed)
    return array.array("h", (rng.randint(-2500, 2500) for _ in range(SECONDS * RATE * CHANNELS)))


def find(tool, raw, songs, *more):
    found = subprocess.run([str(tool), "--rate", str(RATE), "--channels", str(CHANNELS), "--seconds", "0.5"]
                           + list(more) + [str(raw)] + [str(s) for s in songs],
                           capture_output=True, text=True, timeout=120)
    if found.returncode != 0:
        raise RuntimeError(f"the onset tool failed: {found.stderr}")
    return [song["onsets"][0] for song in json.loads(found.stdout)["songs"]]


def main():
    tool, work = Path(sys.argv[1]), Path(sys.argv[2])
    work.mkdir(parents=True, exist_ok=True)
    whole, joined = noise(11), noise(12)
    songs = [write_mp3(whole, work / "whole.mp3", RATE, CHANNELS), write_mp3(joined, work / "joined.mp3", RATE, CHANNELS)]

    recording = array.array("h", bytes(2 * CHANNELS * (JOINED_AT + (SECONDS + 1) * RATE)))
    skipped = int(JOINED_FROM_S * RATE) * CHANNELS
    for samples, at in ((whole, WHOLE_AT * CHANNELS), (joined[skipped:], JOINED_AT * CHANNELS)):
        for i, sample in enumerate(samples):
            recording[at + i] += sample
    raw = work / "recording.raw"
    raw.write_bytes(recording.tobytes())

    failures = []
    point = int(LOOKED_FROM_S * RATE)
    expected = [WHOLE_AT + point, JOINED_AT + point - int(JOINED_FROM_S * RATE)]
    for name, onset, frame in zip(("whole", "joined"), find(tool, raw, songs, "--from", str(LOOKED_FROM_S)), expected):
        print(f"{name}: {LOOKED_FROM_S} s into it heard at {onset['frame']} (confidence {onset['confidence']})")
        if not onset["matched"] or abs(onset["frame"] - frame) > SLACK_FRAMES:
            failures.append(f"{name}'s point {LOOKED_FROM_S} s in was found at {onset['frame']}, "
                            f"matched {onset['matched']}; it was heard at {frame}")
    whole_start, joined_start = find(tool, raw, songs)
    if not whole_start["matched"] or abs(whole_start["frame"] - WHOLE_AT) > SLACK_FRAMES:
        failures.append(f"the whole song's beginning was found at {whole_start['frame']}, not {WHOLE_AT}")
    if joined_start["matched"]:
        failures.append(f"the beginning of the song joined midway was matched at {joined_start['frame']}")
    for failure in failures:
        print("FAIL:", failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
