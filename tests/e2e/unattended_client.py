#!/usr/bin/env python3
"""Unattended copies on a computer without any sound output: each client says once that it plays
without sound (the server, which makes none, says nothing); a client with room for the first
song only names the second and why it could not be stored; and when the server is stopped and
started again on its port, a client connects again by itself, printing one line when the server
is lost and one when it is back, not one per try, and loads the new server's run.

    unattended_client.py PROGRAM SONG_FOLDER WORK_FOLDER"""

import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bench"))
from tunvero_harness import Checks, Harness, HarnessError, write_playlist  # noqa: E402

SONGS = ["cbr_22k_mono.mp3", "cbr_44k_stereo.mp3"]  # 17 and 49 kB
FILE_LIMIT_BLOCKS = 64  # 32 kB: room for the first song only
CAP_S = 60

check = Checks()


def lines(copy, part):
    return [line for line in copy.stderr_text().splitlines() if part in line]


def start_with_small_disk(harness, name, arguments):
    """A copy whose files cannot grow past the limit: a write past it fails as on a full disk."""
    wrapper = harness.workdir / "small-disk.sh"
    wrapper.write_text(f"#!/bin/sh\ntrap '' XFSZ\nulimit -f {FILE_LIMIT_BLOCKS}\nexec '{harness.program}' \"$@\"\n")
    wrapper.chmod(0o755)
    program, harness.program = harness.program, str(wrapper)
    try:
        return harness.start(name, arguments)
    finally:
        harness.program = program


def main():
    program, song_folder, work = Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3]).resolve()
    shutil.rmtree(work, ignore_errors=True)
    harness = Harness(program, work, pulse=False)
    # No sound server answers, and Qt finds no sound device either.
    harness.env["PULSE_SERVER"] = "unix:" + str(work / "no-sound-server")
    copies = []
    try:
        playlist = write_playlist(work / "run.tunvero", [song_folder / name for name in SONGS])
        run = ["--playlist", str(playlist), "--start-when-clients", "2", "--play-when-loaded"]
        server, port = harness.start_server(playlist, run[2:])
        client = harness.start("client01", ["--client", f"127.0.0.1:{port}"])
        small = start_with_small_disk(harness, "client02", ["--client", f"127.0.0.1:{port}"])
        copies = [server, client, small]
        harness.wait_for(lambda: server.events("play_pressed") and lines(client, "Ansluten till servern"), CAP_S,
                         "the clients to load the run and the server to play it", watch=copies)

        not_stored = small.events("song_not_stored")
        check([(e["slot"], bool(e["reason"])) for e in not_stored] == [(1, True)], f"not stored: {not_stored}")
        told = lines(small, "[Låten kunde inte sparas]")
        check(len(told) == 1 and SONGS[1] in told[0], f"client02 told {told}")
        check(not client.events("song_not_stored"), "client01 could not store a song")

        server.process.terminate()
        check(harness.wait_exit([server], CAP_S)[server.name] == 0, "the server did not end cleanly")
        harness.wait_for(lambda: len(client.events("connect_failed")) >= 2, CAP_S, "the client to try twice",
                         watch=[client, small])
        again = harness.start("server2", ["--server", "--port", str(port)] + run, commands=True)
        copies.append(again)
        running = [client, small, again]
        harness.wait_for(lambda: len(client.events("all_files_loaded_sent")) == 2
                         and len(lines(client, "Ansluten till servern")) == 2, CAP_S,
                         "the client to be back and load the new server's run", watch=running)

        check([e["word"] for e in client.events("message")].count("SetMusic") == 2, "client01 missed a song list")
        check(len(lines(client, "Kontakten med servern")) == 1 and not lines(client, "Kunde inte ansluta"),
              "client01 did not tell once that it lost the server")
        check(len(lines(client, "[Dator?]")) == 1, "client01 asked for its server more than once")
        for copy in (client, small):
            check(len(lines(copy, "[Inget ljud]")) == 1 and len(copy.events("no_sound_output")) == 1,
                  f"{copy.name} did not tell and log once that it has no sound")
        check(not lines(server, "[Inget ljud]"), "the server told that it has no sound")

        for copy in running:
            copy.process.terminate()
        for name, code in harness.wait_exit(running, CAP_S).items():
            check(code == 0, f"{name} ended with status {code}")
    except HarnessError as error:
        check.failures.append(str(error))
    finally:
        harness.close()

    if check.report(copies):
        return 1
    print("unattended clients: told of no sound and of a song that did not fit, and came back to the server")
    return 0


if __name__ == "__main__":
    sys.exit(main())
