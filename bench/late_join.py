"""Clients that come late: four clients play a minute of noise (each holds its own under the
server's one song) into one recorded null sink; 20 s into the song a fifth client connects that
holds the song already (its own noise too), and a sixth that has to fetch it (so it gets the
server's own noise). The run plays the song again after its gap: that next start is where the
sixth should be heard first.

Where a client joined midway is found by looking for its noise from a point well inside the
song (the onset tool's --from): that point is heard at one frame of the recording, and the
frame the song's beginning would have had there is compared with the others'. Every client
holds its song to the server's clock, so where the sink takes frames at a rate of its own (a
private null sink ran 330 ppm fast) the noise is heard stretched, a frame inserted every few
thousand: a long window then matches only in pieces. So short windows are looked for, with a
lower bar (noise that is not there stays near 1, a stretched window that is lies at 3 to 9),
the beginnings as well; inside the song three at each point, and the middle of the three skews
counts.

Used by the sync benchmark (bench/sync_bench.py --only late-join)."""

import statistics
import time

import heard_skew
from heard_skew import CHANNELS, RATE, find_onsets, told_to_play
from tunvero_harness import make_noise_song, write_playlist

SONG_S = 60
JOIN_AFTER_S = 20
FIRST_CLIENTS = 4
# What the late ones are looked for at: a second after the holder was first heard (or this far
# into the song when it never was), and near the song's end.
WINDOW_AFTER_FIRST_SOUND_S = 1.0
WINDOW_FALLBACK_S = JOIN_AFTER_S + 5
WINDOW_NEAR_END_S = SONG_S - 4
WINDOW_S = 0.2
WINDOWS_APART_S = 0.5
WINDOWS_AT_A_POINT = 3
WINDOW_CONFIDENCE = 2.0
# How much of the recording before and after the others' place a window is looked for in.
CUT_S = 2.0
# A late client farther than this from the others is not in step.
IN_STEP_MS = 0.5


def ms(frames):
    return frames * 1000 / RATE


def matched_frames(onsets):
    return [o["frame"] for o in onsets if o["matched"]]


def song_zero(onsets, from_s):
    """The frame the song's beginning would have had where the point `from_s` into it was heard;
    None when it was not found."""
    found = matched_frames(onsets)
    return found[0] - round(from_s * RATE) if found else None


def songs(song_folder):
    """The server's song (the sixth fetches it) and the five clients' noises to place under it."""
    return (make_noise_song(song_folder / f"noise_{SONG_S}s_0.mp3", SONG_S, 0),
            [make_noise_song(song_folder / f"noise_{SONG_S}s_{i + 1}.mp3", SONG_S, i + 1)
             for i in range(FIRST_CLIENTS + 1)])


def measure(harness, tool, song_folder):
    """Plays the scenario; answers analyse()'s dict with the copies' exit statuses (statuses)
    and recording_missing_s."""
    server_song, noises = songs(song_folder)
    for i, noise in enumerate(noises):
        harness.place_song(f"client{i + 1:02d}", server_song.resolve(), noise)

    playlist = write_playlist(harness.workdir / "late.tunvero", [server_song])
    recording = harness.record(harness.workdir / "late.raw", RATE, CHANNELS)
    server, port = harness.start_server(playlist, ["--start-when-clients", str(FIRST_CLIENTS), "--quit-after-stop"])
    clients = harness.start_clients(FIRST_CLIENTS, port, ["--quit-after-stop"])
    everyone = [server] + clients
    harness.wait_for(lambda: server.events("song_list_sent") and all(c.events("all_files_loaded_sent")
                                                                     for c in clients),
                     60, "every client to open its noise", watch=everyone)
    server.send("play")
    heard = harness.wait_for(lambda: all(c.events("first_heard") for c in clients) and
                             [c.events("first_heard")[0]["t_ns"] for c in clients],
                             30, "every client to be heard", watch=everyone)
    # The event logs are stamped on this machine's monotonic clock, as time.monotonic_ns() is.
    join_ns = min(heard) + JOIN_AFTER_S * 1_000_000_000
    time.sleep(max(0.0, (join_ns - time.monotonic_ns()) / 1e9))
    late = [harness.start(f"client{FIRST_CLIENTS + i + 1:02d}", ["--client", f"127.0.0.1:{port}", "--quit-after-stop"])
            for i in range(2)]
    everyone += late
    harness.wait_for(lambda: all(len(told_to_play(c)) >= 2 for c in clients),
                     SONG_S - JOIN_AFTER_S + heard_skew.GAP_S + 30, "the song's next start", watch=everyone)
    # The next start's beginning heard, with room for the start's delay.
    time.sleep(heard_skew.SEARCHED_S + 2.0)
    recording.stop()
    server.send("stop")
    statuses = harness.wait_exit(everyone, 30)
    result = analyse(tool, recording.path, clients, *late, noises, server_song)
    result.update(statuses=statuses, recording_missing_s=recording.missing_s())
    return result


def analyse(tool, recording, clients, holder, fetcher, noises, server_song):
    """What the recording and the logs show; answers a dict: clients, holder, fetcher (names),
    first_starts and next_starts ({client: frame} of the song's two beginnings), windows
    ([(point_s, [{client: frame of the song's beginning}, one a window looked for there])]),
    first_sound_s (the holder's connection to its first sound, from its own log), joined_sample
    (the holder's first sample heard), fetcher_played_first_song (the sixth had sound before the
    next start), fetcher_joined_sample and fetcher_joined_s (its first sample heard before the
    next start, and how long after its connection; None without) and onsets_ms."""
    songs_looked_for = noises + [server_song]
    names = [c.name for c in clients] + [holder.name, fetcher.name]
    beginnings, elapsed_ms = find_onsets(tool, recording, songs_looked_for, 2, seconds=WINDOW_S,
                                         min_confidence=WINDOW_CONFIDENCE)
    by_name = dict(zip(names, beginnings))
    first_starts, next_starts = {}, {}
    for c in clients:
        found = matched_frames(by_name[c.name])
        if found:
            first_starts[c.name] = found[0]
        if len(found) > 1:
            next_starts[c.name] = found[1]
    # The late ones are looked for near the others' next start only: the holder's beginning was
    # never heard in the first, and the fetcher must not have played it.
    if next_starts:
        around = statistics.median(next_starts.values())
        for name in (holder.name, fetcher.name):
            near = [f for f in matched_frames(by_name[name]) if abs(f - around) <= heard_skew.SAME_START_S * RATE]
            if near:
                next_starts[name] = near[0]

    first_sound_s, joined_sample = first_sound(holder, float("inf"))
    after_first_s = (joined_sample / RATE + WINDOW_AFTER_FIRST_SOUND_S if joined_sample is not None
                     else WINDOW_FALLBACK_S)
    windows = []
    song_began = statistics.median(first_starts.values()) if first_starts else None
    for point_s in (min(after_first_s, WINDOW_NEAR_END_S - 5), WINDOW_NEAR_END_S):
        at_point = []
        for k in range(WINDOWS_AT_A_POINT):
            from_s = round(point_s + k * WINDOWS_APART_S, 3)
            # Only the recording around where the others were heard there: quicker, and
            # nothing far off can match.
            begin = 0 if song_began is None else max(0, int(song_began + (from_s - CUT_S) * RATE))
            part = cut(recording, begin, None if song_began is None else int((2 * CUT_S + WINDOW_S) * RATE))
            found, took_ms = find_onsets(tool, part, songs_looked_for, 1, seconds=WINDOW_S, from_s=from_s,
                                         min_confidence=WINDOW_CONFIDENCE)
            part.unlink()
            elapsed_ms += took_ms
            zeros = {name: song_zero(onsets, from_s) for name, onsets in zip(names, found)}
            at_point.append({name: begin + frame for name, frame in zeros.items() if frame is not None})
        windows.append((point_s, at_point))

    # The next start as the fetcher was told it: the message naming the moment the others got.
    next_at = [e.get("server_at_ns") for e in clients[0].events("message") if e.get("word") == "PlayMusic"][1:2]
    fetcher_next_ns = next((e["t_ns"] for e in fetcher.events("message")
                            if e.get("word") == "PlayMusic" and [e.get("server_at_ns")] == next_at), float("inf"))
    fetcher_joined_s, fetcher_joined_sample = first_sound(fetcher, fetcher_next_ns)
    return {
        "clients": [c.name for c in clients],
        "holder": holder.name,
        "fetcher": fetcher.name,
        "first_starts": first_starts,
        "next_starts": next_starts,
        "windows": windows,
        "first_sound_s": first_sound_s,
        "joined_sample": joined_sample,
        "fetcher_played_first_song": any(e["t_ns"] < fetcher_next_ns for e in fetcher.events("first_samples")),
        "fetcher_joined_sample": fetcher_joined_sample,
        "fetcher_joined_s": fetcher_joined_s,
        "onsets_ms": elapsed_ms,
    }


def cut(recording, begin, frames):
    """Frames `begin` to `begin + frames` (to the end for None) of a raw recording, as a file of
    its own beside it."""
    part = recording.with_name(recording.stem + ".part.raw")
    frame_bytes = 2 * CHANNELS
    with open(recording, "rb") as f:
        f.seek(begin * frame_bytes)
        part.write_bytes(f.read(-1 if frames is None else frames * frame_bytes))
    return part


def first_sound(client, before_ns):
    """From the client's own log: how long (s) from its connection to the first sample it heard
    before `before_ns`, and which sample of the song that was; Nones without."""
    connected = client.events("connected")
    heard = [e for e in client.events("first_heard") if e["t_ns"] < before_ns]
    if not connected or not heard:
        return None, None
    return (heard[0]["t_ns"] - connected[0]["t_ns"]) / 1e9, heard[0].get("sample")


def spread_ms(frames):
    return ms(max(frames) - min(frames)) if len(frames) >= 2 else None


def against(frame, others):
    """How far (ms) `frame` lies from the farthest of `others`."""
    return max(ms(abs(frame - o)) for o in others) if others and frame is not None else None


def at_point(name, others, windows):
    """The middle of `name`'s skews against the farthest of `others` in the windows of one point
    (ms); None unless it was found in most of them."""
    skews = [against(zeros.get(name), [zeros[n] for n in others if n in zeros]) for zeros in windows]
    skews = [s for s in skews if s is not None]
    return statistics.median(skews) if len(skews) * 2 > len(windows) else None


def figures(late):
    """The scenario's figures from what measure() answered: heard_skew_ms (the holder against
    the others, the worst of the points looked for), first_sound_s, fetch_plays_next_song,
    others_next_skew_ms, and for the printout holder_skews_ms and fetcher_skews_ms (per point
    looked for), others_first_skew_ms, fetcher_next_ms and holder_next_ms."""
    others = late["clients"]
    skews = [at_point(late["holder"], others, windows) for _, windows in late["windows"]]
    nexts = late["next_starts"]
    others_next = [nexts[n] for n in others if n in nexts]
    fetcher_next_ms = against(nexts.get(late["fetcher"]), others_next)
    return {
        "holder_skews_ms": skews,
        "fetcher_skews_ms": [at_point(late["fetcher"], others, windows) for _, windows in late["windows"]],
        "heard_skew_ms": None if None in skews or not skews else max(skews),
        "first_sound_s": late["first_sound_s"],
        "fetcher_next_ms": fetcher_next_ms,
        "fetch_plays_next_song": fetcher_next_ms is not None and fetcher_next_ms <= IN_STEP_MS,
        "others_first_skew_ms": spread_ms([late["first_starts"][n] for n in others if n in late["first_starts"]]),
        "others_next_skew_ms": spread_ms(others_next),
        "holder_next_ms": against(nexts.get(late["holder"]), others_next),
    }
