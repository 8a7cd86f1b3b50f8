#!/usr/bin/env python3
"""The whole program, unattended: a server and three clients on 127.0.0.1 play a run of three
generated songs. Checks that every song arrives byte for byte in each client's download tree,
that every client handles "PlayMusic" 0 and 1 and hands their first samples to the sound
output, that "StopAllMusic" stops them, and that every process ends cleanly (status 0).

    whole_program.py PROGRAM SONG_FOLDER WORK_FOLDER"""

import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bench"))
from tunvero_harness import Checks, Harness, HarnessError, download_path, sha256_of, write_playlist  # noqa: E402

CLIENTS = 3
SONGS = ["cbr_44k_stereo.mp3", "cbr_48k_mono.mp3", "vbr_44k_stereo.mp3"]
# Generous caps: a run of these songs needs about 10 s.
JOIN_S = 20
PLAY_S = 40
EXIT_S = 15

check = Checks()
failures = check.failures


def played(client, slot):
    """The client got "PlayMusic" `slot`, its device was playing once handled, and it handed that
    device's first samples to the sound output."""
    told = [e["t_ns"] for e in client.events("message") if e["word"] == "PlayMusic" and e.get("slot") == slot]
    if not told or not any(e.get("slot") == slot and e.get("mode") == "playing"
                           for e in client.events("play_handled")):
        return False
    return any(e["t_ns"] >= told[0] and e.get("slot") == slot for e in client.events("first_samples"))


def main():
    program, song_folder, work = Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3])
    shutil.rmtree(work, ignore_errors=True)
    songs = [song_folder / name for name in SONGS]
    for song in songs:
        if not song.is_file():
            print(f"missing test song {song}", file=sys.stderr)
            return 1

    harness = Harness(program, work)
    copies = []
    try:
        playlist = write_playlist(work / "run.tunvero", songs)
        server, port = harness.start_server(playlist, ["--start-when-clients", str(CLIENTS), "--play-when-loaded",
                                                       "--quit-after-stop"])
        clients = harness.start_clients(CLIENTS, port, ["--quit-after-stop"])
        copies = [server] + clients

        harness.wait_for(lambda: server.events("run_started"), JOIN_S, "the run to start", watch=copies)
        check(server.events("run_started")[0]["clients"] == CLIENTS, "the run did not start with every client")
        harness.wait_for(lambda: all(played(c, 0) and played(c, 1) for c in clients), PLAY_S,
                         "every client to play songs 0 and 1", watch=copies)

        server.send("stop")
        status = harness.wait_exit(copies, EXIT_S)
        for copy in copies:
            check(status[copy.name] == 0, f"{copy.name} ended with status {status[copy.name]}:\n"
                                          f"{copy.stderr_text()[-1500:]}")
            check(copy.events("exit") and copy.events("exit")[-1]["closed"], f"{copy.name} did not close its window")

        for client in clients:
            words = [e["word"] for e in client.events("message")]
            check(words.count("SetMusic") == 1, f"{client.name} got {words.count('SetMusic')} song lists")
            slots = [e.get("slot") for e in client.events("message") if e["word"] == "PlayMusic"]
            check(slots[:2] == [0, 1], f"{client.name} was told to play {slots}")
            check("StopAllMusic" in words, f"{client.name} never got StopAllMusic")
            stops = client.events("stop_handled")
            last_play = max(e["t_ns"] for e in client.events("play_handled"))
            check(stops and stops[-1]["t_ns"] >= last_play and stops[-1]["playing"] == 0,
                  f"{client.name} did not stop after its last play: {stops}")
            check(any(e["t_ns"] >= last_play for e in client.events("device_stopped")),
                  f"{client.name} reported no device stopped after its last play")
            for song in songs:
                stored = download_path(client.download_folder, str(song.resolve()))
                if check(stored.is_file(), f"{client.name} lacks {stored}"):
                    check(sha256_of(stored) == sha256_of(song), f"{client.name} holds a different {song.name}")
            stalls = [e["worst_ms"] for e in client.events("loop_stall")]
            print(f"{client.name}: worst event-loop lateness {max(stalls, default=0):.1f} ms")
    except HarnessError as error:
        failures.append(str(error))
    finally:
        harness.close()

    if check.report(copies):
        return 1
    print(f"whole program: server and {CLIENTS} clients played and stopped cleanly")
    return 0


if __name__ == "__main__":
    sys.exit(main())
