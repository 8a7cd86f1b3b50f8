#!/usr/bin/env python3
"""Two clients heard in step: a server and two clients on 127.0.0.1 play into one private
PulseAudio null sink, each client holding its own white noise under the server's one song.
Over three starts, measured from the moment each client scheduled its start, the two noises
begin in the recording of the sink within 1 ms of each other. The plain spread also holds when
"PlayMusic" reached each client, which depends on the load: it is printed, and fails only
beyond 20 ms. A WAV copy of the recording must give the same frames. Ends with 77 (skipped)
only when PulseAudio cannot start.

With --pipewire the sink is a private PipeWire's (through its PulseAudio server), the run's
first start among those measured, and a start may be placed 2 ms apart; skipped (77) where
PipeWire cannot start.

    heard_in_step.py PROGRAM ONSET_TOOL WORK_FOLDER [--pipewire]"""

import json
import shutil
import subprocess
import sys
import wave
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bench"))
import heard_skew  # noqa: E402
from tunvero_harness import Checks, Harness, HarnessError  # noqa: E402

CLIENTS = 2
STARTS = 3
MAX_SKEW_MS = 1.0
MAX_SKEW_PIPEWIRE_MS = 2.0
MAX_ANY_SKEW_MS = 20.0
SKIPPED = 77

check = Checks()
failures = check.failures


def same_onsets_from_wav(tool, raw, songs):
    """The tool on `raw` and on the same samples in a WAV file: the frames found must agree."""
    wav = raw.with_suffix(".wav")
    with wave.open(str(wav), "wb") as out:
        out.setnchannels(heard_skew.CHANNELS)
        out.setsampwidth(2)
        out.setframerate(heard_skew.RATE)
        out.writeframes(raw.read_bytes())
    frames = []
    for arguments in (["--rate", str(heard_skew.RATE), "--channels", str(heard_skew.CHANNELS), str(raw)], [str(wav)]):
        found = subprocess.run([str(tool)] + arguments + [str(s) for s in songs], capture_output=True, text=True,
                               timeout=120)
        if not check(found.returncode == 0, f"the onset tool failed on {arguments[-1]}: {found.stderr}"):
            return
        frames.append([o["frame"] for s in json.loads(found.stdout)["songs"] for o in s["onsets"]])
    check(frames[0] == frames[1], f"raw and WAV recordings give different onsets: {frames}")


def main():
    program, tool, work = Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3])
    pipewire = "--pipewire" in sys.argv[4:]
    most = MAX_SKEW_PIPEWIRE_MS if pipewire else MAX_SKEW_MS
    shutil.rmtree(work / "run", ignore_errors=True)
    harness = Harness(program, work / "run", own_pulse=True, sound_server="pipewire" if pipewire else "pulseaudio")
    if not harness.env.get("PULSE_SERVER"):
        harness.close()
        print(f"skipped: {harness.sound_server} could not start, nothing can be heard "
              f"({harness.sound_server_trouble})")
        return SKIPPED
    song_folder = work / "songs"
    try:
        result = heard_skew.measure(harness, tool, CLIENTS, STARTS, song_folder)
        for name, status in result["statuses"].items():
            check(status == 0, f"{name} ended with status {status}")
        for name, frame, confidence in result["unmatched"]:
            failures.append(f"{name}'s noise not found in the recording (best at frame {frame}, "
                            f"confidence {confidence})")
        missing = result["recording_missing_s"]
        check(missing is None or missing <= 0.5, f"the recording is {missing} s shorter than the time it ran: "
                                                 f"the recorder lost sound, nothing in it can be measured")
        starts = result["starts"]
        if check(len(starts) == STARTS and all(len(s) == CLIENTS for s in starts),
                 f"expected {STARTS} starts of both noises: {starts}"):
            spreads = result["spreads_ms"]
            placements = result["placement_spreads_ms"]
            print(f"heard skew per start: {', '.join(f'{s:.3f}' for s in spreads)} ms; measured from each "
                  f"client's scheduled moment: {', '.join(f'{s:.3f}' for s in placements)} ms (onset frames {starts})")
            if check(len(placements) == STARTS, f"every start must be scheduled on both clients: {placements}"):
                check(max(placements) <= most, f"a start was heard {max(placements):.3f} ms away from where "
                                               f"its clients placed it (at most {most} ms)")
            check(max(spreads) <= MAX_ANY_SKEW_MS, f"a start was heard {max(spreads):.3f} ms apart "
                                                   f"(at most {MAX_ANY_SKEW_MS} ms)")
        same_onsets_from_wav(tool, result["recording"], result["noises"])
    except HarnessError as error:
        failures.append(str(error))
    finally:
        harness.close()

    return check.report(harness.copies)


if __name__ == "__main__":
    sys.exit(main())
