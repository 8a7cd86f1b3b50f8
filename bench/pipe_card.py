#!/usr/bin/env python3
"""A sound card made of a FIFO: PulseAudio's pipe sink writes into it, and this reader takes
its frames out at the card's own pace, rate x (1 + ppm / 10^6) frames a second by the
monotonic clock, a block at a time, as a card's converter would. A frame is "heard" when the
reader takes it: frame f of the recording is heard at t0_ns + f / frames_per_s seconds, on this
reader's (and so the root time namespace's) monotonic clock. Where the pipe holds less than a
block when it is due, the card plays silence for the rest (an underrun), so frame positions
keep their moments.

Writes everything it took to RECORDING (raw s16le) and, when told to end (SIGTERM, SIGINT),
its record as one JSON object to RECORDING.json: t0_ns, frames_per_s, frames, underruns
(blocks found short or empty: an idle sink writes nothing), short_blocks ([frame, frames
found] of the first 1000 blocks found short but not empty: a break in the sound),
late_ms_max (the worst lateness of a block's read), fill_bytes_mean/_max (what sat in the
pipe when a block was due: what the sink has written ahead).

    pipe_card.py FIFO RECORDING [--ppm P] [--pipe-bytes N] [--rate R] [--channels C]
                 [--block-frames B]"""

import argparse
import errno
import fcntl
import json
import os
import signal
import struct
import sys
import time

F_SETPIPE_SZ = 1031
F_GETPIPE_SZ = 1032
FIONREAD = 0x541B


class Stop(Exception):
    pass


def pipe_fill(fd):
    return struct.unpack("i", fcntl.ioctl(fd, FIONREAD, b"\0\0\0\0"))[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("fifo")
    parser.add_argument("recording")
    parser.add_argument("--ppm", type=float, default=0.0)
    parser.add_argument("--pipe-bytes", type=int, default=4096)
    parser.add_argument("--rate", type=int, default=44100)
    parser.add_argument("--channels", type=int, default=2)
    # The sound server learns what was heard from what is left in the pipe, so a card taking
    # larger blocks would leave it that much less sure (32 frames: 0.73 ms).
    parser.add_argument("--block-frames", type=int, default=32)
    args = parser.parse_args()

    def stop(_number, _frame):
        # Once: the record is being written.
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        raise Stop()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    frame_bytes = 2 * args.channels
    block_bytes = args.block_frames * frame_bytes
    frames_per_s = args.rate * (1 + args.ppm / 1e6)
    # The sink opened the FIFO for reading and writing, so this open does not wait for a writer.
    fd = os.open(args.fifo, os.O_RDONLY | os.O_NONBLOCK)
    # What the sink wrote before the card ran is thrown away: a card starts empty. The pipe
    # cannot shrink below what it holds, so it is emptied first (the sink may write again).
    for attempt in range(100):
        while True:
            try:
                if not os.read(fd, 1 << 16):
                    break
            except BlockingIOError:
                break
        try:
            fcntl.fcntl(fd, F_SETPIPE_SZ, args.pipe_bytes)
            break
        except OSError as error:
            if error.errno != errno.EBUSY or attempt == 99:
                raise
    pipe_bytes = fcntl.fcntl(fd, F_GETPIPE_SZ)

    print("ready", flush=True)
    record = {"fifo": args.fifo, "ppm": args.ppm, "pipe_bytes": pipe_bytes, "frames_per_s": frames_per_s,
              "block_frames": args.block_frames, "t0_ns": None, "frames": 0, "underruns": 0, "late_ms_max": 0.0,
              "fill_bytes_mean": 0.0, "fill_bytes_max": 0,
              "short_blocks": []}
    fill_sum = 0
    with open(args.recording, "wb") as out:
        t0 = time.monotonic_ns()
        record["t0_ns"] = t0
        block = 0
        try:
            while True:
                due = t0 + round(block * args.block_frames * 1e9 / frames_per_s)
                wait = due - time.monotonic_ns()
                if wait > 0:
                    time.sleep(wait / 1e9)
                late = (time.monotonic_ns() - due) / 1e6
                record["late_ms_max"] = max(record["late_ms_max"], late)
                fill = pipe_fill(fd)
                fill_sum += fill
                record["fill_bytes_max"] = max(record["fill_bytes_max"], fill)
                # Whole frames only: a frame the sink has only half written waits for its rest.
                want = min(block_bytes, fill - fill % frame_bytes)
                data = b""
                while len(data) < want:
                    try:
                        got = os.read(fd, want - len(data))
                    except BlockingIOError:
                        break
                    if not got:
                        break
                    data += got
                if len(data) < block_bytes:
                    record["underruns"] += 1
                    # Where the sink fell silent, and where it broke off in the middle of sound.
                    if data and len(record["short_blocks"]) < 1000:
                        record["short_blocks"].append([block * args.block_frames, len(data) // frame_bytes])
                    data += bytes(block_bytes - len(data))
                out.write(data)
                block += 1
        except Stop:
            pass
        record["frames"] = block * args.block_frames
        record["fill_bytes_mean"] = round(fill_sum / max(1, block), 1)
        record["late_ms_max"] = round(record["late_ms_max"], 3)
    with open(args.recording + ".json", "w", encoding="utf-8") as f:
        json.dump(record, f)
    return 0


if __name__ == "__main__":
    sys.exit(main())
