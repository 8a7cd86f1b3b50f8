"""The sync benchmark's scenarios of a house (bench/house.py): clients on clocks of their own
behind slow or jittery links, on cards that drift or hold 350 ms, and a PipeWire sink. Each
answers what it measured from recordings or the cards' records, never from comparing one
process's clock with another's.

Used by bench/sync_bench.py (--only links, jitter, drift, first-start, pipewire) and the
whole-program tests."""

import array
import random
import sys
import time
from pathlib import Path

import heard_skew
from house import (CHANNELS, DEEP_PIPE_BYTES, ORDINARY_PIPE_BYTES, RATE, House, Room, clock_offsets,
                   why_no_time_namespaces)
from tunvero_harness import Harness, make_noise_song, write_mp3, write_playlist

LINKS_MS = [0.5, 1, 3, 8]
JITTER = (1, 10)
DRIFT_PPM = [-80, 0, 80, 40]
MARKER_SONG_S = 300
# A noise burst every MARKER_EVERY_S seconds from the first second on, each its own noise.
MARKER_EVERY_S = 15
MARKER_S = 0.3
MARKER_AMPLITUDE = 20000
FIRST_START_RUNS = 3
FIRST_START_SONG_S = 3
# A sample this large counts as heard: well under the noise's 2500, well over silence.
HEARD_LOUD = 500


class Skipped(Exception):
    """The scenario cannot run on this machine; the text says why."""


def need_time_namespaces():
    why = why_no_time_namespaces()
    if why:
        raise Skipped(why)


def heard_through_links(program, tool, folder, song_folder, links, starts=5):
    """Clients each on a clock of its own and behind its own link ((delay_ms, jitter_ms) each),
    all playing into one null sink whose monitor is recorded: heard_skew's figures."""
    need_time_namespaces()
    harness = Harness(program, folder, own_pulse=True)
    try:
        if not harness.env.get("PULSE_SERVER"):
            raise Skipped("PulseAudio could not start")
        rooms = [Room(clock, link) for clock, link in zip(clock_offsets(len(links)), links)]
        house = House(harness, rooms)
        return heard_skew.measure(harness, tool, len(rooms), starts, song_folder, start_clients=house.start_clients,
                                  same_clock=False)
    finally:
        harness.close()


def play_in_house(harness, playlist_path, rooms, song):
    """Cards running, every room holding `song`, a server that plays it as soon as all have
    loaded it, and the clients: answers (house, server, clients)."""
    house = House(harness, rooms)
    house.start_cards()
    for i in range(len(rooms)):
        harness.place_song(f"client{i + 1:02d}", song.resolve(), song)
    playlist = write_playlist(playlist_path, [song])
    server, port = harness.start_server(playlist, ["--start-when-clients", str(len(rooms)), "--play-when-loaded",
                                                   "--quit-after-stop"])
    return house, server, house.start_clients(port)


def make_marker_song(path):
    """Silence with a loud noise burst every MARKER_EVERY_S seconds, each from its own seed: a
    card's recording shows where each burst was heard, to the frame."""
    if path.is_file():
        return path
    path.parent.mkdir(parents=True, exist_ok=True)
    frames = MARKER_SONG_S * RATE
    samples = array.array("h", bytes(frames * CHANNELS * 2))
    for k, at in enumerate(range(1, MARKER_SONG_S, MARKER_EVERY_S)):
        rng = random.Random(1000 + k)
        start = at * RATE * CHANNELS
        for i in range(int(MARKER_S * RATE) * CHANNELS):
            samples[start + i] = rng.randint(-MARKER_AMPLITUDE, MARKER_AMPLITUDE)
    return write_mp3(samples, path, RATE, CHANNELS)


def loud_onsets(raw, loud, quiet_s, limit):
    """Frames of a raw s16le recording where it first reaches `loud` after at least `quiet_s`
    seconds below it; at most `limit` of them."""
    onsets = []
    chunk = 4096 * CHANNELS
    last_loud = None
    frame_base = 0
    with open(raw, "rb") as f:
        while len(onsets) < limit:
            block = array.array("h")
            data = f.read(chunk * 2)
            if len(data) < 2 * CHANNELS:
                break
            block.frombytes(data[:len(data) - len(data) % (2 * CHANNELS)])
            if sys.byteorder != "little":
                block.byteswap()
            if max(block) >= loud or min(block) <= -loud:
                for i, sample in enumerate(block):
                    if abs(sample) >= loud:
                        frame = frame_base + i // CHANNELS
                        if last_loud is None or frame - last_loud > quiet_s * RATE:
                            onsets.append(frame)
                        last_loud = frame
            frame_base += len(block) // CHANNELS
    return onsets[:limit]


def drift(program, folder, song_folder, ppms=DRIFT_PPM):
    """Clients on cards at `ppms` off the nominal rate (each on a clock of its own, 1 ms links)
    play one five-minute song with markers; answers per marker the spread (ms) of the moments
    the cards heard it, each card's record, and how much each card's playing was stretched
    against the reader's clock (ppm; 0 when the client corrected for its card)."""
    need_time_namespaces()
    song = make_marker_song(song_folder / f"markers_{MARKER_SONG_S}s.mp3")
    markers = len(range(1, MARKER_SONG_S, MARKER_EVERY_S))
    harness = Harness(program, folder, own_pulse=True)
    try:
        if not harness.env.get("PULSE_SERVER"):
            raise Skipped("PulseAudio could not start")
        rooms = [Room(clock, (1, 0), (ppm, ORDINARY_PIPE_BYTES)) for clock, ppm in zip(clock_offsets(len(ppms)), ppms)]
        house, server, clients = play_in_house(harness, folder / "drift.tunvero", rooms, song)
        everyone = [server] + clients
        harness.wait_for(lambda: all(heard_skew.told_to_play(c) for c in clients), 120,
                         "every client to be told to play", watch=everyone)
        # The last marker and a little more: the song plays again only after the gap.
        time.sleep(MARKER_SONG_S - MARKER_EVERY_S + 2 * MARKER_S + 2)
        server.send("stop")
        statuses = harness.wait_exit(everyone, 30)
        records = house.stop_cards()
    finally:
        harness.close()
    heard = {}
    for i, record in records.items():
        frames = loud_onsets(record.raw, MARKER_AMPLITUDE // 2, MARKER_EVERY_S / 2, markers)
        heard[clients[i].name] = [record.heard_ns(f) for f in frames]
        # Five minutes of four cards is 200 MB.
        record.raw.unlink()
    spreads = []
    for k in range(markers):
        moments = [h[k] for h in heard.values() if len(h) > k]
        if len(moments) == len(heard):
            spreads.append((max(moments) - min(moments)) / 1e6)
    stretch = {name: round(((h[-1] - h[0]) / ((len(h) - 1) * MARKER_EVERY_S * 1e9) - 1) * 1e6, 1)
               for name, h in heard.items() if len(h) >= 2}
    return {"spreads_ms": spreads, "markers": markers, "heard": heard, "stretch_ppm": stretch,
            "cards": {clients[i].name: r.record for i, r in records.items()}, "statuses": statuses}


def first_starts(program, tool, folder, song_folder, runs=FIRST_START_RUNS):
    """Runs of fresh copies, each playing a song of noise loud from its first sample once the
    clients hold it: the first start of each run on cold streams, on cards of their own, one of
    which holds 350 ms. Answers per run and client the frames of the song's beginning not heard,
    and per run the spread (ms) of the moments the cards heard the song's first frame."""
    need_time_namespaces()
    song = make_noise_song(song_folder / f"noise_{FIRST_START_SONG_S}s_first.mp3", FIRST_START_SONG_S, 101)
    pipes = [ORDINARY_PIPE_BYTES, ORDINARY_PIPE_BYTES, ORDINARY_PIPE_BYTES, DEEP_PIPE_BYTES]
    rooms = [Room(clock, (1, 0), (0, pipe)) for clock, pipe in zip(clock_offsets(len(pipes)), pipes)]
    base = Harness(program, folder, own_pulse=True)
    statuses = {}
    try:
        if not base.env.get("PULSE_SERVER"):
            raise Skipped("PulseAudio could not start")
        cards = House(base, rooms)
        cards.start_cards()
        for run in range(runs):
            harness = Harness(program, folder / f"run{run + 1}", pulse=False)
            harness.env = dict(base.env)
            try:
                for i in range(len(rooms)):
                    harness.place_song(f"client{i + 1:02d}", song.resolve(), song)
                playlist = write_playlist(harness.workdir / "first.tunvero", [song])
                server, port = harness.start_server(playlist, ["--start-when-clients", str(len(rooms)),
                                                               "--play-when-loaded", "--quit-after-stop"])
                clients = House(harness, rooms).start_clients(port)
                everyone = [server] + clients
                harness.wait_for(lambda: all(heard_skew.told_to_play(c) for c in clients), 60,
                                 "every client to be told to play", watch=everyone)
                time.sleep(FIRST_START_SONG_S + 1.5)
                server.send("stop")
                for name, status in harness.wait_exit(everyone, 30).items():
                    statuses[f"run{run + 1}/{name}"] = status
            finally:
                harness.close()
        records = cards.stop_cards()
    finally:
        base.close()
    lost = {}
    heard = {}
    for i, record in records.items():
        name = f"client{i + 1:02d}"
        onsets = heard_skew.find_onsets(tool, record.raw, [song], runs, loud=HEARD_LOUD)[0][0]
        lost[name] = [o["lost_frames"] if o["matched"] else None for o in onsets]
        heard[name] = [record.heard_ns(o["frame"]) if o["matched"] else None for o in onsets]
    spreads = []
    for run in range(runs):
        moments = [h[run] for h in heard.values() if len(h) > run and h[run] is not None]
        if len(moments) == len(heard):
            spreads.append((max(moments) - min(moments)) / 1e6)
    return {"lost_frames": lost, "spreads_ms": spreads, "statuses": statuses,
            "deep_card": f"client{len(rooms):02d}", "cards": {f"client{i + 1:02d}": r.record
                                                              for i, r in records.items()}}


def heard_on_pipewire(program, tool, folder, song_folder, clients, starts=5):
    """heard_skew's figures with the clients playing into a private PipeWire's null sink, the
    run's first start among them."""
    harness = Harness(program, folder, own_pulse=True, sound_server="pipewire")
    try:
        if not harness.env.get("PULSE_SERVER"):
            raise Skipped(f"PipeWire could not start ({harness.sound_server_trouble})")
        return heard_skew.measure(harness, tool, clients, starts, song_folder)
    finally:
        harness.close()


def card_reports(program, tool, folder, song_folder, starts=2):
    """Whether the sound server's timing follows a card: two clients on the server's own clock,
    on cards at +80 ppm (93 ms of pipe) and -80 ppm (370 ms), play a song of noise `starts`
    times. Answers per client and start how far (ms) the moment its output reported the song's
    first frame heard ("first_heard") lies from the moment its card took that frame."""
    song = make_noise_song(song_folder / f"noise_{FIRST_START_SONG_S}s_first.mp3", FIRST_START_SONG_S, 101)
    rooms = [Room(0, None, (80, ORDINARY_PIPE_BYTES)), Room(0, None, (-80, DEEP_PIPE_BYTES))]
    harness = Harness(program, folder, own_pulse=True)
    try:
        if not harness.env.get("PULSE_SERVER"):
            raise Skipped("PulseAudio could not start")
        house, server, clients = play_in_house(harness, folder / "cards.tunvero", rooms, song)
        everyone = [server] + clients
        harness.wait_for(lambda: all(len(heard_skew.told_to_play(c)) >= starts for c in clients),
                         starts * (FIRST_START_SONG_S + heard_skew.GAP_S) + 60, f"every client to play {starts} times",
                         watch=everyone)
        time.sleep(FIRST_START_SONG_S + 1.5)
        server.send("stop")
        statuses = harness.wait_exit(everyone, 30)
        records = house.stop_cards()
    finally:
        harness.close()
    errors = {}
    for i, record in records.items():
        onsets = heard_skew.find_onsets(tool, record.raw, [song], starts)[0][0]
        reported = [e["t_ns"] for e in clients[i].events("first_heard")]
        errors[clients[i].name] = [round((t - record.heard_ns(o["frame"])) / 1e6, 3) if o["matched"] else None
                                   for o, t in zip(onsets, reported)]
    return {"errors_ms": errors, "statuses": statuses,
            "cards": {clients[i].name: r.record for i, r in records.items()}}
