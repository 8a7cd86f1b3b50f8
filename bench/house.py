"""A house on one machine: each client of a harness in a room of its own, with

- a clock of its own: the client runs in a Linux time namespace whose monotonic (and boot)
  clock is offset from everyone else's (unshare --time, root only), so no two processes share a
  monotonic clock and a client's event-log stamps compare with nothing outside it;
- a link of its own: a relay (bench/relay.py) between the client and the server that holds
  every segment for a constant plus a random part;
- a sound card of its own: a PulseAudio pipe sink that a reader (bench/pipe_card.py) empties
  at the card's own rate, off by some ppm, and records with the moment each frame was heard on
  the reader's clock (the root namespace's monotonic clock).

What is heard is compared only through the cards' records or a recording of one shared sink,
never through the clients' logs."""

import json
import os
import subprocess
import sys
import time
from pathlib import Path

from tunvero_harness import HarnessError, realtime_prefix

HERE = Path(__file__).resolve().parent
RATE = 44100
CHANNELS = 2
# Four pages (93 ms). The kernel counts a pipe's room in pages: a page the sink filled only in
# part still takes a whole one, so with one page the sink waits until the reader has emptied
# it, and with two the program's writes (not in whole pages) left the card short of 28 frames
# every 87 ms. With four it plays clean.
ORDINARY_PIPE_BYTES = 16384
# A card that holds about 370 ms.
DEEP_PIPE_BYTES = 65536


class Room:
    """Where one client plays: `clock_s` (offset of its monotonic clock, 0 for the root
    namespace's), `link` (delay_ms, jitter_ms) or None for a direct connection, `card` (ppm,
    pipe_bytes) or None for the harness's shared null sink."""

    def __init__(self, clock_s=0, link=None, card=None):
        self.clock_s = clock_s
        self.link = link
        self.card = card


def clock_offsets(count):
    """Different offsets for `count` clients: hours and days ahead, and one behind as far as the
    clock has run (an offset may not take it below zero)."""
    behind = -min(1800, int(time.monotonic() / 2))
    offsets = [3600, behind, 7 * 86400, 12345, 86400 + 17, 2 * 3600 + 1]
    return [offsets[i % len(offsets)] + 60 * (i // len(offsets)) for i in range(count)]


def why_no_time_namespaces():
    """None when a client can be started in a time namespace of its own, else the reason."""
    if os.geteuid() != 0:
        return "time namespaces need root (unshare --time)"
    try:
        subprocess.run(["unshare", "--time", "--monotonic=1", "--fork", "true"], check=True, capture_output=True,
                       timeout=10)
    except FileNotFoundError:
        return "unshare is not installed"
    except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as error:
        return f"unshare --time does not work here: {getattr(error, 'stderr', b'').decode(errors='replace').strip()}"
    return None


class CardRecord:
    """What a card heard: its raw recording and when each frame was heard."""

    def __init__(self, raw, record):
        self.raw = Path(raw)
        self.t0_ns = record["t0_ns"]
        self.frames_per_s = record["frames_per_s"]
        self.record = record

    def heard_ns(self, frame):
        return self.t0_ns + frame * 1e9 / self.frames_per_s


class House:
    """Rooms for the clients of `harness` (one Room a client, in client order)."""

    def __init__(self, harness, rooms):
        self.harness = harness
        self.rooms = list(rooms)
        self.realtime = realtime_prefix()
        self.readers = {}
        self.relay = None
        self.records = {}

    def sink_name(self, index):
        return f"tunvero_card{index + 1:02d}"

    def start_cards(self):
        """Loads a pipe sink for each room with a card into the harness's PulseAudio and starts
        its reader; answers once every reader runs."""
        env = self.harness.env
        if not env.get("PULSE_SERVER"):
            raise HarnessError("no PulseAudio server to load pipe sinks into")
        for i, room in enumerate(self.rooms):
            if room.card is None:
                continue
            ppm, pipe_bytes = room.card
            fifo = self.harness.workdir / f"card{i + 1:02d}.fifo"
            subprocess.run(["pactl", "load-module", "module-pipe-sink", f"file={fifo}",
                            f"sink_name={self.sink_name(i)}", "format=s16le", f"rate={RATE}", f"channels={CHANNELS}"],
                           env=env, check=True, capture_output=True, timeout=20)
            raw = self.harness.workdir / f"card{i + 1:02d}.raw"
            reader = self.harness.helper(f"card{i + 1:02d}", self.realtime + [
                sys.executable, str(HERE / "pipe_card.py"), str(fifo), str(raw), "--ppm", str(ppm),
                "--pipe-bytes", str(pipe_bytes), "--rate", str(RATE), "--channels", str(CHANNELS)],
                stdout=subprocess.PIPE)
            if reader.stdout.readline().strip() != b"ready":
                raise HarnessError(f"the reader of card {i + 1} did not start: "
                                   f"{(self.harness.workdir / f'card{i + 1:02d}.err').read_text(errors='replace')}")
            self.readers[i] = (reader, raw)
        self._sink_threads_realtime()

    def _sink_threads_realtime(self):
        # A card's own thread runs at a realtime priority; PulseAudio leaves the pipe sink's at
        # an ordinary one, where a loaded machine makes it miss the reader's pace.
        pid = self.harness.pulse_pid()
        if not self.realtime or pid is None:
            return
        for task in Path(f"/proc/{pid}/task").iterdir():
            try:
                if (task / "comm").read_text().strip() == "pipe-sink":
                    subprocess.run(["chrt", "-r", "-p", "5", task.name], capture_output=True, timeout=10)
            except OSError:
                pass

    def start_links(self, port):
        """Starts one relay process for every room with a link; answers the port each client
        connects to (the server's where a room has no link)."""
        links = [room.link for room in self.rooms if room.link is not None]
        ports = [port] * len(self.rooms)
        if not links:
            return ports
        self.relay = self.harness.helper("relay", self.realtime + [
            sys.executable, str(HERE / "relay.py"), "--to", f"127.0.0.1:{port}", "--seed", "7"]
            + [arg for delay, jitter in links for arg in ("--link", f"{delay}:{jitter}")], stdout=subprocess.PIPE)
        line = self.relay.stdout.readline()
        if not line:
            raise HarnessError(f"the relay did not start: {(self.harness.workdir / 'relay.err').read_text()}")
        relayed = iter(json.loads(line)["ports"])
        return [next(relayed) if room.link is not None else port for room in self.rooms]

    def start_clients(self, port, arguments=("--quit-after-stop",)):
        """Starts a client in each room, named client01, client02, ..."""
        clients = []
        for i, (room, client_port) in enumerate(zip(self.rooms, self.start_links(port))):
            wrapper = []
            if room.clock_s:
                wrapper = ["unshare", "--time", f"--monotonic={room.clock_s}", f"--boottime={room.clock_s}",
                           "--fork", "--kill-child=SIGTERM", "--"]
            env = {"PULSE_SINK": self.sink_name(i)} if room.card is not None else {}
            clients.append(self.harness.start(f"client{i + 1:02d}", ["--client", f"127.0.0.1:{client_port}"]
                                              + list(arguments), wrapper=wrapper, env=env))
        return clients

    def stop_cards(self):
        """Stops the readers; answers {client index: CardRecord}."""
        for reader, _ in self.readers.values():
            if reader.poll() is None:
                reader.terminate()
        for i, (reader, raw) in self.readers.items():
            reader.wait(timeout=10)
            try:
                self.records[i] = CardRecord(raw, json.loads(Path(f"{raw}.json").read_text()))
            except (OSError, ValueError) as error:
                raise HarnessError(f"card {i + 1} left no record: {error}")
        return self.records
