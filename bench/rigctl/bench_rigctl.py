#!/usr/bin/env python3
"""Round trip of the frequency question `f` through Morvex's rig control
server, beside Hamlib's own rigctl -m 2014 straight on Morvex's CAT port.

Both run against the real morvex and brelko-sim's simulated TS-2000: first
morvex serves the radio (model 2014) and a client asks `f` on the server's TCP
port; then morvex serves without a radio model, so the CAT port is free, and
an interactive `rigctl -m 2014` on the port asks `f` (its cache off, so each
question reaches the radio). Writes median, p99 and max (ms) as JSON.
Usage: bench_rigctl.py --build BUILD --json OUT [--calls 200]
"""
import argparse
import json
import os
import signal
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from simcontrol import Sim, wait_until, write_morvex_ini  # noqa: E402


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def stats(ms):
    ms = sorted(ms)
    return {"median_ms": ms[len(ms) // 2], "p99_ms": ms[min(len(ms) - 1, int(len(ms) * 0.99))],
            "max_ms": ms[-1], "calls": len(ms)}


class Morvex:
    def __init__(self, build, work, model, rig_port, ptt_by_cat=False):
        self.work = work
        os.makedirs(work, exist_ok=True)
        self.sim = Sim(os.path.join(build, "bin", "brelko-sim"), work, ("--perm-slot", "brelko:0x0F:0:0"))
        home = os.path.join(work, "home")
        self.env = dict(os.environ)
        self.env.update({"XDG_DATA_HOME": os.path.join(home, "data"),
                         "XDG_CONFIG_HOME": os.path.join(home, "config"),
                         "VSPORT_DIR": os.path.join(home, "vsport"), "TMPDIR": os.path.join(home, "tmp"),
                         "MORVEX_LOG_STDERR": "1", "QT_QPA_PLATFORM": "xcb"})
        for d in ("data", "config", "vsport", "tmp"):
            os.makedirs(os.path.join(home, d), exist_ok=True)
        write_morvex_ini(self.env["XDG_DATA_HOME"], self.sim, {
            "Serial": {"Serial_1": "COM5", "Serial_2": "None", "Serial_3": "None", "Serial_4": "None",
                       "Serial_5": "None"},
            "RigControl": {"RigEnabled": "true", "RigPort": rig_port, "RigModel": model,
                           "RigPttByCat": "true" if ptt_by_cat else "false"}})
        self.log = os.path.join(work, "morvex.log")
        with open(self.log, "wb") as out:
            self.proc = subprocess.Popen([os.path.join(build, "bin", "morvex")], env=self.env,
                                         stdout=subprocess.DEVNULL, stderr=out)
        if not wait_until(lambda: self.sim.values("status").get("loggedin") == "1", 60):
            raise RuntimeError("morvex did not log in to brelko-sim")
        if not wait_until(lambda: b"Rig control: listening" in open(self.log, "rb").read(), 30):
            raise RuntimeError("the rig control server did not start")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(20)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.sim.stop()


def through_server(port, calls):
    s = socket.create_connection(("127.0.0.1", port), timeout=10)
    f = s.makefile("rb")
    s.sendall(b"\\chk_vfo\n")
    f.readline()
    times = []
    for i in range(calls + 5):
        t0 = time.perf_counter()
        s.sendall(b"f\n")
        answer = f.readline()
        dt = (time.perf_counter() - t0) * 1000
        if not answer.strip().isdigit():
            raise RuntimeError(f"server answered {answer!r}")
        if i >= 5:  # the first ones open the radio
            times.append(dt)
    s.sendall(b"q\n")
    s.close()
    return times


def rigctl_direct(path, calls):
    p = subprocess.Popen(["rigctl", "-m", "2014", "-r", path, "-s", "9600"], stdin=subprocess.PIPE,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    os.set_blocking(p.stdout.fileno(), False)
    buf = b""

    def prompt(timeout=10):
        nonlocal buf
        end = time.monotonic() + timeout
        while b"Rig command: " not in buf:
            if time.monotonic() > end:
                raise RuntimeError(f"rigctl gave no prompt: {buf[-200:]!r}")
            chunk = p.stdout.read()
            if chunk:
                buf += chunk
            else:
                time.sleep(0.0002)
        head, _, buf = buf.partition(b"Rig command: ")
        return head

    prompt()
    p.stdin.write(b"\\set_cache 0\n")
    p.stdin.flush()
    prompt()
    times = []
    for i in range(calls + 5):
        t0 = time.perf_counter()
        p.stdin.write(b"f\n")
        p.stdin.flush()
        answer = prompt()
        dt = (time.perf_counter() - t0) * 1000
        if b"Frequency:" not in answer:
            raise RuntimeError(f"rigctl answered {answer!r}")
        if i >= 5:
            times.append(dt)
    p.stdin.write(b"q\n")
    p.stdin.flush()
    p.wait(10)
    return times


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--json", required=True)
    ap.add_argument("--calls", type=int, default=200)
    args = ap.parse_args()
    work = os.path.join(os.path.dirname(os.path.abspath(args.json)), "rigctl-bench")
    result = {}
    port = free_port()
    m = Morvex(args.build, os.path.join(work, "server"), 2014, port)
    try:
        result["server"] = stats(through_server(port, args.calls))
    finally:
        m.stop()
    m = Morvex(args.build, os.path.join(work, "direct"), 0, free_port())
    try:
        result["direct"] = stats(rigctl_direct(os.path.join(m.env["VSPORT_DIR"], "COM5"), args.calls))
    finally:
        m.stop()
    with open(args.json, "w") as f:
        json.dump(result, f, indent=1)
    print(json.dumps(result))


if __name__ == "__main__":
    main()
