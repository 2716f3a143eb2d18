#!/usr/bin/env python3
"""Soak run: the real morvex program against brelko-sim for a given time.

The simulator loses, delays, reorders and duplicates receive audio; the run
drops the link about a hundred times, changes the operator's permissions,
writes WinKey text to the Winkey port and runs a radio program (rigctl) on
the CAT port. At the end it checks that morvex never crashed and ends
cleanly, that PTT and key are off at the box, that resident memory stayed
flat after the warm-up and that every drop was followed by a log-in at once.
Prints a summary; exits 1 on any failed check, 2 when the run cannot start.

Needs an X display with a tray host and the virtual sound devices: run it
through scripts/soak.sh, which uses scripts/with-test-env.sh.
"""

import argparse
import os
import re
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import termios
import threading
import time
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from simcontrol import Sim, SimError, wait_until, write_morvex_ini  # noqa: E402

RECONNECT_AT_ONCE_MS = 2000
# After the box refuses a second client it drops the link; the client tries
# again after 10 s (the timer's own slack allowed).
REFUSED_RETRY_MS = (9500, 13000)
RSS_GROWTH_LIMIT_KB = 2048


def log(msg):
    print(f"[soak {time.strftime('%H:%M:%S')}] {msg}", flush=True)


class Morvex:
    """The real program with a settings file and port folder of its own."""

    def __init__(self, binary, workdir, sim):
        self.home = workdir
        data = os.path.join(workdir, "data")
        for d in ("config", "tmp", "vsport"):
            os.makedirs(os.path.join(workdir, d))
        self.port_dir = os.path.join(workdir, "vsport")
        write_morvex_ini(data, sim, {
            "Serial": {"Serial_1": "COM5", "Serial_2": "None", "Serial_3": "None",
                       "Serial_4": "None", "Serial_5": "COM9"},
            "Audio": {"AudioInput": "Microphone", "AudioOutput": "Speakers"},
        })
        env = dict(os.environ)
        env.update({"XDG_DATA_HOME": data, "XDG_CONFIG_HOME": os.path.join(workdir, "config"),
                    "VSPORT_DIR": self.port_dir, "TMPDIR": os.path.join(workdir, "tmp"),
                    "MORVEX_LOG_STDERR": "1", "QT_QPA_PLATFORM": "xcb"})
        self.log_path = os.path.join(workdir, "morvex.log")
        self.log_file = open(self.log_path, "wb")
        # SOAK_MORVEX_WRAPPER (e.g. "heaptrack -o /tmp/morvex") runs it under a tool.
        wrapper = os.environ.get("SOAK_MORVEX_WRAPPER", "").split()
        self.proc = subprocess.Popen(wrapper + [binary], env=env, stdout=subprocess.DEVNULL,
                                     stderr=self.log_file)

    def rss_kb(self):
        try:
            with open(f"/proc/{self.proc.pid}/status") as f:
                m = re.search(r"VmRSS:\s+(\d+)", f.read())
            return int(m.group(1)) if m else None
        except OSError:
            return None

    def running(self):
        return self.proc.poll() is None

    def terminate(self, timeout=20):
        if self.running():
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
                self.log_file.close()
                return None
        self.log_file.close()
        return self.proc.returncode


def open_raw(path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    tty.setraw(fd)
    attrs = termios.tcgetattr(fd)
    attrs[4] = attrs[5] = termios.B1200
    termios.tcsetattr(fd, termios.TCSANOW, attrs)
    return fd


def write_all(fd, data, timeout=5):
    deadline = time.monotonic() + timeout
    while data and time.monotonic() < deadline:
        _, w, _ = select.select([], [fd], [], 0.2)
        if w:
            try:
                data = data[os.write(fd, data):]
            except BlockingIOError:
                pass
    return not data


def drain(fd):
    try:
        while select.select([fd], [], [], 0)[0]:
            if not os.read(fd, 4096):
                break
    except OSError:
        pass


class WinKeyWriter(threading.Thread):
    """A contest program on the Winkey port: host open, speed, then text."""

    TEXT = b"CQ TEST DE SOAK SOAK K "

    def __init__(self, path, stop):
        super().__init__(daemon=True)
        self.path, self.stop_event = path, stop
        self.messages = 0
        self.error = None

    def run(self):
        try:
            fd = open_raw(self.path)
        except OSError as e:
            self.error = f"cannot open {self.path}: {e}"
            return
        try:
            write_all(fd, b"\x00\x02")      # host open
            # Load defaults, as contest programs do after opening: 40 WPM,
            # weighting and ratio neutral, no PTT lead or tail.
            write_all(fd, bytes([0x0F, 0x00, 40, 5, 50, 0, 0, 10, 25, 0, 0, 0, 50, 50, 0x06, 0xFF]))
            while not self.stop_event.wait(4.0):
                drain(fd)
                if write_all(fd, self.TEXT):
                    self.messages += 1
            drain(fd)
            write_all(fd, b"\x0a")          # clear buffer
            write_all(fd, b"\x00\x03")      # host close
            time.sleep(0.5)
            drain(fd)
        finally:
            os.close(fd)


class CatClient(threading.Thread):
    """A radio program on the CAT port: rigctl reads the frequency now and then."""

    def __init__(self, path, stop, interval):
        super().__init__(daemon=True)
        self.path, self.stop_event, self.interval = path, stop, interval
        self.ok = self.failed = self.hung = 0
        self.rigctl = shutil.which("rigctl")

    def run(self):
        if not self.rigctl:
            return
        while not self.stop_event.wait(self.interval):
            try:
                r = subprocess.run([self.rigctl, "-m", "2014", "-r", self.path, "-s", "9600", "f"],
                                   capture_output=True, timeout=30)
                if r.returncode == 0 and r.stdout.strip().isdigit() and int(r.stdout.strip()) > 0:
                    self.ok += 1
                else:
                    self.failed += 1
            except subprocess.TimeoutExpired:
                self.hung += 1




def parse_events(lines):
    out = []
    for line in lines:
        m = re.match(r"event conn=(\d+) t=(\d+) (.*)", line)
        if m:
            out.append((int(m.group(2)), int(m.group(1)), m.group(3)))
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--seconds", type=int, default=600)
    ap.add_argument("--bin", default=os.environ.get("BRELKO_BIN_DIR", "build/bin"))
    ap.add_argument("--drops", type=int, default=100)
    ap.add_argument("--keep", action="store_true", help="keep the work folder (logs)")
    args = ap.parse_args()
    if args.seconds < 60:
        ap.error("--seconds must be at least 60")

    # Not under TMPDIR: the test environment removes that folder on exit.
    work = tempfile.mkdtemp(prefix="brelko-soak.", dir=os.environ.get("SOAK_WORK_DIR", "/tmp"))
    log(f"work folder {work}, {args.seconds} s, {args.drops} drops")
    failures = []
    sim = morvex = None
    stop = threading.Event()
    try:
        sim = Sim(os.path.join(args.bin, "brelko-sim"), work,
                  ["--perm-slot", "brelko:0x0F:0:0", "--audio-loss", "10", "--audio-jitter", "40",
                   "--audio-reorder", "5", "--audio-dup", "5"])
        morvex = Morvex(os.path.join(args.bin, "morvex"), os.path.join(work, "morvex"), sim)
        if not wait_until(lambda: sim.values("status").get("loggedin") == "1", 60):
            raise RuntimeError("morvex did not log in")
        cat_path = os.path.join(morvex.port_dir, "COM5")
        wk_path = os.path.join(morvex.port_dir, "COM9")
        if not wait_until(lambda: os.path.exists(cat_path) and os.path.exists(wk_path), 30):
            raise RuntimeError("morvex did not create its ports")
    except (RuntimeError, OSError) as e:
        print(f"soak: cannot start: {e}", file=sys.stderr)
        for what in (morvex, sim):
            if what and os.path.exists(what.log_path):
                print(f"--- {what.log_path} (tail)", file=sys.stderr)
                with open(what.log_path, errors="replace") as f:
                    print("".join(f.readlines()[-40:]), file=sys.stderr)
        if morvex:
            morvex.terminate()
        if sim:
            sim.stop()
        return 2

    started = time.monotonic()
    duration = args.seconds
    winkey = WinKeyWriter(wk_path, stop)
    cat = CatClient(cat_path, stop, interval=3.0)
    winkey.start()
    cat.start()

    # Drops spread over the run after the first 10 %, graceful and reset in
    # turn; the last 15 % (at least 15 s) are quiet, so WinKey text must then
    # be keyed through to the box.
    quiet = max(15.0, 0.15 * duration)
    first_drop, last_drop = 0.1 * duration, duration - quiet
    # A few times the box refuses the client as a second one: the link is
    # then down for 10 s, and the drops after it move on by that much.
    refusals = max(1, duration // 200)
    refusal_gap = REFUSED_RETRY_MS[1] / 1000.0
    step = (last_drop - first_drop - refusals * refusal_gap) / max(1, args.drops)
    drop_times = [first_drop + i * step for i in range(args.drops)]
    refusal_after = [int(args.drops * (k + 1) / (refusals + 1)) for k in range(refusals)]
    refusals_done = 0
    shift = 0.0
    perms = ["perm 0x0F 0 0", "perm 0x07 600 5", "perm 0x0B 600 5", "perm 0x0D 0 0", "perm 0x0F 0 0"]
    next_perm, perm_index = 7.0, 0
    drops_done = drop_skipped = 0
    rss = []          # (seconds since start, kB)
    next_sample = 0.0
    crashed = False
    edges_at_quiet = None

    while True:
        now = time.monotonic() - started
        if now >= duration:
            break
        if not morvex.running():
            crashed = True
            break
        if now >= next_sample:
            kb = morvex.rss_kb()
            if kb is not None:
                rss.append((now, kb))
            next_sample += 1.0
        if drops_done + drop_skipped < len(drop_times) and now >= drop_times[drops_done + drop_skipped] + shift:
            # Only a logged-in client is dropped; otherwise wait for it a little.
            if sim.values("status").get("loggedin") == "1":
                if refusals_done < refusals and drops_done == refusal_after[refusals_done]:
                    sim.command("error 1")
                    sim.command("drop")
                    refusals_done += 1
                    shift += refusal_gap
                else:
                    sim.command("drop reset" if drops_done % 2 else "drop")
                    drops_done += 1
            elif now >= drop_times[drops_done + drop_skipped] + shift + 5:
                drop_skipped += 1
        if edges_at_quiet is None and now >= duration - quiet + 2:
            edges_at_quiet = int(sim.values("keying").get("edges", "0"))
        if now >= next_perm and now < duration - quiet:
            if sim.values("status").get("loggedin") == "1":
                sim.command(perms[perm_index % len(perms)])
                perm_index += 1
            next_perm += 11.0
        time.sleep(0.05)

    # Wind down: the keyer closes, the box must see PTT and key off.
    stop.set()
    winkey.join(15)
    cat.join(40)
    end_state_ok = wait_until(lambda: (lambda k, s: k.get("ptt") == "0" and k.get("key") == "0"
                                       and s.get("ptt") == "0")(sim.values("keying"), sim.values("status")),
                              15, step=0.5)
    keying = sim.values("keying")
    status = sim.values("status")
    audio = sim.values("audio")
    timeline = sim.command("keying timeline")
    events = parse_events(sim.command("events"))
    if morvex.running():
        final_kb = morvex.rss_kb()
        if final_kb:
            rss.append((time.monotonic() - started, final_kb))
    else:
        crashed = True
    exit_code = morvex.terminate()
    sim_code = sim.stop()

    # Reconnections: from each drop the simulator made to the next log-in.
    delays = []
    refused_delays = []
    missing = 0
    for i, (t, conn, what) in enumerate(events):
        if not what.startswith("drop"):
            continue
        refused = i > 0 and events[i - 1][1] == conn and events[i - 1][2].startswith("error 1")
        nxt = next((t2 for (t2, c2, w2) in events[i + 1:] if w2 == "logged in" and c2 != conn), None)
        if nxt is None:
            missing += 1
        elif refused:
            refused_delays.append(nxt - t)
        else:
            delays.append(nxt - t)
    other_closes = [w for (_, _, w) in events if w.startswith("refused") or w.startswith("error")]

    # Memory: median of the first and of the last half-minute after warm-up.
    warm = max(30.0, 0.3 * duration)
    after = [kb for (t, kb) in rss if t >= warm]
    window = max(5, min(30, len(after) // 4))
    growth = None
    if len(after) >= 2 * window:
        growth = statistics.median(after[-window:]) - statistics.median(after[:window])

    if crashed:
        failures.append(f"morvex ended during the run (code {morvex.proc.returncode})")
    if exit_code != 0:
        failures.append(f"morvex did not end cleanly on SIGTERM (code {exit_code})")
    if sim_code != 0:
        failures.append(f"brelko-sim ended with code {sim_code}")
    if not end_state_ok:
        failures.append(f"PTT/key left on at the box: keying ptt={keying.get('ptt')} key={keying.get('key')}, "
                        f"link ptt={status.get('ptt')}")
    if timeline and not timeline[-1].rstrip().endswith("key=0 ptt=0"):
        failures.append(f"keying timeline does not end off: {timeline[-1]}")
    if refusals_done < refusals:
        failures.append(f"only {refusals_done} of {refusals} refusals made")
    odd = [d for d in refused_delays if not REFUSED_RETRY_MS[0] <= d <= REFUSED_RETRY_MS[1]]
    if odd:
        failures.append(f"retries after a refusal outside {REFUSED_RETRY_MS} ms: {odd}")
    if drops_done < args.drops:
        failures.append(f"only {drops_done} of {args.drops} drops made ({drop_skipped} skipped: not logged in)")
    if missing:
        failures.append(f"{missing} drops not followed by a log-in")
    slow = [d for d in delays if d >= RECONNECT_AT_ONCE_MS]
    if slow:
        failures.append(f"{len(slow)} reconnections took {RECONNECT_AT_ONCE_MS} ms or more: {sorted(slow)[-5:]}")
    if growth is None:
        failures.append("too few memory samples after warm-up")
    elif growth >= RSS_GROWTH_LIMIT_KB:
        failures.append(f"resident memory grew by {growth:.0f} kB after warm-up")
    if winkey.error:
        failures.append(f"WinKey writer: {winkey.error}")
    elif winkey.messages == 0:
        failures.append("no WinKey text written")
    quiet_edges = int(keying.get("edges", "0")) - (edges_at_quiet or 0)
    if edges_at_quiet is None or quiet_edges < 10:
        failures.append(f"WinKey keying did not reach the box once the link was quiet ({quiet_edges} edges)")
    if int(audio.get("received", "0")) == 0:
        failures.append("no audio reached the box")
    if cat.rigctl is None:
        failures.append("rigctl not installed: no CAT traffic")
    elif cat.ok == 0 or cat.hung:
        failures.append(f"CAT: {cat.ok} answered, {cat.failed} failed, {cat.hung} hung")

    print()
    print(f"=== soak summary ({duration} s)")
    print(f"morvex: {'crashed' if crashed else 'ran throughout'}, exit code on SIGTERM {exit_code}")
    if delays:
        print(f"drops: {drops_done} made ({drops_done - drops_done // 2} graceful, {drops_done // 2} reset), "
              f"{len(delays)} followed by a log-in; reconnection ms: min {min(delays)}, "
              f"median {statistics.median(delays):.0f}, max {max(delays)}; other refusals/errors "
              f"{len(other_closes)}")
    else:
        print(f"drops: {drops_done} made, none followed by a log-in")
    print(f"refusals (second client): {refusals_done} made, retries after ms: {refused_delays}")
    if rss:
        first_after = statistics.median(after[:window]) if growth is not None else float('nan')
        print(f"memory (VmRSS): start {rss[0][1]} kB, after warm-up ({warm:.0f} s) {first_after:.0f} kB, "
              f"end {rss[-1][1]} kB, max {max(kb for _, kb in rss)} kB, growth after warm-up "
              f"{'n/a' if growth is None else f'{growth:.0f} kB'} (limit {RSS_GROWTH_LIMIT_KB} kB)")
    if rss:
        marks = []
        for tenth in range(1, 11):
            t_mark = duration * tenth / 10
            kb = next((kb for (t, kb) in rss if t >= t_mark - 1), rss[-1][1])
            marks.append(f"{tenth * 10}%:{kb / 1024:.1f}")
        print(f"memory trend (MiB at each tenth of the run): {' '.join(marks)}")
    print(f"audio at the box: {audio.get('sent')} datagrams sent (loss {audio.get('loss')} %, jitter "
          f"{audio.get('jitter')} ms, reorder {audio.get('reorder')} %, dup {audio.get('dup')} %), "
          f"{audio.get('received')} received from morvex, malformed {audio.get('malformed')}, "
          f"seq gaps {audio.get('seqgaps')}")
    print(f"keying at the box: {keying.get('records')} records, {keying.get('edges')} edges, "
          f"{keying.get('duplicates')} duplicates, {keying.get('lost')} samples lost, "
          f"{keying.get('sessions')} sessions, {quiet_edges} edges in the quiet {quiet:.0f} s at the end; "
          f"end ptt={keying.get('ptt')} key={keying.get('key')}; "
          f"link ptt={status.get('ptt')}")
    print(f"WinKey: {winkey.messages} messages written; CAT (rigctl): {cat.ok} answered, {cat.failed} failed, "
          f"{cat.hung} hung; permission changes: {perm_index}")
    print(f"command link: {status.get('connections')} connections, {status.get('frames')} frames, "
          f"{status.get('crcerrors')} CRC errors")
    if failures:
        print("FAILED:")
        for f in failures:
            print(f"  - {f}")
        args.keep = True
    else:
        print("PASSED")
    if args.keep:
        print(f"logs kept in {work}")
    else:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
