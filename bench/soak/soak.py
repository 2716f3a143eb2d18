#!/usr/bin/env python3
"""Soak run: the real morvex program against brelko-sim for a given time.

The simulator loses, delays, reorders and duplicates receive audio; the run
drops the link whenever it has been logged in for 10.5 s (ordinary drops of
a healthy connection), has the box refuse the client as a second one now and
then, and for a while plays a flapping box that drops the client as soon as
it logs in. Meanwhile it changes the operator's permissions, writes WinKey
text to the Winkey port and runs a radio program (rigctl) on the CAT port.
At the end it checks that morvex never crashed and ends cleanly, that PTT and
key are off at the box, that resident memory stayed flat after the warm-up,
and that the client's attempts followed its reconnection rule as the box saw
them: a log-in at once after an ordinary drop, 10 s after a refusal, the
back-off steps while the box flapped, and one tray message per outage.
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
# The client's reconnection rule: a connection that ends before
# EARLY_DROP_MS is a failure and waits BACKOFF_MS[failures before] (the last
# step repeats); a refusal waits REFUSED_DELAY_MS and counts as a failure
# too; a connection that lives HEALTHY_MS clears the count.
EARLY_DROP_MS = 10000
HEALTHY_MS = 30000
REFUSED_DELAY_MS = 10000
BACKOFF_MS = (1000, 2000, 4000, 8000, 10000)
# A backed-off attempt may come this much early / late (timer and scheduling).
BACKOFF_SLACK_MS = (100, 1500)
ERROR_SECOND_CLIENT = 1
ERROR_WRONG_PASSWORD = 2
# Ordinary drops hit connections this old (s): clear of EARLY_DROP_MS.
DROP_AGE_S = 10.5
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

    def dump_threads(self):
        """Every thread's stack into threads.txt (gdb, if installed): what a hang waits on."""
        gdb = shutil.which("gdb")
        if not gdb:
            return
        with open(os.path.join(self.home, "threads.txt"), "wb") as out:
            try:
                subprocess.run([gdb, "-p", str(self.proc.pid), "-batch", "-ex", "thread apply all bt 30"],
                               stdout=out, stderr=subprocess.STDOUT, timeout=120)
            except subprocess.TimeoutExpired:
                pass

    def terminate(self, timeout=20):
        if self.running():
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout)
            except subprocess.TimeoutExpired:
                self.dump_threads()
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


class Conn:
    """One command-link connection as the box saw it (simulator clock, ms)."""

    def __init__(self, conn, opened):
        self.id, self.opened = conn, opened
        self.logged_in = self.ended = self.error = None
        self.dropped = False    # ended by a drop the soak asked for


def parse_connections(lines):
    """The simulator's connection events, one Conn per connection in order."""
    conns = {}
    for line in lines:
        m = re.match(r"event conn=(\d+) t=(\d+) (.*)", line)
        if not m:
            continue
        cid, t, what = int(m.group(1)), int(m.group(2)), m.group(3)
        if what.startswith("open"):
            conns[cid] = Conn(cid, t)
            continue
        c = conns.get(cid)
        if c is None:
            continue
        if what == "logged in":
            c.logged_in = t
        err = re.match(r"error (\d+) sent", what) or re.search(r"\): error (\d+)$", what)
        if err and c.error is None:
            c.error = int(err.group(1))
        if c.ended is None and (what.startswith(("drop", "refused")) or what == "closed"):
            c.ended = t
            c.dropped = what.startswith("drop")
    return [conns[k] for k in sorted(conns)]


def replay_policy(conns):
    """The client's reconnection rule replayed over the connections the box
    saw. Returns [(conn, wait ms before the next attempt, failures before)]
    for every ended connection, and the number of outages (one tray balloon
    each)."""
    failures, outage, outages = 0, False, 0
    decisions = []
    for c in conns:
        if c.ended is None:
            continue
        life = c.ended - c.opened
        # Connected again: the outage ends at once on a clean record, else
        # once the connection has stayed up past the early-drop limit.
        if not outage or failures == 0 or life >= EARLY_DROP_MS:
            outage = False
        if life >= HEALTHY_MS:
            failures = 0
        if c.error in (ERROR_SECOND_CLIENT, ERROR_WRONG_PASSWORD):
            wait, failed = REFUSED_DELAY_MS, True
        elif life >= EARLY_DROP_MS:
            wait, failed = 0, False
        else:
            wait, failed = BACKOFF_MS[min(failures, len(BACKOFF_MS) - 1)], True
        decisions.append((c, wait, failures))
        if failed:
            failures += 1
        if not outage:
            outages += 1
        outage = True
    return decisions, outages


def clear_of_limits(age):
    """Whether a connection this old (s, as seen here) may be ended without
    the client's view of its age falling either side of a limit."""
    return all(not (limit / 1000.0 - 0.6 <= age < limit / 1000.0 + 0.5) for limit in (EARLY_DROP_MS, HEALTHY_MS))


def sim_clock_ms(sim):
    # Turning silence off where it is off changes nothing; the answer carries the clock.
    return int(sim.values("silent off")["t"])


def spread(fractions, segments):
    """Times at the given fractions (0..1) of the segments laid end to end."""
    total = sum(b - a for a, b in segments)
    out = []
    for f in fractions:
        x = total * f
        for a, b in segments:
            if x <= b - a:
                out.append(a + x)
                break
            x -= b - a
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--seconds", type=int, default=600)
    ap.add_argument("--bin", default=os.environ.get("BRELKO_BIN_DIR", "build/bin"))
    ap.add_argument("--drops", type=int, default=100, help="most ordinary drops to make")
    ap.add_argument("--keep", action="store_true", help="keep the work folder (logs)")
    args = ap.parse_args()
    # Room for drops before and after the flapping phase, a refusal and the quiet end.
    if args.seconds < 90:
        ap.error("--seconds must be at least 90")

    # Not under TMPDIR: the test environment removes that folder on exit.
    work = tempfile.mkdtemp(prefix="brelko-soak.", dir=os.environ.get("SOAK_WORK_DIR", "/tmp"))
    log(f"work folder {work}, {args.seconds} s, at most {args.drops} drops")
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
        # The age of the first connection, which came up before the run.
        cur_id = sim.values("status").get("active")
        opened = next(c.opened for c in parse_connections(sim.command("events")) if str(c.id) == cur_id)
        cur_since = time.monotonic() - (sim_clock_ms(sim) - opened) / 1000.0
    except (RuntimeError, OSError, StopIteration, KeyError, ValueError) as e:
        print(f"soak: cannot start: {e!r}", file=sys.stderr)
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

    # Ordinary drops hit a connection that has been logged in for
    # DROP_AGE_S, graceful and reset in turn, as often as that allows. The
    # last 15 % (at least 15 s) are quiet, so WinKey text must then be keyed
    # through to the box.
    quiet = max(15.0, 0.15 * duration)
    active_end = duration - quiet
    # The flapping box drops the client as soon as it logs in, so its
    # attempts back off; ordinary drops come before it, to show they count
    # as no failure, and after it, to show the client is back to at once.
    flap_start = 0.18 * duration
    flap_end = flap_start + max(12.0, duration * 25.0 / 120.0)
    recovery = (BACKOFF_MS[-1] + BACKOFF_SLACK_MS[1]) / 1000.0
    # A few times the box refuses the client as a second one: the link is
    # then down for 10 s. Not while the client is backing off.
    refusals = max(1, duration // 200)
    refusal_times = spread([(k + 1) / (refusals + 1) for k in range(refusals)],
                           [(a, b) for a, b in ((0.0, flap_start - 1.0),
                                                (flap_end + recovery, active_end - REFUSED_RETRY_MS[1] / 1000.0))
                            if b > a])
    refusals_done = 0
    # All with bit 0 (access): a frame without it ends the link as a failure.
    perms = ["perm 0x0F 0 0", "perm 0x07 600 5", "perm 0x0B 600 5", "perm 0x0D 0 0", "perm 0x0F 0 0"]
    next_perm, perm_index = 7.0, 0
    drops_before = drops_after = 0
    flap_ids = []     # connections dropped by the flapping box
    last_ended = None
    rss = []          # (seconds since start, kB)
    next_sample = 0.0
    crashed = False
    edges_at_quiet = None

    def end_current(command):
        nonlocal last_ended
        try:
            for c in command:
                sim.command(c)
        except SimError:
            return False    # the client went meanwhile
        last_ended = cur_id
        return True

    while True:
        now_abs = time.monotonic()
        now = now_abs - started
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
        flapping = flap_start <= now < flap_end
        status = sim.values("status")
        age = None
        if status.get("loggedin") == "1":
            if status.get("active") != cur_id:
                cur_id, cur_since = status.get("active"), now_abs
            if cur_id != last_ended:
                age = now_abs - cur_since
        if age is not None and clear_of_limits(age):
            drops_made = drops_before + drops_after
            if flapping:
                if end_current(["drop reset" if len(flap_ids) % 2 else "drop"]):
                    flap_ids.append(int(cur_id))
            elif refusals_done < len(refusal_times) and now >= refusal_times[refusals_done]:
                if end_current(["error 1", "drop"]):
                    refusals_done += 1
            elif now < active_end and age >= DROP_AGE_S and drops_made < args.drops:
                if end_current(["drop reset" if drops_made % 2 else "drop"]):
                    if now < flap_start:
                        drops_before += 1
                    else:
                        drops_after += 1
        if edges_at_quiet is None and now >= active_end + 2:
            edges_at_quiet = int(sim.values("keying").get("edges", "0"))
        if now >= next_perm and now < active_end:
            if not flapping and age is not None:
                try:
                    sim.command(perms[perm_index % len(perms)])
                    perm_index += 1
                except SimError:
                    pass
            next_perm += 11.0
        time.sleep(0.02 if flapping else 0.05)

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
    conns = parse_connections(sim.command("events"))
    # Read before SIGTERM: the link's end at exit is no outage.
    with open(morvex.log_path, errors="replace") as f:
        morvex_log = f.read()
    balloons = morvex_log.count("Tray message: Disconnected")
    # Datagrams the receive buffer refused as late, and restarts of its
    # playout after a run of them: with the impairments kept within the
    # buffering, both stay at zero.
    late_lines = morvex_log.count("LATE")
    late_bursts = len(re.findall(r"(?:^.*LATE\n)+", morvex_log, flags=re.MULTILINE))
    restarts = morvex_log.count("Receive buffer restarts")
    if morvex.running():
        final_kb = morvex.rss_kb()
        if final_kb:
            rss.append((time.monotonic() - started, final_kb))
    else:
        crashed = True
    exit_code = morvex.terminate()
    sim_code = sim.stop()

    # Reconnections: from each end of a connection to the next attempt and
    # the next log-in, against the wait the client's rule gives.
    decisions, outages = replay_policy(conns)
    position = {c.id: i for i, c in enumerate(conns)}
    at_once, refused, backoff = [], [], []    # (conn, wait, failures before, attempt gap, log-in gap)
    missing = 0
    for c, wait, streak in decisions:
        later = conns[position[c.id] + 1:]
        login = next((x.logged_in for x in later if x.logged_in is not None), None)
        if login is None:
            missing += 1
            continue
        rec = (c, wait, streak, later[0].opened - c.ended, login - c.ended)
        if wait == 0:
            at_once.append(rec)
        elif c.error in (ERROR_SECOND_CLIENT, ERROR_WRONG_PASSWORD):
            refused.append(rec)
        else:
            backoff.append(rec)
    at_once_ms = [r[4] for r in at_once]
    refused_ms = [r[4] for r in refused]
    flap_set = set(flap_ids)
    flap_recs = [r for r in backoff if r[0].id in flap_set]
    other_backoff = [r for r in backoff if r[0].id not in flap_set]
    other_ends = [c for c in conns if c.ended is not None and not c.dropped]

    # Memory: median of the first and of the last half-minute after warm-up
    # (and after the client is back from the flapping box).
    warm = max(30.0, 0.3 * duration, flap_end + recovery)
    after = [kb for (t, kb) in rss if t >= warm]
    window = max(5, min(30, len(after) // 4))
    growth = None
    if len(after) >= 2 * window:
        growth = statistics.median(after[-window:]) - statistics.median(after[:window])

    if crashed:
        failures.append(f"morvex ended during the run (code {morvex.proc.returncode})")
    if exit_code is None:
        failures.append("morvex did not end on SIGTERM and was killed (its threads' stacks: morvex/threads.txt)")
    elif exit_code != 0:
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
    odd = [d for d in refused_ms if not REFUSED_RETRY_MS[0] <= d <= REFUSED_RETRY_MS[1]]
    if odd:
        failures.append(f"log-ins after a refusal outside {REFUSED_RETRY_MS} ms: {odd}")
    if args.drops >= 2 and (drops_before == 0 or drops_after == 0):
        failures.append(f"ordinary drops: {drops_before} before and {drops_after} after the flapping phase "
                        "(one of each at least)")
    if missing:
        failures.append(f"{missing} ends of a connection not followed by a log-in")
    slow = [d for d in at_once_ms if d >= RECONNECT_AT_ONCE_MS]
    if slow:
        failures.append(f"{len(slow)} reconnections after a drop took {RECONNECT_AT_ONCE_MS} ms or more: "
                        f"{sorted(slow)[-5:]}")
    off_step = [f"wait {w} ms (after {n} failures): attempt after {g} ms, log-in after {li} ms"
                for (_, w, n, g, li) in backoff
                if g < w - BACKOFF_SLACK_MS[0] or li > w + BACKOFF_SLACK_MS[1]]
    if off_step:
        failures.append(f"back-off outside -{BACKOFF_SLACK_MS[0]}/+{BACKOFF_SLACK_MS[1]} ms: "
                        + "; ".join(off_step))
    if len(flap_recs) < 3:
        failures.append(f"the flapping box saw {len(flap_recs)} backed-off attempts (3 at least)")
    if balloons != outages:
        failures.append(f"{balloons} 'Disconnected' tray messages for {outages} outages")
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
    if late_lines or restarts:
        failures.append(f"receive buffer: {late_lines} late datagrams in {late_bursts} bursts, "
                        f"{restarts} restarts of the playout")
    if int(audio.get("received", "0")) == 0:
        failures.append("no audio reached the box")
    if cat.rigctl is None:
        failures.append("rigctl not installed: no CAT traffic")
    elif cat.ok == 0 or cat.hung:
        failures.append(f"CAT: {cat.ok} answered, {cat.failed} failed, {cat.hung} hung")

    drops_done = drops_before + drops_after
    print()
    print(f"=== soak summary ({duration} s)")
    print(f"morvex: {'crashed' if crashed else 'ran throughout'}, exit code on SIGTERM {exit_code}")
    print(f"ordinary drops (logged in {DROP_AGE_S} s or more): {drops_done} made "
          f"({drops_done - drops_done // 2} graceful, {drops_done // 2} reset; {drops_before} before, "
          f"{drops_after} after the flapping phase)")
    if at_once_ms:
        print(f"at-once reconnections: {len(at_once_ms)}, log-in after ms: min {min(at_once_ms)}, "
              f"median {statistics.median(at_once_ms):.0f}, max {max(at_once_ms)} "
              f"(limit {RECONNECT_AT_ONCE_MS})")
    print(f"refusals (second client): {refusals_done} made, log-in after ms: {refused_ms}")
    gaps = " ".join(f"{g}/{w}" for (_, w, _, g, _) in flap_recs)
    print(f"flapping box ({flap_start:.0f}-{flap_end:.0f} s): {len(flap_ids)} drops at log-in, "
          f"attempt gaps ms (actual/wait): {gaps or 'none'}")
    if flap_recs:
        _, w, n, _, li = flap_recs[-1]
        print(f"  back after the phase: log-in {li} ms after its last drop (wait {w} ms, {n} failures before)")
    if other_backoff:
        print("other backed-off attempts (actual/wait ms): "
              + " ".join(f"{g}/{w}" for (_, w, _, g, _) in other_backoff))
    print(f"outages: {outages}, 'Disconnected' tray messages: {balloons}; ends not made by the soak: "
          f"{len(other_ends)}")
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
    print(f"receive buffer: {late_lines} late datagrams in {late_bursts} bursts, {restarts} restarts")
    print(f"keying at the box: {keying.get('records')} records, {keying.get('edges')} edges, "
          f"{keying.get('duplicates')} duplicates, {keying.get('lost')} samples lost, "
          f"{keying.get('sessions')} sessions, {quiet_edges} edges in the quiet {quiet:.0f} s at the end; "
          f"end ptt={keying.get('ptt')} key={keying.get('key')}; "
          f"link ptt={status.get('ptt')}")
    print(f"WinKey: {winkey.messages} messages written; CAT (rigctl): {cat.ok} answered, {cat.failed} failed, "
          f"{cat.hung} hung; permission changes: {perm_index}")
    print(f"command link: {len(conns)} connections, {status.get('frames')} frames, "
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
