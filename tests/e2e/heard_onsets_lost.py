#!/usr/bin/env python3
"""The onset tool's count of a beginning not heard: a recording made of a song of noise four
times, once whole, once without its first 300 frames, once without its first 20000 (a card
that started late and dropped them), once whole at first but with 12 frames dropped one at a
time soon after (a client holding its song to its clock), with silence between. Each start is
found where the song's first frame belongs, and the frames not heard at its beginning are
counted within a few frames (the song is the MP3's decoding, the recording the samples it was
made from).

    heard_onsets_lost.py ONSET_TOOL WORK_FOLDER"""

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
SECONDS = 2
STARTS = [44100, 200000, 380000, 560000]
DROPPED = [0, 300, 20000, 0]
# Frames dropped after the beginning, at each start.
HELD = [[], [], [], list(range(1000, 5800, 400))]
# The MP3 is not the samples it was made from: the first frame counted as heard may lie a frame
# or two off.
SLACK_FRAMES = 4


def main():
    tool, work = Path(sys.argv[1]), Path(sys.argv[2])
    work.mkdir(parents=True, exist_ok=True)
    rng = random.Random(5)
    song = array.array("h", (rng.randint(-2500, 2500) for _ in range(SECONDS * RATE * CHANNELS)))
    mp3 = write_mp3(song, work / "song.mp3", RATE, CHANNELS)

    recording = array.array("h", bytes(2 * CHANNELS * (STARTS[-1] + (SECONDS + 1) * RATE)))
    for start, dropped, held in zip(STARTS, DROPPED, HELD):
        frames = [f for f in range(dropped, SECONDS * RATE) if f not in held]
        at = (start + dropped) * CHANNELS
        for i, f in enumerate(frames):
            recording[at + i * CHANNELS:at + (i + 1) * CHANNELS] = song[f * CHANNELS:(f + 1) * CHANNELS]
    raw = work / "recording.raw"
    raw.write_bytes(recording.tobytes())

    found = subprocess.run([str(tool), "--rate", str(RATE), "--channels", str(CHANNELS), "--count", str(len(STARTS)),
                            "--loud", "500", str(raw), str(mp3)], capture_output=True, text=True, timeout=120)
    if found.returncode != 0:
        print(f"FAIL: the onset tool failed: {found.stderr}", file=sys.stderr)
        return 1
    report = json.loads(found.stdout)["songs"][0]
    print(f"song's first loud frame {report['first_loud_frame']}; onsets "
          f"{[(o['frame'], o['lost_frames']) for o in report['onsets']]}")
    failures = []
    if not 0 <= report["first_loud_frame"] <= SLACK_FRAMES:
        failures.append(f"the song's first loud frame is {report['first_loud_frame']}")
    for onset, start, dropped, held in zip(report["onsets"], STARTS, DROPPED, HELD):
        # The match lies where most of the song does: after frames dropped, that much earlier.
        if not onset["matched"] or abs(onset["frame"] - start) > SLACK_FRAMES + len(held):
            failures.append(f"the start at frame {start} was found at {onset['frame']} "
                            f"(confidence {onset['confidence']})")
        if abs(onset["lost_frames"] - dropped) > SLACK_FRAMES:
            failures.append(f"the start at frame {start} lost {dropped} frames, counted {onset['lost_frames']}")
    if len(report["onsets"]) != len(STARTS):
        failures.append(f"{len(report['onsets'])} starts found of {len(STARTS)}")
    for failure in failures:
        print("FAIL:", failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
