#!/usr/bin/env python3
"""Two rooms heard in step: a server and two clients, each client on a monotonic clock of its
own (a time namespace, hours and days away from the server's) and behind a relay that holds
everything for 1 ms and for 6 ms each way. Both play into one private PulseAudio null sink,
each holding its own white noise under the server's one song; over three starts, the noises
begin in the recording of the sink within 1 ms of each other. Nothing compares the clients'
logs with another process's clock. Ends with 77 (skipped) where time namespaces (root) or
PulseAudio are missing.

    house_in_step.py PROGRAM ONSET_TOOL WORK_FOLDER"""

import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bench"))
import heard_skew  # noqa: E402
from house import House, Room, why_no_time_namespaces  # noqa: E402
from tunvero_harness import Checks, Harness, HarnessError  # noqa: E402

LINKS_MS = [1, 6]
CLOCKS_S = [3600, 7 * 86400]
STARTS = 3
MAX_SKEW_MS = 1.0
SKIPPED = 77

check = Checks()


def first_stamp(copy):
    events = copy.events()
    return events[0]["t_ns"] if events else None


def main():
    program, tool, work = Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3])
    why = why_no_time_namespaces()
    if why:
        print(f"skipped: {why}")
        return SKIPPED
    shutil.rmtree(work / "run", ignore_errors=True)
    harness = Harness(program, work / "run", own_pulse=True)
    if not harness.env.get("PULSE_SERVER"):
        harness.close()
        print("skipped: PulseAudio could not start, nothing can be heard")
        return SKIPPED
    house = House(harness, [Room(clock, (link, 0)) for clock, link in zip(CLOCKS_S, LINKS_MS)])
    try:
        result = heard_skew.measure(harness, tool, len(LINKS_MS), STARTS, work / "songs",
                                    start_clients=house.start_clients, same_clock=False)
        for name, status in result["statuses"].items():
            check(status == 0, f"{name} ended with status {status}")
        # Each client's stamps lie about its clock's offset from the server's.
        server = harness.copies[0]
        for copy, clock in zip(harness.copies[1:], CLOCKS_S):
            apart = (first_stamp(copy) or 0) - (first_stamp(server) or 0)
            check(abs(apart / 1e9 - clock) < 600, f"{copy.name} did not run on a clock {clock} s ahead: "
                                                  f"its first stamp is {apart / 1e9:.0f} s from the server's")
        for name, frame, confidence in result["unmatched"]:
            check.failures.append(f"{name}'s noise not found in the recording (best at frame {frame}, "
                                  f"confidence {confidence})")
        missing = result["recording_missing_s"]
        check(missing is None or missing <= 0.5, f"the recording is {missing} s shorter than the time it ran: "
                                                 f"the recorder lost sound, nothing in it can be measured")
        starts = result["starts"]
        if check(len(starts) == STARTS and all(len(s) == len(LINKS_MS) for s in starts),
                 f"expected {STARTS} starts of both noises: {starts}"):
            spreads = result["spreads_ms"]
            print(f"heard skew per start over links of {LINKS_MS} ms: {', '.join(f'{s:.3f}' for s in spreads)} ms "
                  f"(onset frames {starts})")
            check(max(spreads) <= MAX_SKEW_MS, f"a start was heard {max(spreads):.3f} ms apart "
                                               f"(at most {MAX_SKEW_MS} ms)")
    except HarnessError as error:
        check.failures.append(str(error))
    finally:
        harness.close()
    return check.report(harness.copies)


if __name__ == "__main__":
    sys.exit(main())
