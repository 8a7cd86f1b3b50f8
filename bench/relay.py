#!/usr/bin/env python3
"""A slow link for a client: a TCP relay that listens on 127.0.0.1 (a free port), connects each
accepted connection onward to the server, and holds everything that passes, in both directions,
for a constant plus a random part drawn per segment read (uniform 0 to JITTER ms). Bytes keep
their order: a segment is released at its own moment or the one before it, whichever is later.

    relay.py --to HOST:PORT --link DELAY_MS[:JITTER_MS] [--link ...] [--seed N]
        one relay a --link; prints {"ports": [...]} once every one listens, runs until SIGTERM
    relay.py --self-test [--link DELAY_MS:JITTER_MS]
        measures the relay's delays against the kernel's receive stamps (SO_TIMESTAMPNS) and
        checks that no byte came through early, lost or out of order; ends 1 when one did"""

import argparse
import json
import os
import queue
import random
import signal
import socket
import struct
import sys
import threading
import time

SO_TIMESTAMPNS = getattr(socket, "SO_TIMESTAMPNS", 35)


def parse_link(text):
    delay, _, jitter = text.partition(":")
    return float(delay), float(jitter or 0)


class Direction:
    """One way through a relayed connection: a reader that stamps each segment as it arrives and
    a writer that sends it on at its release moment."""

    def __init__(self, source, sink, delay_ms, jitter_ms, rng, done):
        self.source = source
        self.sink = sink
        self.delay_ns = int(delay_ms * 1e6)
        self.jitter_ns = int(jitter_ms * 1e6)
        self.rng = rng
        self.done = done
        self.segments = queue.SimpleQueue()
        for target in (self._read, self._write):
            threading.Thread(target=target, daemon=True).start()

    def _read(self):
        released = 0
        try:
            while True:
                data = self.source.recv(1 << 16)
                arrived = time.monotonic_ns()
                if not data:
                    break
                released = max(arrived + self.delay_ns + int(self.rng.random() * self.jitter_ns), released)
                self.segments.put((released, data))
        except OSError:
            pass
        self.segments.put((None, None))

    def _write(self):
        try:
            while True:
                release, data = self.segments.get()
                if data is None:
                    self.sink.shutdown(socket.SHUT_WR)
                    break
                wait = release - time.monotonic_ns()
                if wait > 0:
                    time.sleep(wait / 1e9)
                self.sink.sendall(data)
        except OSError:
            pass
        self.done()


class Relay:
    """Listens on 127.0.0.1 at a free port (`port`) and relays every connection to `target`."""

    def __init__(self, target, delay_ms, jitter_ms=0.0, seed=None):
        self.target = target
        self.delay_ms = delay_ms
        self.jitter_ms = jitter_ms
        self.rng = random.Random(seed)
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                near, _ = self.listener.accept()
            except OSError:
                return
            try:
                far = socket.create_connection(self.target, timeout=10)
                far.settimeout(None)
            except OSError:
                near.close()
                continue
            for s in (near, far):
                s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            ended = []
            lock = threading.Lock()

            def done(near=near, far=far, ended=ended, lock=lock):
                with lock:
                    ended.append(1)
                    if len(ended) == 2:
                        near.close()
                        far.close()

            # Each direction its own random draws; the two share nothing but the end.
            Direction(near, far, self.delay_ms, self.jitter_ms, random.Random(self.rng.random()), done)
            Direction(far, near, self.delay_ms, self.jitter_ms, random.Random(self.rng.random()), done)

    def close(self):
        self.listener.close()


def receive_stamped(sock, size):
    """One recvmsg: the bytes and the kernel's receive stamp (CLOCK_REALTIME ns) of the last of them."""
    data, ancillary, _, _ = sock.recvmsg(size, socket.CMSG_SPACE(16))
    stamp = None
    for level, kind, payload in ancillary:
        if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS:
            seconds, nanoseconds = struct.unpack("qq", payload[:16])
            stamp = seconds * 1_000_000_000 + nanoseconds
    return data, stamp


MESSAGE = struct.Struct("<Iq")


def measure_direction(sender, receiver, count, spacing_s):
    """Sends `count` numbered messages stamped with their sending moment (CLOCK_REALTIME, the
    clock of the kernel's stamps); answers (in_order, delays_ms) where each delay is the kernel's
    stamp of a read less the sending moment of the last message in it."""
    received = bytearray()
    delays = []

    def collect():
        expected = count * MESSAGE.size
        while len(received) < expected:
            data, stamp = receive_stamped(receiver, 1 << 16)
            if not data:
                return
            received.extend(data)
            whole = len(received) // MESSAGE.size * MESSAGE.size
            if stamp is not None and whole and whole == len(received):
                _, sent = MESSAGE.unpack_from(received, whole - MESSAGE.size)
                delays.append((stamp - sent) / 1e6)

    reader = threading.Thread(target=collect)
    reader.start()
    for n in range(count):
        sender.sendall(MESSAGE.pack(n, time.clock_gettime_ns(time.CLOCK_REALTIME)))
        if spacing_s:
            time.sleep(spacing_s)
    reader.join(timeout=60)
    numbers = [MESSAGE.unpack_from(received, i)[0] for i in range(0, len(received), MESSAGE.size)]
    return numbers == list(range(count)), delays


def self_test(delay_ms, jitter_ms):
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    relay = Relay(server.getsockname(), delay_ms, jitter_ms, seed=1)
    client = socket.create_connection(("127.0.0.1", relay.port))
    far, _ = server.accept()
    for s in (client, far):
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        s.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
        s.settimeout(30)
    failures = []
    # Spaced wider than the delay's range, so that each message is a read of its own.
    spacing = (delay_ms + jitter_ms) / 1000 + 0.01
    for name, sender, receiver, count, gap in (("to the server, spaced", client, far, 60, spacing),
                                               ("to the client, spaced", far, client, 30, spacing),
                                               ("to the server, a burst", client, far, 2000, 0),
                                               ("to the client, a burst", far, client, 2000, 0)):
        in_order, delays = measure_direction(sender, receiver, count, gap)
        extra = sorted(d - delay_ms for d in delays)
        if not in_order:
            failures.append(f"{name}: messages lost or out of order")
        if not extra:
            failures.append(f"{name}: no receive stamps")
            continue
        print(f"{name}: {len(delays)} reads, delay {delay_ms} ms + random part: min {extra[0]:.3f}, "
              f"p50 {extra[len(extra) // 2]:.3f}, p95 {extra[int(len(extra) * 0.95)]:.3f}, max {extra[-1]:.3f} ms "
              f"(drawn from 0-{jitter_ms} ms)")
        # The clock can be slewed a little between the two stamps; nothing else lets a byte through early.
        if extra[0] < -0.02:
            failures.append(f"{name}: a read arrived {-extra[0]:.3f} ms before the constant delay")
        if gap and jitter_ms and extra[-1] < jitter_ms / 2:
            failures.append(f"{name}: the random part never went past {extra[-1]:.3f} ms of {jitter_ms}")
    # A long stream both ways at once, byte for byte.
    payload = os.urandom(1 << 20)
    echoed = bytearray()

    def echo():
        got = 0
        while got < len(payload):
            data = far.recv(1 << 16)
            if not data:
                break
            got += len(data)
            far.sendall(data)

    echoer = threading.Thread(target=echo)
    echoer.start()
    sender = threading.Thread(target=client.sendall, args=(payload,))
    sender.start()
    while len(echoed) < len(payload):
        data = client.recv(1 << 16)
        if not data:
            break
        echoed.extend(data)
    sender.join()
    echoer.join()
    if bytes(echoed) != payload:
        failures.append("a megabyte sent there and back did not come back whole")
    client.close()
    far.close()
    relay.close()
    for failure in failures:
        print("FAIL:", failure, file=sys.stderr)
    if not failures:
        print("relay: 0 failed")
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--to", help="HOST:PORT of the server")
    parser.add_argument("--link", action="append", default=[], help="DELAY_MS[:JITTER_MS], one a relay")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--self-test", action="store_true")
    args = parser.parse_args()
    if args.self_test:
        return self_test(*parse_link(args.link[0] if args.link else "3:10"))
    if not args.to or not args.link:
        parser.error("give --to and at least one --link")
    host, _, port = args.to.rpartition(":")
    rng = random.Random(args.seed)
    relays = [Relay((host, int(port)), *parse_link(link), seed=rng.random()) for link in args.link]
    print(json.dumps({"ports": [r.port for r in relays]}), flush=True)
    stopped = threading.Event()
    for number in (signal.SIGTERM, signal.SIGINT):
        signal.signal(number, lambda *_: stopped.set())
    stopped.wait()
    return 0


if __name__ == "__main__":
    sys.exit(main())
