#!/usr/bin/env python3
"""The sync benchmark: one server and ten clients of the real program, unattended on
127.0.0.1, all playing into one PulseAudio null sink.

Run 1: a play list of three generated songs (20, 25 and 30 s) played twice round at low
speed. The server starts the run once the ten clients are ready; play is pressed by the
harness (the "play" command) as soon as every client holds song 0, so the first song plays
while songs 1 and 2 are still being fetched. The run is stopped when every client has been
told to play a seventh time (six whole songs heard).

Run 2: a five-minute song placed beforehand in every client's download tree; the server
starts a run of that song alone, and each client's opening time is the time from "SetMusic"
to the media layer's report of the opened device (close every device, find the file, open it).

Run 3 (what is heard): each client holds its own white noise under the server's one song; the
server plays it five times, the sink's monitor is recorded and the onset tool finds where each
client's noise begins (bench/heard_skew.py).

Prints a line per figure and, last, one JSON object:
  clients, songs_identical, start_skew_ms_p50/_p95/_max (per "PlayMusic", the spread across
  clients of the moment the song starts at the sound output: where the output reports when
  samples are heard, the moment it reports the first one heard, else the moment the first
  samples were handed to it),
  playmusic_spread_ms_p95 (the same for the moment "PlayMusic" had been handled),
  cold_first_play_ms_max (the first play of each client: how late its start was against the
  moment it was scheduled for, or without a schedule, from "PlayMusic" arriving to the first
  samples),
  open_5min_song_ms_p50/_max, client_event_loop_max_stall_ms (the worst lateness of a 1 ms
  timer in any client during transfer and play); also wrong_slot_plays ("PlayMusic" heard
  as another slot than the other clients heard) and songs_fetched_again (a song that arrived
  damaged and was asked for a second time);
  heard_skew_ms_p50/_p95/_max (per start of run 3, the spread across clients of the moment
  their song is heard in the recording), schedule_error_ms_p95 (per start and client, how far
  the moment the output reports the first sample heard lies from the moment it was scheduled
  for, from the clients' "first_heard" events), heard_placement_ms_p95/_max (per start, the
  spread of the beginnings in the recording once each is measured from the moment its client
  scheduled it: how well the songs were placed, without the spread of the moments "PlayMusic"
  reached the clients).

Then four clients in a house on one machine (bench/house.py), each on a monotonic clock of its
own (a time namespace; root only), each figure from what was heard, never from the clients'
logs:
  links_heard_skew_ms_p95/_max (links of 0.5, 1, 3 and 8 ms each way, one null sink recorded),
  jitter_heard_skew_ms_p95/_max (links of 1 ms plus 0-10 ms drawn for each segment),
  drift_spread_ms_max (cards of their own running at -80, 0, +80 and +40 ppm play a five-minute
  song with a noise burst every 15 s: the widest spread of the moments the cards heard a burst),
  first_start_samples_lost_max (three runs of fresh copies, each run's first start on cold
  streams, cards of their own, one holding 350 ms: the most frames of the song's beginning any
  card did not play),
  pipewire_heard_skew_ms_p95/_max (as run 3 with four clients into a private PipeWire's null
  sink, the run's first start among the five).
Clients that come late (bench/late_join.py): four clients play a minute of noise into one
recorded null sink, 20 s into it a fifth that holds the song connects and a sixth that has to
fetch it:
  late_join_heard_skew_ms (the fifth against the farthest of the four, where it was heard soon
  after it joined and near the song's end, the worse of the two), late_join_first_sound_s (from
  the fifth's connection to its first sound, from its own log), late_fetch_plays_next_song (the
  sixth heard within 0.5 ms of the four at the song's next start), late_join_others_next_skew_ms
  (the four's heard skew at that next start).
The scenario "cards" adds no key: it prints how far two clients' reports of a song's first frame
heard lie from the moments their cards took it.
A figure that could not be measured, or whose scenario cannot run here, is null.

    bench/sync_bench.py [PROGRAM] [--clients N] [--work DIR] [--onset-tool TOOL]
                        [--only playlist|open|heard|links|jitter|drift|first-start|cards|pipewire|
                               late-join]..."""

import argparse
import json
import math
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import heard_skew  # noqa: E402
import house_bench  # noqa: E402
import late_join  # noqa: E402
from tunvero_harness import REPO, Harness, HarnessError, download_path, sha256_of, write_playlist  # noqa: E402

SONG_SECONDS = [20, 25, 30]
GAP_S = 3
ROUNDS = 2
HEARD_STARTS = 5
MAX_RECORDING_MISSING_S = 0.5


TONE_RATE = 44100


def make_song(path, seconds, frequency):
    """A stereo 44.1 kHz tone at 128 kbit/s, written atomically and kept for later runs."""
    if path.is_file():
        return path
    path.parent.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        wav = Path(work) / "tone.wav"
        mp3 = Path(work) / "tone.mp3"
        subprocess.run(["sox", "-n", "-r", str(TONE_RATE), "-c", "2", "-b", "16", str(wav), "synth", str(seconds),
                        "sine", str(frequency), "sine", str(frequency * 3 // 2), "vol", "0.5"], check=True)
        subprocess.run(["lame", "--quiet", "-b", "128", str(wav), str(mp3)], check=True)
        shutil.move(str(mp3), path)
    return path


def percentile(values, p):
    """Nearest rank; None for no values."""
    if not values:
        return None
    ordered = sorted(values)
    return ordered[max(0, math.ceil(p / 100 * len(ordered)) - 1)]


def rounded(value):
    return None if value is None else round(value, 3)


def plays(client):
    """Each "PlayMusic" the client got, in order: (arrival, slot, handled, start, scheduled) with
    start the moment the song starts at the output (see above) and scheduled its planned moment
    (None without a schedule)."""
    events = client.events()
    out = []
    for i, e in enumerate(events):
        if e["event"] != "message" or e.get("word") != "PlayMusic":
            continue
        slot = e.get("slot")
        handled = first = heard = scheduled = None
        for later in events[i + 1:]:
            if later["event"] == "message" and later.get("word") in ("PlayMusic", "StopAllMusic"):
                break
            if later["event"] == "play_handled" and handled is None:
                handled = later["t_ns"]
            if later.get("slot") != slot:
                continue
            if later["event"] == "first_samples" and first is None:
                first = later["t_ns"]
            if later["event"] == "play_scheduled" and scheduled is None:
                scheduled = later["scheduled_ns"]
            if later["event"] == "first_heard" and heard is None and later.get("scheduled_ns") == scheduled:
                # A client that joined the song later (it was still fetching it) is heard from a
                # later sample on: where its first sample would have been heard is what compares.
                # It did not start on the message, so its handling does not count.
                sample = later.get("sample", 0)
                heard = later["t_ns"] - round(sample * 1e9 / TONE_RATE)
                handled = None if sample > 0 else handled
        out.append((e["t_ns"], slot, handled, heard if heard is not None else first, scheduled))
    return out


def announced_slots(clients, count):
    """The slot most clients were told at each "PlayMusic"; a client told another misheard it."""
    table = [plays(c) for c in clients]
    slots = []
    for k in range(count):
        told = [rows[k][1] for rows in table if len(rows) > k]
        slots.append(max(set(told), key=told.count) if told else None)
    return slots


def spreads(clients, column, count):
    """Per "PlayMusic" k, the spread (ms) across clients of `column`; clients without it, or told
    another slot than the others, are left out."""
    table = [plays(c) for c in clients]
    slots = announced_slots(clients, count)
    result = []
    for k in range(count):
        moments = [rows[k][column] for rows in table
                   if len(rows) > k and rows[k][column] is not None and rows[k][1] == slots[k]]
        if len(moments) >= 2:
            result.append((max(moments) - min(moments)) / 1e6)
    return result


def run_playlist(harness, clients_wanted, songs):
    playlist = write_playlist(harness.workdir / "run.tunvero", songs)
    server, port = harness.start_server(playlist, ["--start-when-clients", str(clients_wanted), "--quit-after-stop"])
    clients = harness.start_clients(clients_wanted, port, ["--quit-after-stop"])
    everyone = [server] + clients
    harness.wait_for(lambda: server.events("song_list_sent"), 60, "the run to start", watch=everyone)
    run_start = server.events("run_started")[0]["t_ns"]

    def holds(slot):
        return all(any(e["slot"] == slot for e in c.events("song_stored")) for c in clients)

    harness.wait_for(lambda: holds(0), 300, "every client to hold song 0", watch=everyone)
    server.send("play")
    told = len(songs) * ROUNDS + 1
    total_s = ROUNDS * sum(SONG_SECONDS[:len(songs)]) + told * GAP_S
    harness.wait_for(lambda: all(len(plays(c)) >= told for c in clients), total_s + 120,
                     f"every client to be told to play {told} times", watch=everyone)
    stop_ns = max(c.events("message")[-1]["t_ns"] for c in clients)
    server.send("stop")
    status = harness.wait_exit(everyone, 30)
    return server, clients, status, run_start, stop_ns, told


def open_long_song(harness, clients_wanted, song):
    """Run 2: every client opens a five-minute song it already holds; answers the times in ms."""
    folder = harness.workdir / "long"
    long_harness = Harness(harness.program, folder, pulse=False)
    long_harness.env = dict(harness.env)
    try:
        playlist = write_playlist(folder / "long.tunvero", [song])
        for i in range(clients_wanted):
            place = download_path(folder / f"client{i + 1:02d}" / "download", str(song.resolve()))
            place.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(song, place)
        server, port = long_harness.start_server(playlist, ["--start-when-clients", str(clients_wanted)])
        clients = long_harness.start_clients(clients_wanted, port, ["--quit-after-stop"])
        long_harness.wait_for(lambda: all(c.events("all_files_loaded_sent") for c in clients), 120,
                              "every client to open the five-minute song", watch=[server] + clients)
        times = []
        for c in clients:
            arrived = [e["t_ns"] for e in c.events("message") if e.get("word") == "SetMusic"][0]
            # The media layer's own moment of the opened device, else the report that follows it.
            opened = [e["t_ns"] for e in c.events("device_opened") if e.get("slot") == 0]
            done = opened[0] if opened else c.events("all_files_loaded_sent")[0]["t_ns"]
            times.append((done - arrived) / 1e6)
        server.send("quit")
        long_harness.wait_exit([server] + clients, 30)
        return times
    finally:
        long_harness.close()


def hear_noises(harness, clients_wanted, tool, song_folder):
    """Run 3: answers heard_skew's figures for HEARD_STARTS starts."""
    folder = harness.workdir / "heard"
    # A sink of its own: nothing but these copies in the recording.
    heard_harness = Harness(harness.program, folder, own_pulse=True)
    try:
        return heard_skew.measure(heard_harness, tool, clients_wanted, HEARD_STARTS, song_folder)
    finally:
        heard_harness.close()


def playlist_scenario(args, harness, result, song_folder):
    """Run 1: the play list played twice round by every client."""
    songs = [make_song(song_folder / f"tone_{s}s.mp3", s, 330 + 110 * i) for i, s in enumerate(SONG_SECONDS)]
    server, clients, status, run_start, stop_ns, told = run_playlist(harness, args.clients, songs)
    print(f"run 1: {len(clients)} clients, exit statuses {sorted(set(status.values()), key=str)}")
    failed = any(s != 0 for s in status.values())

    expected = [sha256_of(s) for s in songs]
    identical = True
    for c in clients:
        for song, digest in zip(songs, expected):
            stored = download_path(c.download_folder, str(song.resolve()))
            identical = identical and stored.is_file() and sha256_of(stored) == digest
    result["songs_identical"] = identical

    skews = spreads(clients, 3, told)
    handled = spreads(clients, 2, told)
    print("start skew per PlayMusic (ms):", " ".join(f"{s:.2f}" for s in skews))
    print("PlayMusic handled spread (ms):", " ".join(f"{s:.2f}" for s in handled))
    result["start_skew_ms_p50"] = rounded(percentile(skews, 50))
    result["start_skew_ms_p95"] = rounded(percentile(skews, 95))
    result["start_skew_ms_max"] = rounded(max(skews, default=None))
    result["playmusic_spread_ms_p95"] = rounded(percentile(handled, 95))

    cold = [(p[0][3] - (p[0][4] if p[0][4] is not None else p[0][0])) / 1e6
            for p in (plays(c) for c in clients) if p and p[0][3] is not None]
    result["cold_first_play_ms_max"] = rounded(max(cold, default=None))

    slots = announced_slots(clients, told)
    wrong = [(c.name, k, p[1], slots[k]) for c in clients for k, p in enumerate(plays(c)[:told])
             if p[1] != slots[k]]
    for name, k, heard, meant in wrong:
        print(f"{name} was told to play slot {heard} at PlayMusic {k}, the others slot {meant}")
    result["wrong_slot_plays"] = len(wrong)
    # A song asked for again ("SetFileDone" more often than songs stored) arrived damaged once.
    again = sum(max(0, sum(1 for e in c.events("message") if e.get("word") == "SetFileDone")
                    - len(c.events("song_stored"))) for c in clients)
    result["songs_fetched_again"] = again
    print(f"songs fetched a second time: {again}")

    pending = sum(1 for c in clients for e in c.events("song_stored")
                  if e["t_ns"] > plays(c)[0][0])
    print(f"songs stored after the first PlayMusic (transfer and play overlapping): {pending}")

    stalls = [e["worst_ms"] for c in clients for e in c.events("loop_stall")
              if run_start <= e["t_ns"] <= stop_ns + 1_000_000_000]
    result["client_event_loop_max_stall_ms"] = rounded(max(stalls, default=None))
    return failed


def open_scenario(args, harness, result, song_folder):
    """Run 2: every client opens a five-minute song it holds."""
    opens = open_long_song(harness, args.clients, make_song(song_folder / "tone_300s.mp3", 300, 220))
    print("five-minute song opening (ms):", " ".join(f"{t:.1f}" for t in sorted(opens)))
    result["open_5min_song_ms_p50"] = rounded(percentile(opens, 50))
    result["open_5min_song_ms_max"] = rounded(max(opens, default=None))
    return False


def print_heard(heard, label="heard"):
    for k, start in enumerate(heard["starts"]):
        missing = sorted(set(heard["clients"]) - set(start))
        print(f"start {k}: {len(start)} clients heard" + (f", not found: {' '.join(missing)}" if missing else ""))
    for name, frame, confidence in heard["unmatched"]:
        print(f"{name}'s noise not matched (frame {frame}, confidence {confidence})")
    print(f"{label} skew per start (ms):", " ".join(f"{s:.2f}" for s in heard["spreads_ms"]))
    print(f"onsets found in {heard['onsets_ms']} ms")
    missing = heard["recording_missing_s"]
    if missing is not None:
        print(f"the recording is {missing:.3f} s shorter than the time it ran")
    if missing is not None and missing > MAX_RECORDING_MISSING_S:
        print(f"the recording is {missing:.1f} s shorter than the time it ran: the recorder was kept from "
              f"reading and lost sound, so the skews above are left out")
        # Starts lie closer together in the file than they were heard: nothing in it counts.
        heard["spreads_ms"] = []
        heard["placement_spreads_ms"] = []
        return True
    return any(s != 0 for s in heard["statuses"].values())


def set_skews(result, prefix, skews):
    result[f"{prefix}_ms_p95"] = rounded(percentile(skews, 95))
    result[f"{prefix}_ms_max"] = rounded(max(skews, default=None))


def heard_scenario(args, harness, result, song_folder):
    """Run 3: what is heard, every client on 127.0.0.1 into one null sink."""
    heard = hear_noises(harness, args.clients, args.onset_tool, song_folder / "noise")
    failed = print_heard(heard)
    print("heard, measured from each client's scheduled moment (ms):",
          " ".join(f"{s:.3f}" for s in heard["placement_spreads_ms"]))
    print("first samples spread per start (ms):", " ".join(f"{s:.2f}" for s in heard["first_samples_spreads_ms"]))
    for name, slot, dropped in heard["late_starts"]:
        print(f"{name} started slot {slot} late, its first {dropped:.1f} ms dropped")
    skews = heard["spreads_ms"]
    result["heard_skew_ms_p50"] = rounded(percentile(skews, 50))
    set_skews(result, "heard_skew", skews)
    result["schedule_error_ms_p95"] = rounded(percentile(heard["schedule_errors_ms"], 95))
    result["heard_placement_ms_p95"] = rounded(percentile(heard["placement_spreads_ms"], 95))
    result["heard_placement_ms_max"] = rounded(max(heard["placement_spreads_ms"], default=None))
    return failed


def through_links(args, harness, result, song_folder, name, links):
    """Clients each on a clock of its own behind `links`: their heard skew as `name`_heard_skew."""
    heard = house_bench.heard_through_links(args.program, args.onset_tool, harness.workdir / name,
                                            song_folder / "noise", links)
    failed = print_heard(heard, f"{name}: heard")
    set_skews(result, f"{name}_heard_skew", heard["spreads_ms"])
    return failed


def links_scenario(args, harness, result, song_folder):
    """Four clients, each on a clock of its own, behind links of 0.5, 1, 3 and 8 ms."""
    links = [(d, 0) for d in house_bench.LINKS_MS]
    print("links (ms one way):", " ".join(str(d) for d, _ in links))
    return through_links(args, harness, result, song_folder, "links", links)


def jitter_scenario(args, harness, result, song_folder):
    """Four clients, each on a clock of its own, behind links of 1 ms and 0-10 ms a segment."""
    links = [house_bench.JITTER] * 4
    print(f"links: {links[0][0]} ms + 0-{links[0][1]} ms a segment")
    return through_links(args, harness, result, song_folder, "jitter", links)


def drift_scenario(args, harness, result, song_folder):
    """Four clients on cards that run at -80, 0, +80 and +40 ppm play a five-minute song."""
    drift = house_bench.drift(args.program, harness.workdir / "drift", song_folder)
    for name, card in drift["cards"].items():
        print(f"{name}: card at {card['ppm']:+g} ppm, {card['pipe_bytes']} bytes of pipe, breaks in the sound "
              f"{len(card['short_blocks'])}, reads late by at most {card['late_ms_max']} ms, "
              f"{card['fill_bytes_mean']:.0f} bytes in the pipe on average; played stretched by "
              f"{drift['stretch_ppm'].get(name)} ppm; markers heard {len(drift['heard'][name])} of {drift['markers']}")
    print("drift: spread per marker (ms):", " ".join(f"{s:.2f}" for s in drift["spreads_ms"]))
    result["drift_spread_ms_max"] = rounded(max(drift["spreads_ms"], default=None))
    return any(s != 0 for s in drift["statuses"].values()) or len(drift["spreads_ms"]) < drift["markers"]


def first_start_scenario(args, harness, result, song_folder):
    """First starts of fresh runs, cold streams, on cards of their own, one holding 350 ms."""
    first = house_bench.first_starts(args.program, args.onset_tool, harness.workdir / "first-start",
                                     song_folder / "noise")
    for name, lost in first["lost_frames"].items():
        deep = " (its card holds 350 ms)" if name == first["deep_card"] else ""
        print(f"{name}{deep}: frames of the song's beginning not heard per run: {lost}; breaks in the sound "
              f"{len(first['cards'][name]['short_blocks'])} (a song's end is one)")
    print("first starts: heard skew per run (ms):", " ".join(f"{s:.2f}" for s in first["spreads_ms"]))
    lost = [n for runs in first["lost_frames"].values() for n in runs]
    result["first_start_samples_lost_max"] = None if None in lost or -1 in lost or not lost else max(lost)
    if None in lost or -1 in lost:
        print("first starts: a run's song was not found on every card")
    return any(s != 0 for s in first["statuses"].values()) or result["first_start_samples_lost_max"] is None


def cards_scenario(args, harness, result, song_folder):
    """Checks the pipe-sink cards the drift and first-start scenarios stand on: the moment a
    client's output reports a song's first frame heard against the moment its card took it."""
    cards = house_bench.card_reports(args.program, args.onset_tool, harness.workdir / "cards",
                                     song_folder / "noise")
    for name, errors in cards["errors_ms"].items():
        card = cards["cards"][name]
        print(f"{name}: card at {card['ppm']:+g} ppm, {card['pipe_bytes']} bytes of pipe: reported first frame "
              f"heard minus the card's moment (ms): {errors}")
    return any(s != 0 for s in cards["statuses"].values())


def pipewire_scenario(args, harness, result, song_folder):
    """Four clients on 127.0.0.1 playing into a private PipeWire's null sink."""
    heard = house_bench.heard_on_pipewire(args.program, args.onset_tool, harness.workdir / "pipewire",
                                          song_folder / "noise", 4)
    failed = print_heard(heard, "PipeWire: heard")
    set_skews(result, "pipewire_heard_skew", heard["spreads_ms"])
    return failed


def late_join_scenario(args, harness, result, song_folder):
    """A client that holds the playing song and one that must fetch it connect 20 s into it."""
    folder = harness.workdir / "late-join"
    # A sink of its own: nothing but these copies in the recording.
    late_harness = Harness(args.program, folder, own_pulse=True)
    try:
        late = late_join.measure(late_harness, args.onset_tool, song_folder / "noise")
    finally:
        late_harness.close()
    found = late_join.figures(late)

    def shown(value, unit="ms"):
        return "not found" if value is None else f"{value:.3f} {unit}"

    print(f"the four at the first start: skew {shown(found['others_first_skew_ms'])}")
    print(f"{late['holder']} (holds the song): first sound {shown(found['first_sound_s'], 's')} after it connected, "
          f"from the song's sample {late['joined_sample']}")
    for (point_s, _), skew, fetcher in zip(late["windows"], found["holder_skews_ms"], found["fetcher_skews_ms"]):
        print(f"{point_s:.1f} s into the song, against the farthest of the four: {late['holder']} {shown(skew)}, "
              f"{late['fetcher']} {shown(fetcher)}")
    if late["fetcher_played_first_song"]:
        print(f"{late['fetcher']} (fetches the song) joined the playing song once it held it: from the song's "
              f"sample {late['fetcher_joined_sample']}, {shown(late['fetcher_joined_s'], 's')} after it connected")
    print(f"{late['fetcher']} at the next start against the farthest of the four {shown(found['fetcher_next_ms'])}")
    print(f"the four at the next start: skew {shown(found['others_next_skew_ms'])}; "
          f"{late['holder']} against them {shown(found['holder_next_ms'])}")
    print(f"onsets found in {late['onsets_ms']} ms")
    missing = late["recording_missing_s"]
    if missing is not None and missing > MAX_RECORDING_MISSING_S:
        print(f"the recording is {missing:.1f} s shorter than the time it ran: the recorder was kept from "
              f"reading and lost sound, so nothing heard counts")
        found.update(heard_skew_ms=None, fetch_plays_next_song=None, others_next_skew_ms=None)
    result["late_join_heard_skew_ms"] = rounded(found["heard_skew_ms"])
    result["late_join_first_sound_s"] = rounded(found["first_sound_s"])
    result["late_fetch_plays_next_song"] = found["fetch_plays_next_song"]
    result["late_join_others_next_skew_ms"] = rounded(found["others_next_skew_ms"])
    return any(s != 0 for s in late["statuses"].values()) or found["heard_skew_ms"] is None


SCENARIOS = {
    "playlist": playlist_scenario,
    "open": open_scenario,
    "heard": heard_scenario,
    "links": links_scenario,
    "jitter": jitter_scenario,
    "drift": drift_scenario,
    "first-start": first_start_scenario,
    "cards": cards_scenario,
    "pipewire": pipewire_scenario,
    "late-join": late_join_scenario,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("program", nargs="?", default=str(REPO / "build/app/tunvero"))
    parser.add_argument("--clients", type=int, default=10, help="clients of runs 1 to 3 (default 10)")
    parser.add_argument("--work", default=None)
    parser.add_argument("--onset-tool", default=None, help="default: bench/tunvero_heard_onsets of PROGRAM's build")
    parser.add_argument("--only", action="append", choices=list(SCENARIOS), default=None,
                        help="run only this scenario (may be given more than once)")
    args = parser.parse_args()
    args.onset_tool = args.onset_tool or heard_skew.onset_tool(args.program)

    song_folder = REPO / "build/bench-sync-songs"
    work = Path(args.work) if args.work else Path(tempfile.mkdtemp(prefix="tunvero-sync."))
    shutil.rmtree(work, ignore_errors=True)

    result = {
        "clients": args.clients, "songs_identical": None,
        "start_skew_ms_p50": None, "start_skew_ms_p95": None, "start_skew_ms_max": None,
        "playmusic_spread_ms_p95": None, "cold_first_play_ms_max": None,
        "open_5min_song_ms_p50": None, "open_5min_song_ms_max": None, "client_event_loop_max_stall_ms": None,
        "wrong_slot_plays": None, "songs_fetched_again": None,
        "heard_skew_ms_p50": None, "heard_skew_ms_p95": None, "heard_skew_ms_max": None,
        "schedule_error_ms_p95": None, "heard_placement_ms_p95": None, "heard_placement_ms_max": None,
        "links_heard_skew_ms_p95": None, "links_heard_skew_ms_max": None,
        "jitter_heard_skew_ms_p95": None, "jitter_heard_skew_ms_max": None,
        "drift_spread_ms_max": None, "first_start_samples_lost_max": None,
        "pipewire_heard_skew_ms_p95": None, "pipewire_heard_skew_ms_max": None,
        "late_join_heard_skew_ms": None, "late_join_first_sound_s": None, "late_fetch_plays_next_song": None,
        "late_join_others_next_skew_ms": None,
    }
    harness = Harness(args.program, work)
    failed = False
    try:
        for name in args.only or SCENARIOS:
            print(f"== {name}", flush=True)
            began = time.monotonic()
            try:
                failed = SCENARIOS[name](args, harness, result, song_folder) or failed
            except house_bench.Skipped as reason:
                print(f"{name}: skipped: {reason}")
            except HarnessError as error:
                print(f"sync benchmark, {name}:", error, file=sys.stderr)
                failed = True
            print(f"== {name} took {time.monotonic() - began:.0f} s", flush=True)
    finally:
        harness.close()
    print(f"event logs in {work}")
    print(json.dumps(result))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
