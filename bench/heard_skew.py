"""What is heard: each client holds its own white noise under one song of the server, the
server plays that song (a run of one song plays it again after each gap), the null sink's
monitor is recorded, and the program's own decoder finds where each client's noise begins in
the recording (bench/heard_onsets.cpp). The spread of those beginnings at one start is the
skew a listener between the rooms hears.

Used by the sync benchmark and the whole-program test tests/e2e/heard_in_step.py."""

import json
import subprocess
import time
from pathlib import Path

from tunvero_harness import HarnessError, make_noise_song, write_playlist

RATE = 44100
CHANNELS = 2
SONG_SECONDS = 2
# The server's gap between the end of a song and the next announcement, and its 500 ms check.
GAP_S = 3.5
# Only the songs' first half second is looked for: a client holding its song to its clock
# inserts or drops frames while it plays, and a song found whole is placed where most of it
# lies, not where it began. White noise a few frames off its place matches nothing.
SEARCHED_S = 0.5
# Beginnings further apart than this belong to different starts.
SAME_START_S = 1.0


def onset_tool(program):
    """The onset tool of the build that holds `program` (build/app/tunvero)."""
    return Path(program).resolve().parent.parent / "bench" / "tunvero_heard_onsets"


def find_onsets(tool, recording, songs, count, seconds=SEARCHED_S, from_s=0, loud=0, min_confidence=None,
                rate=RATE, channels=CHANNELS):
    """The onset tool's beginnings of each song in a raw recording, per song a list of
    {frame, confidence, matched[, lost_frames]}, and the time the tool took (ms). With `from_s`,
    each song is looked for from that second on, and a frame found is where that point of the
    song was heard."""
    arguments = [str(tool), "--rate", str(rate), "--channels", str(channels), "--count", str(count),
                 "--seconds", str(seconds)]
    if from_s:
        arguments += ["--from", str(from_s)]
    if min_confidence is not None:
        arguments += ["--min-confidence", str(min_confidence)]
    if loud:
        arguments += ["--loud", str(loud)]
    found = subprocess.run(arguments + [str(recording)] + [str(s) for s in songs], capture_output=True, text=True,
                           timeout=300)
    if found.returncode != 0:
        raise HarnessError(f"the onset tool failed: {found.stderr.strip()}")
    report = json.loads(found.stdout)
    return [song["onsets"] for song in report["songs"]], report["elapsed_ms"]


def told_to_play(client):
    return [e["t_ns"] for e in client.events("message") if e.get("word") == "PlayMusic"]


def group_starts(onsets, rate):
    """Matched beginnings (frame, client) split into starts wherever two lie more than
    SAME_START_S apart; answers a {client: frame} a start."""
    starts = []
    previous = None
    for frame, client in sorted(onsets):
        if previous is None or frame - previous > SAME_START_S * rate:
            starts.append({})
        starts[-1].setdefault(client, frame)
        previous = frame
    return starts


def first_samples_per_start(clients, count):
    """Per start k, each client's moment (ns) of the first samples handed to the output after
    its k-th "PlayMusic" and before the next; None where there is none."""
    table = []
    for c in clients:
        told = told_to_play(c) + [float("inf")]
        firsts = [e["t_ns"] for e in c.events("first_samples")]
        table.append([next((t for t in firsts if told[k] <= t < told[k + 1]), None) if k + 1 < len(told) else None
                      for k in range(count)])
    return [[row[k] for row in table] for k in range(count)]


def measure(harness, tool, clients_wanted, starts, song_folder, join_s=60, start_clients=None, same_clock=True):
    """Plays the noise song `starts` times into the recorded sink; answers a dict:
    starts (per start {client name: frame}), spreads_ms (per start holding two clients or more),
    unmatched (client, frame, confidence), placement_spreads_ms (per start, the spread of the
    beginnings each measured from its own scheduled moment), schedule_errors_ms (|first_heard - scheduled| per
    start and client, from the event logs), late_starts (client, slot, ms dropped, for each
    "PlayMusic" handled after its moment), first_samples_spreads_ms, statuses, onsets_ms,
    clients, recording (its path), recording_missing_s (how much shorter the recording is than the
    time it ran) and noises (each client's song, in client order).
    `start_clients(port)` starts the clients (default: on 127.0.0.1 at the server's port);
    without `same_clock` (clients in time namespaces of their own) nothing that compares one
    process's clock with another's is figured: placement_spreads_ms and first_samples_spreads_ms
    stay empty."""
    server_song = make_noise_song(song_folder / f"noise_{SONG_SECONDS}s_0.mp3", SONG_SECONDS, 0)
    noises = [make_noise_song(song_folder / f"noise_{SONG_SECONDS}s_{i + 1}.mp3", SONG_SECONDS, i + 1)
              for i in range(clients_wanted)]
    for i, noise in enumerate(noises):
        harness.place_song(f"client{i + 1:02d}", server_song.resolve(), noise)

    playlist = write_playlist(harness.workdir / "heard.tunvero", [server_song])
    # Recording from the start keeps the sink rendering in short blocks, as a sink that plays
    # does: an idle null sink renders two seconds ahead, and a stream made then waits that long
    # before its clock runs.
    recording = harness.record(harness.workdir / "heard.raw", RATE, CHANNELS)
    server, port = harness.start_server(playlist, ["--start-when-clients", str(clients_wanted), "--quit-after-stop"])
    if start_clients is None:
        clients = harness.start_clients(clients_wanted, port, ["--quit-after-stop"])
    else:
        clients = start_clients(port)
    everyone = [server] + clients
    harness.wait_for(lambda: server.events("song_list_sent") and all(c.events("all_files_loaded_sent")
                                                                     for c in clients),
                     join_s, "every client to open its noise", watch=everyone)

    server.send("play")
    harness.wait_for(lambda: all(len(told_to_play(c)) >= starts for c in clients),
                     starts * (SONG_SECONDS + GAP_S) + 30, f"every client to be told to play {starts} times",
                     watch=everyone)
    # The last start heard whole, with room for a start put off a little and the output's latency;
    # the next announcement comes only after the gap. Timed from when the harness saw the last
    # "PlayMusic": a client's log may run on a clock of its own.
    time.sleep(SONG_SECONDS + 1.0)
    recording.stop()
    server.send("stop")
    statuses = harness.wait_exit(everyone, 30)

    found, elapsed_ms = find_onsets(tool, recording.path, noises, starts)
    matched, unmatched = [], []
    for client, onsets in zip(clients, found):
        for onset in onsets:
            if onset["matched"]:
                matched.append((onset["frame"], client.name))
            else:
                unmatched.append((client.name, onset["frame"], onset["confidence"]))
    grouped = group_starts(matched, RATE)

    firsts = first_samples_per_start(clients, starts) if same_clock else []
    first_spreads = [(max(m) - min(m)) / 1e6 for m in ([t for t in row if t is not None] for row in firsts)
                     if len(m) >= 2]
    schedule_errors = [abs(e["t_ns"] - e["scheduled_ns"]) / 1e6
                       for c in clients for e in c.events("first_heard") if "scheduled_ns" in e]
    late = [(c.name, e.get("slot"), e["late_ns"] / 1e6) for c in clients for e in c.events("play_scheduled")
            if e.get("late_ns", 0) > 0]
    # Per start, how far the clients' beginnings lie apart once each is measured from the moment
    # its client scheduled it for: what the placement got wrong, whatever the spread of the
    # moments "PlayMusic" reached the clients (on one machine, the server can be put off between
    # its writes to the clients).
    scheduled = {c.name: [e["scheduled_ns"] for e in c.events("play_scheduled")] for c in clients}
    placement_spreads = []
    for k, start in enumerate(grouped if same_clock else []):
        offsets = [frame * 1000 / RATE - scheduled[name][k] / 1e6 for name, frame in start.items()
                   if k < len(scheduled[name])]
        if len(offsets) >= 2:
            placement_spreads.append(max(offsets) - min(offsets))
    return {
        "starts": grouped,
        "spreads_ms": [(max(s.values()) - min(s.values())) * 1000 / RATE for s in grouped if len(s) >= 2],
        "unmatched": unmatched,
        "schedule_errors_ms": schedule_errors,
        "placement_spreads_ms": placement_spreads,
        "late_starts": late,
        "first_samples_spreads_ms": first_spreads,
        "statuses": statuses,
        "onsets_ms": elapsed_ms,
        "clients": [c.name for c in clients],
        "recording": recording.path,
        "recording_missing_s": recording.missing_s(),
        "noises": noises,
    }
