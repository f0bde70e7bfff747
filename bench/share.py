#!/usr/bin/python3
"""The line shared: what other masters pay for a read through the gateway, and
what they cost its watch. One gateway on the simulated line as a real one
behaves (--pace) at 9600 baud with 8 modules, its Modbus TCP listener on
127.0.0.1, clients written here (MBAP by hand, one request at a time each):

  latency   one client's reads, one after another, of a register the watch
            does not poll (the address, 0x0100: always from the line) and of
            what it polls (0x0000-0x0004 with a cache of 10 s: from memory),
            p50 and p99, against one module's exchange on the wire;
  round     the watch as fast as the line goes (a period of 0.1 s), its round
            (8 modules / readings a second, from the record) alone and with
            four clients reading the address register as fast as they can,
            the stretch against the clients' own exchanges;
  CPU       the gateway's CPU per forwarded request, over what it spends
            watching alone.

  bench/share.py BUILD_DIR [SECONDS]      (scripts/bench.sh runs it)
"""
import os
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

build = os.path.abspath(sys.argv[1])
seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 10
modules = 8
baud = 9600
char_ms = 10 * 1000 / baud  # a character on the wire: start, 8 data, stop
silence_ms = 3.5 * char_ms
# A read of one register: 8 bytes asked, 7 answered, with the silence on both sides.
exchange_ms = (8 + 7) * char_ms + 2 * silence_ms
hz = os.sysconf("SC_CLK_TCK")


def ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Client:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.tid = 0

    def read(self, unit, register, count):
        self.tid = (self.tid + 1) & 0xFFFF
        self.sock.sendall(struct.pack(">HHHBBHH", self.tid, 0, 6, unit, 3, register, count))
        head = self.recv(7)
        tid, _, length, _ = struct.unpack(">HHHB", head)
        pdu = self.recv(length - 1)
        if tid != self.tid:
            raise RuntimeError(f"transaction {tid} answered for {self.tid}")
        return pdu

    def recv(self, n):
        data = b""
        while len(data) < n:
            part = self.sock.recv(n - len(data))
            if not part:
                raise RuntimeError("the gateway closed the connection")
            data += part
        return data


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100 * (len(values) - 1))))]


def readings(record):
    with open(record) as f:
        return sum(1 for _ in f) - 1


def main():
    work = tempfile.mkdtemp()
    sim = subprocess.Popen([f"{build}/hygrovane-modsim", "--pace", "--baud", str(baud),
                            "--address", ",".join(str(a) for a in range(1, modules + 1))],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    line = sim.stdout.readline()
    while " on /dev/" not in line:
        if not line:
            sys.exit("share bench: the simulated line did not start")
        line = sim.stdout.readline()
    tty = line.rsplit(" on ", 1)[1].strip()
    gateways = []

    def gateway(*options):
        port = free_port()
        record = os.path.join(work, f"r{len(gateways)}.csv")
        gw = subprocess.Popen([f"{build}/hygrovane-gateway", "--port", tty, "--baud", str(baud),
                               "--addresses", f"1-{modules}", "--record", record, "--rescan", "0",
                               "--modbus-tcp", str(port), *options],
                              stderr=subprocess.PIPE, text=True)
        gateways.append(gw)
        for said in gw.stderr:
            if f"Module {modules} answers." in said:
                break
        else:
            sys.exit("share bench: the gateway ended before it watched its modules")
        threading.Thread(target=lambda: gw.stderr.read(), daemon=True).start()
        return gw, port, record

    def stop(gw):
        gw.terminate()
        gw.wait(10)

    try:
        print(f"share bench: a paced line at {baud} baud, {modules} modules, one module's exchange "
              f"(a register read, with the silences) {exchange_ms:.1f} ms on the wire")
        # ---- latency: one client, one read at a time -------------------------------------
        gw, port, _ = gateway("--period", "1", "--cache-ms", "10000")
        client = Client(port)
        for what, register, count in (("from the line", 0x0100, 1), ("from memory", 0x0000, 5)):
            times = []
            until = time.monotonic() + seconds
            unit = 0
            while time.monotonic() < until:
                unit = unit % modules + 1
                t0 = time.perf_counter()
                pdu = client.read(unit, register, count)
                times.append((time.perf_counter() - t0) * 1000)
                if pdu[0] != 3:
                    sys.exit(f"share bench: module {unit} read {what}: exception {pdu.hex()}")
            print(f"share bench: a read {what:13}: p50 {percentile(times, 50):6.2f} ms, p99 {percentile(times, 99):6.2f} ms"
                  f" over {len(times)} reads, the watch's period 1 s")
        stop(gw)

        # ---- the round, alone and with four busy clients; CPU --------------------------------
        gw, port, record = gateway("--period", "0.1", "--cache-ms", "0")
        time.sleep(2)
        n0, c0, t0 = readings(record), ticks(gw.pid), time.monotonic()
        time.sleep(seconds)
        n1, c1, t1 = readings(record), ticks(gw.pid), time.monotonic()
        alone_round = modules * (t1 - t0) / max(1, n1 - n0)
        alone_cpu = (c1 - c0) / hz / (t1 - t0)

        done = [0] * 4
        running = True

        def busy(i):
            c = Client(port)
            unit = i
            while running:
                unit = unit % modules + 1
                c.read(unit, 0x0100, 1)
                done[i] += 1

        threads = [threading.Thread(target=busy, args=(i,)) for i in range(4)]
        for t in threads:
            t.start()
        time.sleep(2)
        n0, c0, t0, f0 = readings(record), ticks(gw.pid), time.monotonic(), sum(done)
        time.sleep(seconds)
        n1, c1, t1, f1 = readings(record), ticks(gw.pid), time.monotonic(), sum(done)
        running = False
        for t in threads:
            t.join()
        busy_round = modules * (t1 - t0) / max(1, n1 - n0)
        forwarded = f1 - f0
        clients_per_round = forwarded * busy_round / (t1 - t0)
        cpu = (c1 - c0) / hz - alone_cpu * (t1 - t0)
        print(f"share bench: the watch's round alone {alone_round * 1000:6.1f} ms, with four busy clients "
              f"{busy_round * 1000:6.1f} ms ({forwarded / (t1 - t0):.1f} forwarded reads a second, "
              f"{clients_per_round:.1f} a round: {clients_per_round * exchange_ms:.1f} ms of the clients' own exchanges a round)")
        print(f"share bench: {1000 * cpu / max(1, forwarded):.3f} ms CPU a forwarded request "
              f"(over the watch's own {1000 * alone_cpu:.1f} ms a second)")
        stop(gw)
    finally:
        for gw in gateways:
            if gw.poll() is None:
                gw.kill()
        sim.terminate()
        sim.wait()


main()
