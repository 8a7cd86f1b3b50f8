"""Runs copies of the real program unattended on 127.0.0.1: one server and any number of
clients, each with its own HOME, XDG folders, settings and download folder, all playing into
one null sink (of a private PulseAudio or PipeWire). Every wait is bounded; every process
started here is stopped when the harness is closed, the Python program ends or it is told to
end (SIGTERM, SIGINT).

Used by the sync benchmark (bench/sync_bench.py) and the whole-program tests
(tests/e2e/whole_program.py, tests/e2e/heard_in_step.py)."""

import array
import atexit
import hashlib
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import wave
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent


class HarnessError(Exception):
    pass


class Checks:
    """A test's failed checks, gathered so that all of them are reported at its end."""

    def __init__(self):
        self.failures = []

    def __call__(self, condition, text):
        if not condition:
            self.failures.append(text)
        return condition

    def report(self, copies, tail=3000):
        """Prints every failure, and then the end of each copy's standard error; answers the
        test's exit status."""
        for failure in self.failures:
            print("FAIL:", failure, file=sys.stderr)
        if not self.failures:
            return 0
        for copy in copies:
            print(f"--- {copy.name} stderr ---\n{copy.stderr_text()[-tail:]}", file=sys.stderr)
        return 1


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def download_path(download_folder, server_path):
    """Where a client stores a song: its download folder and the server path without ":",
    with "\\" and "/" both taken as separators."""
    parts = [p for p in server_path.replace(":", "").replace("\\", "/").split("/") if p]
    return Path(download_folder, *parts)


def write_mp3(samples, path, rate, channels):
    """16-bit samples (an array of "h", interleaved) as a 128 kbit/s CBR MP3 at `path`, written
    whole or not at all."""
    if sys.byteorder != "little":
        samples = array.array("h", samples)
        samples.byteswap()
    with tempfile.TemporaryDirectory() as work:
        wav = Path(work) / "song.wav"
        mp3 = Path(work) / "song.mp3"
        with wave.open(str(wav), "wb") as out:
            out.setnchannels(channels)
            out.setsampwidth(2)
            out.setframerate(rate)
            out.writeframes(samples.tobytes())
        subprocess.run(["lame", "--quiet", "-b", "128", str(wav), str(mp3)], check=True)
        shutil.move(str(mp3), path)
    return path


def make_noise_song(path, seconds, seed, rate=44100, channels=2, amplitude=2500):
    """White noise from `seed` as a CBR MP3, loud from its first frame, written atomically and
    kept for later runs. Quiet enough that ten of them summed in one sink never clip."""
    if path.is_file():
        return path
    path.parent.mkdir(parents=True, exist_ok=True)
    rng = random.Random(seed)
    samples = array.array("h", (rng.randint(-amplitude, amplitude) for _ in range(int(seconds * rate) * channels)))
    return write_mp3(samples, path, rate, channels)


def realtime_prefix():
    """chrt's prefix for a round-robin priority where that is allowed (root), else nothing: a
    recorder, relay or card reader then keeps its pace on a loaded machine."""
    try:
        subprocess.run(["chrt", "-r", "10", "true"], check=True, capture_output=True, timeout=10)
    except (OSError, subprocess.CalledProcessError, subprocess.TimeoutExpired):
        return []
    return ["chrt", "-r", "10"]


class Recording:
    """The null sink's monitor recorded by parec into a raw s16le file until stopped."""

    def __init__(self, path, process, rate, channels):
        self.path = path
        self.process = process
        self.rate = rate
        self.channels = channels
        # Set once the first bytes are in: a recorder takes a while to start.
        self.began = None
        self.began_bytes = 0
        self.ran_s = None

    def stop(self, grace=5.0):
        if self.process.poll() is None:
            if self.began is not None:
                self.ran_s = time.monotonic() - self.began
            self.process.terminate()
            try:
                self.process.wait(timeout=grace)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def missing_s(self):
        """How much shorter the recording is than the time it ran: a recorder kept from reading
        long enough loses what the sound server could not hold for it, and what follows then lies
        earlier in the file than it was heard."""
        if self.ran_s is None:
            return None
        return self.ran_s - (self.path.stat().st_size - self.began_bytes) / (2 * self.channels * self.rate)


class Copy:
    """One running copy of the program."""

    def __init__(self, name, folder, process):
        self.name = name
        self.folder = folder
        self.process = process
        self.log_path = folder / "events.jsonl"
        self.err_path = folder / "stderr.txt"
        self.download_folder = folder / "download"

    def events(self, kind=None):
        out = []
        try:
            with open(self.log_path, encoding="utf-8") as f:
                for line in f:
                    # A line being written is left for the next read.
                    if not line.endswith("\n"):
                        break
                    event = json.loads(line)
                    if kind is None or event["event"] == kind:
                        out.append(event)
        except FileNotFoundError:
            pass
        return out

    def send(self, command):
        if self.process.stdin is None or self.process.poll() is not None:
            return
        try:
            self.process.stdin.write((command + "\n").encode())
            self.process.stdin.flush()
        except BrokenPipeError:
            pass

    def signal(self, number):
        """Signals the copy's process group: a copy started under a wrapper (unshare) is reached too."""
        try:
            os.killpg(self.process.pid, number)
        except ProcessLookupError:
            pass

    def stderr_text(self):
        try:
            return self.err_path.read_text(encoding="utf-8", errors="replace")
        except FileNotFoundError:
            return ""


SOUND_SERVERS = {"pulseaudio": "scripts/pulse-null-sink.sh", "pipewire": "scripts/pipewire-null-sink.sh"}


class Harness:
    def __init__(self, program, workdir, pulse=True, own_pulse=False, sound_server="pulseaudio"):
        """`pulse`: start a private null sink unless PULSE_SERVER names one already; `own_pulse`:
        start a private one in any case (nothing else then plays into what is recorded);
        `sound_server`: "pulseaudio" or "pipewire" (reached through its PulseAudio server)."""
        self.program = str(Path(program).resolve())
        # Absolute: the sink and the copies run in other working folders.
        self.workdir = Path(workdir).resolve()
        self.workdir.mkdir(parents=True, exist_ok=True)
        self.copies = []
        self.recordings = []
        self.helpers = []
        self.env = dict(os.environ)
        self.sound_server = sound_server
        self.sound_server_trouble = None
        self._pulse_dir = None
        atexit.register(self.close)
        for number in (signal.SIGTERM, signal.SIGINT):
            signal.signal(number, self._on_signal)
        if own_pulse:
            self.env.pop("PULSE_SERVER", None)
        if (pulse or own_pulse) and not self.env.get("PULSE_SERVER"):
            self._start_pulse()

    def _on_signal(self, number, _frame):
        self.close()
        sys.exit(128 + number)

    def _start_pulse(self):
        self._pulse_dir = self.workdir / ("pulse" if self.sound_server == "pulseaudio" else self.sound_server)
        script = str(REPO / SOUND_SERVERS[self.sound_server])
        started = subprocess.run([script, "start", str(self._pulse_dir)], check=True, capture_output=True, text=True,
                                 timeout=60)
        for line in started.stdout.splitlines():
            if line.startswith("export PULSE_SERVER="):
                self.env["PULSE_SERVER"] = line.split("=", 1)[1]
        if "PULSE_SERVER" not in self.env:
            # The script's reason, as a line for stderr.
            self.sound_server_trouble = started.stdout.strip().removeprefix("echo ").strip("'") or started.stderr
            print(f"harness: the {self.sound_server} null sink did not start; copies play silently "
                  f"({self.sound_server_trouble})", file=sys.stderr)

    def pulse_pid(self):
        """The private PulseAudio daemon's process id, None without one."""
        try:
            return int((self._pulse_dir / "pulse.pid").read_text())
        except (TypeError, OSError, ValueError):
            return None

    def helper(self, name, args, **popen):
        """Starts a helper process (a relay, a card) that the harness stops when closed, after
        the copies; its standard error goes to NAME.err in the work folder."""
        err = open(self.workdir / f"{name}.err", "wb")
        process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stderr=err, start_new_session=True, **popen)
        err.close()
        self.helpers.append(process)
        return process

    def start(self, name, arguments, commands=False, wrapper=(), env=None):
        """Starts a copy with a private home; its event log and standard error go into its folder.
        `wrapper`: a command line the program runs under (e.g. unshare); `env`: more variables."""
        env_extra = env or {}
        folder = self.workdir / name
        for sub in ("home", "config", "data", "cache", "runtime"):
            (folder / sub).mkdir(parents=True, exist_ok=True)
        (folder / "runtime").chmod(0o700)
        env = dict(self.env)
        env.update({
            "HOME": str(folder / "home"),
            "XDG_CONFIG_HOME": str(folder / "config"),
            "XDG_DATA_HOME": str(folder / "data"),
            "XDG_CACHE_HOME": str(folder / "cache"),
            "XDG_RUNTIME_DIR": str(folder / "runtime"),
        })
        env.pop("DISPLAY", None)
        env.update(env_extra)
        args = list(wrapper) + [self.program, "--headless", "--download-folder", str(folder / "download"),
                "--event-log", str(folder / "events.jsonl")] + list(arguments)
        if commands:
            args.append("--commands-on-stdin")
        err = open(folder / "stderr.txt", "wb")
        process = subprocess.Popen(args, env=env, cwd=folder, stdin=subprocess.PIPE if commands else subprocess.DEVNULL,
                                   stdout=err, stderr=subprocess.STDOUT, start_new_session=True)
        err.close()
        copy = Copy(name, folder, process)
        self.copies.append(copy)
        return copy

    def place_song(self, name, server_path, source):
        """Puts `source` where the copy `name` (not started yet) would store the server's song
        `server_path`: a client holding a file there plays it and fetches nothing."""
        place = download_path(self.workdir / name / "download", str(server_path))
        place.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, place)
        return place

    def record(self, path, rate, channels, timeout=10):
        """Starts recording the null sink's monitor as raw s16le into `path`; answers once the
        first bytes have arrived. The harness stops it when closed, if not stopped before."""
        if not self.env.get("PULSE_SERVER"):
            raise HarnessError("no PulseAudio server to record from")
        out = open(path, "wb")
        err = open(Path(path).with_suffix(".err"), "wb")
        process = subprocess.Popen(realtime_prefix() + ["parec", "--device=tunvero_null.monitor", f"--rate={rate}",
                                    f"--channels={channels}", "--format=s16le", "--latency-msec=50"],
                                   env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                   start_new_session=True)
        out.close()
        err.close()
        recording = Recording(Path(path), process, rate, channels)
        self.recordings.append(recording)
        deadline = time.monotonic() + timeout
        while Path(path).stat().st_size == 0:
            if process.poll() is not None or time.monotonic() > deadline:
                recording.stop()
                raise HarnessError(f"parec recorded nothing (status {process.poll()}): "
                                   f"{Path(path).with_suffix('.err').read_text(errors='replace')[-500:]}")
            time.sleep(0.02)
        recording.began = time.monotonic()
        recording.began_bytes = Path(path).stat().st_size
        return recording

    def start_server(self, playlist, arguments=(), timeout=20):
        """Starts the server on a free port; answers the copy and the port it listens on."""
        server = self.start("server", ["--server", "--port", "0", "--playlist", str(playlist)] + list(arguments),
                            commands=True)
        listening = self.wait_for(lambda: server.events("listening"), timeout, "the server to listen",
                                  watch=[server])
        return server, listening[0]["port"]

    def start_clients(self, count, port, arguments=()):
        return [self.start(f"client{i + 1:02d}", ["--client", f"127.0.0.1:{port}"] + list(arguments))
                for i in range(count)]

    def stop_helpers(self, grace=5.0):
        for process in self.helpers:
            if process.poll() is None:
                process.terminate()
        for process in self.helpers:
            try:
                process.wait(timeout=grace)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def wait_for(self, condition, timeout, what, watch=None, interval=0.05):
        """Polls `condition` until it answers something true; fails after `timeout` seconds or
        when a copy in `watch` has ended."""
        deadline = time.monotonic() + timeout
        while True:
            value = condition()
            if value:
                return value
            for copy in watch or []:
                if copy.process.poll() is not None:
                    raise HarnessError(f"{copy.name} ended (status {copy.process.returncode}) while waiting for "
                                       f"{what}:\n{copy.stderr_text()[-2000:]}")
            if time.monotonic() > deadline:
                raise HarnessError(f"timed out after {timeout} s waiting for {what}")
            time.sleep(interval)

    def wait_exit(self, copies, timeout):
        """Waits for the copies to end by themselves; answers {name: status}, None for one still running."""
        deadline = time.monotonic() + timeout
        status = {}
        for copy in copies:
            try:
                status[copy.name] = copy.process.wait(timeout=max(0.1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                status[copy.name] = None
        return status

    def close(self, grace=5.0):
        """Stops every recording and copy still running (SIGTERM, then SIGKILL after `grace` s)
        and the sink."""
        for recording in self.recordings:
            recording.stop(grace)
        running = [c for c in self.copies if c.process.poll() is None]
        for copy in running:
            copy.signal(signal.SIGTERM)
        deadline = time.monotonic() + grace
        for copy in running:
            try:
                copy.process.wait(timeout=max(0.1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                copy.signal(signal.SIGKILL)
                copy.process.wait()
        self.stop_helpers(grace)
        for copy in self.copies:
            if copy.process.stdin:
                try:
                    copy.process.stdin.close()
                except OSError:
                    pass
        if self._pulse_dir is not None:
            subprocess.run([str(REPO / SOUND_SERVERS[self.sound_server]), "stop", str(self._pulse_dir)], check=False)
            self._pulse_dir = None


def write_playlist(path, songs):
    """A playlist file: one full path a line, in the program's 8-bit text (UTF-8 here)."""
    Path(path).write_bytes(b"".join(str(Path(s).resolve()).encode() + b"\r\n" for s in songs))
    return Path(path)
