#!/usr/bin/env python3
"""Performance report: runs every benchmark program of a Release build, the
real morvex against brelko-sim and the firmware upload against
brelko-sim-hid, and prints one markdown table (also written to a file).

Run through bench/report.sh, which builds what is needed and provides the
virtual display, tray host and sound devices (scripts/with-test-env.sh).
Exits 1 when any figure could not be measured; the table then names it.
"""

import argparse
import datetime
import json
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import time

from simcontrol import Sim, SimError, wait_until, write_morvex_ini

FRAME_NS = 20e6  # one 20 ms audio frame
KEYING_WPM = 40
PARTS = ("rtp", "plc", "audio", "keying", "morvex", "fw", "rigctl")  # bench_keying's speed: a dit lasts 1200 / 40 ms


class Missing(RuntimeError):
    """A figure that could not be measured."""


def log(msg):
    print(f"[report {time.strftime('%H:%M:%S')}] {msg}", file=sys.stderr, flush=True)


# --- running programs -------------------------------------------------------

class Runner:
    def __init__(self, build, work):
        self.bin = os.path.join(build, "bin")
        self.lib = os.path.join(build, "lib")
        self.work = work
        self.logs = os.path.join(work, "logs")
        os.makedirs(self.logs, exist_ok=True)

    def env(self, name):
        """Settings and data of each program in a folder of its own."""
        home = os.path.join(self.work, "home", name)
        for d in ("data", "config", "vsport"):
            os.makedirs(os.path.join(home, d), exist_ok=True)
        env = dict(os.environ)
        env.update({"XDG_DATA_HOME": os.path.join(home, "data"),
                    "XDG_CONFIG_HOME": os.path.join(home, "config"),
                    "VSPORT_DIR": os.path.join(home, "vsport"),
                    "BRELKO_BIN_DIR": self.bin, "BRELKO_LIB_DIR": self.lib})
        return env

    def run(self, name, args, timeout):
        """Runs bin/name; its output goes to a log file. Raises Missing on failure."""
        path = os.path.join(self.bin, name)
        if not os.access(path, os.X_OK):
            raise Missing(f"{path} not built")
        out_path = os.path.join(self.logs, f"{name}.log")
        log(f"{name} {' '.join(args)}")
        started = time.monotonic()
        with open(out_path, "wb") as out:
            try:
                rc = subprocess.run([path] + args, stdout=out, stderr=subprocess.STDOUT, env=self.env(name),
                                    timeout=timeout).returncode
            except subprocess.TimeoutExpired:
                raise Missing(f"{name} did not finish within {timeout} s (log {out_path})")
        log(f"{name} done in {time.monotonic() - started:.0f} s (exit {rc})")
        if rc != 0:
            raise Missing(f"{name} exited with {rc}: {tail(out_path)}")
        return out_path

    def gbench(self, name, extra, timeout):
        """A Google Benchmark program; its JSON results, errors checked."""
        js = os.path.join(self.work, f"{name}.json")
        self.run(name, [f"--benchmark_out={js}", "--benchmark_out_format=json"] + extra, timeout)
        with open(js) as f:
            runs = json.load(f)["benchmarks"]
        return runs


def tail(path, lines=5):
    try:
        with open(path, errors="replace") as f:
            return " | ".join(l.strip() for l in f.readlines()[-lines:])
    except OSError:
        return "(no output)"


def to_ns(run, key):
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[run.get("time_unit", "ns")]
    return run[key] * scale


def find_run(runs, prefix):
    """The iteration runs whose name starts with prefix; a benchmark error is Missing."""
    found = [r for r in runs if r.get("run_name", r["name"]).split("/")[0] == prefix.split("/")[0]
             and r.get("run_name", r["name"]).startswith(prefix) and r.get("run_type", "iteration") == "iteration"]
    if not found:
        raise Missing(f"{prefix}: no result")
    for r in found:
        if r.get("error_occurred"):
            raise Missing(f"{prefix}: {r.get('error_message', 'error')}")
    return found


def counter(run, key):
    if key not in run:
        raise Missing(f"{run['name']}: counter {key} missing")
    return float(run[key])


# --- figures ----------------------------------------------------------------

def pct(x):
    return f"{x * 100:.3g} %"


def fmt_ns(ns):
    return f"{ns / 1000:.2f} µs" if ns >= 1000 else f"{ns:.0f} ns"


def rtp_cost(runner, rows):
    runs = runner.gbench("bench_rtp", ["--benchmark_repetitions=5",
                                       "--benchmark_filter=BM_WriteReadDelivered|BM_WriteReadConcealed|BM_FillIn$"],
                         timeout=180)
    for prefix, what in (("BM_WriteReadDelivered", "Jitter buffer: write + read per frame delivered"),
                         ("BM_WriteReadConcealed", "Jitter buffer: write + read per frame concealed"),
                         ("BM_FillIn", "Concealment fill-in alone (first after real audio)")):
        times = sorted(to_ns(r, "cpu_time") for r in find_run(runs, prefix))
        med = statistics.median(times)
        rows.append((what, f"{fmt_ns(med)} CPU (median of {len(times)} runs, {fmt_ns(times[0])}–{fmt_ns(times[-1])})",
                     f"{pct(med / FRAME_NS)} of the 20 ms frame period"))


def plc_quality(runner, rows):
    js = os.path.join(runner.work, "plc.json")
    runner.run("rtp_plc_quality", ["--json", js], timeout=300)
    with open(js) as f:
        data = json.load(f)
    if not data.get("mirror_ok"):
        raise Missing("concealment mirror check failed")
    for kind in ("tone", "speech"):
        sel = [r for r in data["rows"] if r["kind"] == kind]
        frames = sum(r["frames"] for r in sel)
        if not frames:
            raise Missing(f"no concealed {kind} frames scored")
        conc = sum(r["lsd_concealed_sum"] for r in sel) / frames
        sil = sum(r["lsd_silence_sum"] for r in sel) / frames
        names = sorted({r["signal"] for r in sel})
        label = "tones (" + ", ".join(n.replace("tone ", "") for n in names) + ")" if kind == "tone" else names[0]
        rows.append((f"Concealment quality, {label}",
                     f"LSD {conc:.2f} dB concealed vs {sil:.2f} dB silence insertion ({frames} frames, "
                     f"5/10/20 % random and bursty loss)",
                     f"ratio {conc / sil:.2f} (lower is better; 1 = no better than silence)"))


def audio_engine(runner, rows):
    if not os.environ.get("BRELKO_AUDIO_READY"):
        raise Missing("no virtual sound devices (run through bench/report.sh)")
    runs = runner.gbench("bench_audio", [], timeout=600)
    for buffered, long_buffers in ((60, 0), (200, 0), (400, 0), (800, 0), (200, 1)):
        r = find_run(runs, f"BM_ReceiveLatency/buffered:{buffered}/long:{long_buffers}/")[0]
        mean = counter(r, "latency_ms")
        lo, hi = counter(r, "latency_min_ms"), counter(r, "latency_max_ms")
        n = int(counter(r, "clicks"))
        if n == 0:
            raise Missing(f"receive latency {buffered} ms: no click heard")
        device = "100 ms device buffers (LongSoundBuffers)" if long_buffers else "20 ms device buffers"
        rows.append((f"Receive latency, click to speaker, buffering {buffered} ms, {device}",
                     f"mean {mean:.0f} ms (min {lo:.0f}, max {hi:.0f}; {n} clicks)",
                     f"excess over the buffering {mean - buffered:+.0f} ms; split: arrival to buffer "
                     f"{counter(r, 'arrival_ms'):.1f} ms, buffer wait {counter(r, 'buffer_wait_ms'):.0f} ms, "
                     f"callback to DAC {counter(r, 'callback_to_dac_ms'):.0f} ms (stream latency "
                     f"{counter(r, 'stream_latency_ms'):.0f} ms), sound server and recording "
                     f"{counter(r, 'server_ms'):.0f} ms; {int(counter(r, 'underflow_flags'))} underflow flags"))
    r = find_run(runs, "BM_Underruns/buffered:60/seconds:60")[0]
    rows.append(("Underruns at 60 ms buffering over 60 s, 20 ms device buffers",
                 f"{int(counter(r, 'underflow_flags'))} underflow flags, {int(counter(r, 'late'))} late datagrams "
                 f"of {int(counter(r, 'received'))}",
                 f"stream latency {counter(r, 'stream_latency_ms'):.0f} ms; capture and transmit running"))
    r = find_run(runs, "BM_ClientCpuPerSecond")[0]
    mean, lo, hi = (counter(r, k) for k in ("cpu_ms_per_s", "cpu_min_ms_per_s", "cpu_max_ms_per_s"))
    rows.append(("Client CPU per second of streaming, in-process engine (bench_audio)",
                 f"{mean:.1f} ms/s = {mean / 10:.2f} % of one core (2 s rounds {lo:.1f}–{hi:.1f} ms/s)",
                 "RtpThread + AudioThread with capture and transmit against brelko-sim, 3 × 2 s, "
                 "without the program around them"))


def keying(runner, rows):
    runs = runner.gbench("bench_keying", [], timeout=300)
    dit = 1200 / KEYING_WPM
    for name, what in (("BM_WinKeyEdgesIdle", "idle"), ("BM_WinKeyEdgesBusy", "both cores loaded")):
        r = find_run(runs, name)[0]
        p50, p99, mx = (counter(r, k) for k in ("edge_p50_ms", "edge_p99_ms", "edge_max_ms"))
        rows.append((f"Keying edge error, {what}",
                     f"p50 {p50:.1f} / p99 {p99:.1f} / max {mx:.1f} ms ({int(counter(r, 'edges'))} edges)",
                     f"max = {pct(mx / dit)} of a {dit:.0f} ms dit ({KEYING_WPM} WPM); edges sampled every 1 ms"))
    for name, what in (("BM_TickLatenessIdle", "idle"), ("BM_TickLatenessBusy", "both cores loaded")):
        r = find_run(runs, name)[0]
        p50, p99, mx = (counter(r, k) for k in ("late_p50_ms", "late_p99_ms", "late_max_ms"))
        rows.append((f"1 ms timer tick lateness, {what}",
                     f"p50 {p50:.3f} / p99 {p99:.3f} / max {mx:.3f} ms ({int(counter(r, 'ticks'))} ticks)",
                     f"p99 = {p99:.2f} tick periods, max = {mx:.1f}"))


def fw_upload(runner, rows):
    js = os.path.join(runner.work, "fwupload.json")
    runner.run("bench_fwupload", ["--json", js], timeout=900)
    with open(js) as f:
        d = json.load(f)
    if not d.get("sha1_ok"):
        raise Missing("firmware upload: device image differs")
    rows.append((f"Firmware upload, {d['bytes']} bytes, Files tab to brelko-sim-hid",
                 f"{d['seconds']:.2f} s ({d['seconds'] * 1000 / d['reports']:.2f} ms per report; SHA-1 on the "
                 f"device matches)",
                 f"{d['reports']} reports × {d['interval_ms']} ms = {d['paced_seconds']:.2f} s; ratio "
                 f"{d['ratio']:.3f}"))


# --- the real morvex against brelko-sim --------------------------------------

def proc_cpu_s(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15; the split starts at field 3.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def thread_cpu_s(pid):
    """CPU seconds per thread name (threads of one name summed)."""
    by_name = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/stat") as f:
                raw = f.read()
        except OSError:
            continue
        name = raw[raw.index("(") + 1:raw.rindex(")")]
        fields = raw.rsplit(")", 1)[1].split()
        by_name[name] = by_name.get(name, 0) + (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    return by_name


def rss_by_mapping_kb(pid):
    """Resident kB per mapped file (anonymous memory as "[anon]")."""
    by_file, current = {}, "[anon]"
    with open(f"/proc/{pid}/smaps") as f:
        for line in f:
            parts = line.split()
            if re.match(r"^[0-9a-f]+-[0-9a-f]+ ", line):
                current = parts[5] if len(parts) > 5 else "[anon]"
                if not current.startswith("/"):
                    current = "[anon]" if not current.startswith("[") else current
            elif parts and parts[0] == "Rss:":
                by_file[current] = by_file.get(current, 0) + int(parts[1])
    return by_file


def proc_status_kb(pid, key):
    with open(f"/proc/{pid}/status") as f:
        m = re.search(rf"{key}:\s+(\d+)", f.read())
    if not m:
        raise Missing(f"morvex: no {key}")
    return int(m.group(1))




def real_morvex(runner, rows, seconds, warmup):
    if not os.environ.get("BRELKO_AUDIO_READY"):
        raise Missing("no virtual sound devices (run through bench/report.sh)")
    work = os.path.join(runner.work, "morvex")
    os.makedirs(work, exist_ok=True)
    sim = Sim(os.path.join(runner.bin, "brelko-sim"), work)
    proc = None
    try:
        env = runner.env("morvex")
        write_morvex_ini(env["XDG_DATA_HOME"], sim,
                         {"Audio": {"AudioInput": "Microphone", "AudioOutput": "Speakers"}})
        tmp = os.path.join(work, "tmp")
        os.makedirs(tmp, exist_ok=True)
        env.update({"TMPDIR": tmp, "MORVEX_LOG_STDERR": "1", "QT_QPA_PLATFORM": "xcb"})
        morvex_log = os.path.join(runner.logs, "morvex.log")
        log(f"morvex against brelko-sim: {warmup} s warm-up, {seconds} s measured")
        with open(morvex_log, "wb") as out:
            proc = subprocess.Popen([os.path.join(runner.bin, "morvex")], env=env, stdout=subprocess.DEVNULL,
                                    stderr=out)
        if not wait_until(lambda: proc.poll() is None and sim.values("status").get("loggedin") == "1", 60):
            state = "running" if proc.poll() is None else f"ended with code {proc.returncode}"
            raise Missing(f"morvex ({state}) did not log in to brelko-sim (status {sim.command('status')}): "
                          f"{tail(morvex_log)}")

        def counts():
            a = sim.values("audio")
            return int(a.get("sent", "0")), int(a.get("received", "0"))

        # Streaming both ways before the warm-up counts.
        first = counts()
        if not wait_until(lambda: all(b > a for a, b in zip(first, counts())), 30, step=0.5):
            raise Missing("audio does not stream both ways between morvex and brelko-sim")
        time.sleep(warmup)
        if proc.poll() is not None:
            raise Missing(f"morvex ended during the warm-up (code {proc.returncode})")
        rss_warm = proc_status_kb(proc.pid, "VmRSS")
        window = 5.0
        sent0, recv0 = counts()
        t0, cpu0 = time.monotonic(), proc_cpu_s(proc.pid)
        threads0 = thread_cpu_s(proc.pid)
        per_window = []
        t_prev, cpu_prev = t0, cpu0
        while time.monotonic() - t0 < seconds:
            time.sleep(min(window, seconds - (time.monotonic() - t0)))
            if proc.poll() is not None:
                raise Missing(f"morvex ended during the measurement (code {proc.returncode})")
            t, cpu = time.monotonic(), proc_cpu_s(proc.pid)
            if t - t_prev >= 1:
                per_window.append((cpu - cpu_prev) / (t - t_prev) * 1000)
            t_prev, cpu_prev = t, cpu
        t1, cpu1 = t_prev, cpu_prev
        threads1 = thread_cpu_s(proc.pid)
        sent1, recv1 = counts()
        rss_end = proc_status_kb(proc.pid, "VmRSS")
        hwm = proc_status_kb(proc.pid, "VmHWM")
        rss_map = sorted(((kb, os.path.basename(n)) for n, kb in rss_by_mapping_kb(proc.pid).items()), reverse=True)
        log("morvex resident memory by mapping (kB): " + ", ".join(f"{n} {kb}" for kb, n in rss_map[:12]))
        wall = t1 - t0
        ms_per_s = (cpu1 - cpu0) / wall * 1000
        to_client, from_client = (sent1 - sent0) / wall, (recv1 - recv0) / wall
        spent = sorted(((threads1.get(n, 0) - threads0.get(n, 0)) / wall * 1000, n) for n in threads1)
        log("morvex CPU by thread (ms/s): " + ", ".join(f"{n} {v:.1f}" for v, n in reversed(spent) if v >= 0.05))
        if to_client < 40 or from_client < 40:
            raise Missing(f"audio did not stream steadily: {to_client:.0f}/s to morvex, {from_client:.0f}/s from it")
        rows.append(("Client CPU per second of streaming, real morvex",
                     f"{ms_per_s:.1f} ms/s = {ms_per_s / 10:.2f} % of one core ({wall:.0f} s after {warmup} s "
                     f"warm-up; 5 s windows {min(per_window):.1f}–{max(per_window):.1f} ms/s)",
                     f"{to_client:.0f} datagrams/s to morvex, {from_client:.0f}/s back (50/s each = 20 ms frames)"))
        rows.append(("Resident memory of that morvex",
                     f"VmRSS {rss_warm / 1024:.1f} MiB after warm-up, {rss_end / 1024:.1f} MiB at the end; "
                     f"VmHWM {hwm / 1024:.1f} MiB",
                     f"change over the {wall:.0f} s: {rss_end - rss_warm:+d} kB ({(rss_end - rss_warm) / rss_warm:+.2%})"))
        proc.send_signal(signal.SIGTERM)
        try:
            code = proc.wait(20)
        except subprocess.TimeoutExpired:
            raise Missing("morvex did not end within 20 s of SIGTERM")
        if code != 0:
            log(f"note: morvex ended with code {code} on SIGTERM")
    finally:
        if proc and proc.poll() is None:
            proc.kill()
            proc.wait()
        sim.stop()


def rig_control(runner, rows):
    """`f` round trip through morvex's rig control server beside rigctl -m 2014 on the CAT port."""
    js = os.path.join(runner.work, "rigctl.json")
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "rigctl", "bench_rigctl.py")
    out_path = os.path.join(runner.logs, "bench_rigctl.log")
    log("bench_rigctl.py")
    with open(out_path, "wb") as out:
        try:
            rc = subprocess.run([sys.executable, script, "--build", os.path.dirname(runner.bin), "--json", js],
                                stdout=out, stderr=subprocess.STDOUT, env=runner.env("rigctl"), timeout=600).returncode
        except subprocess.TimeoutExpired:
            raise Missing(f"bench_rigctl.py did not finish within 600 s (log {out_path})")
    if rc != 0:
        raise Missing(f"bench_rigctl.py exited with {rc}: {tail(out_path)}")
    with open(js) as f:
        d = json.load(f)
    srv, direct = d["server"], d["direct"]
    rows.append((f"Rig control: `f` round trip through morvex's server (rigctld protocol, TS-2000 on brelko-sim)",
                 f"median {srv['median_ms']:.2f} / p99 {srv['p99_ms']:.2f} / max {srv['max_ms']:.2f} ms "
                 f"({srv['calls']} calls)",
                 f"`rigctl -m 2014` straight on the CAT port: median {direct['median_ms']:.2f} / p99 "
                 f"{direct['p99_ms']:.2f} ms ({direct['calls']} calls); ratio of medians "
                 f"{srv['median_ms'] / direct['median_ms']:.2f}"))


# --- the report ---------------------------------------------------------------

def machine():
    model = "unknown CPU"
    cores = 0
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name") and model == "unknown CPU":
                model = line.split(":", 1)[1].strip()
            if line.startswith("processor"):
                cores += 1
    with open("/proc/meminfo") as f:
        mem_kb = int(re.search(r"MemTotal:\s+(\d+)", f.read()).group(1))
    pretty = "unknown OS"
    try:
        with open("/etc/os-release") as f:
            m = re.search(r'^PRETTY_NAME="?([^"\n]*)', f.read(), re.M)
            pretty = m.group(1) if m else pretty
        with open("/etc/debian_version") as f:
            pretty += f" (Debian {f.read().strip()})"
    except OSError:
        pass
    return model, cores, mem_kb, pretty


def git_commit(root):
    try:
        head = subprocess.run(["git", "-C", root, "rev-parse", "--short=12", "HEAD"], capture_output=True,
                              text=True, check=True).stdout.strip()
        dirty = subprocess.run(["git", "-C", root, "status", "--porcelain", "--untracked-files=no"],
                               capture_output=True, text=True).stdout.strip()
        return head + (" with uncommitted changes" if dirty else "")
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=os.path.join(root, "build-bench"))
    ap.add_argument("--out", help="markdown file (default: BUILD/report.md)")
    ap.add_argument("--cpu-seconds", type=int, default=30, help="measured streaming time of the real morvex")
    ap.add_argument("--warmup", type=int, default=10, help="streaming before the morvex measurement")
    ap.add_argument("--only", help="a partial run for trying things out: comma-separated parts of " + ",".join(PARTS))
    args = ap.parse_args()
    if args.cpu_seconds < 5 or args.warmup < 0:
        ap.error("--cpu-seconds must be at least 5 and --warmup not negative")
    build = os.path.abspath(args.build)
    out = args.out or os.path.join(build, "report.md")

    started = time.monotonic()
    load_before = os.getloadavg()
    now = datetime.datetime.now(datetime.timezone.utc)
    # Results and logs of the latest run only.
    work = os.path.join(build, "report-run")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    runner = Runner(build, work)
    rows, missing = [], []

    def section(name, fn, *a):
        try:
            return fn(runner, rows, *a)
        except (Missing, SimError, OSError, ValueError, KeyError, json.JSONDecodeError) as e:
            missing.append(f"{name}: {e}")
            rows.append((name, f"**MISSING**: {e}", "-"))
            log(f"MISSING {name}: {e}")
            return None

    only = set(args.only.split(",")) if args.only else None
    if only and not only <= set(PARTS):
        ap.error(f"--only takes {','.join(PARTS)}")
    wanted = (lambda part: only is None or part in only)
    if wanted("rtp"):
        section("Jitter-buffer and concealment cost", rtp_cost)
    if wanted("plc"):
        section("Concealment quality", plc_quality)
    if wanted("audio"):
        section("Receive latency and engine CPU", audio_engine)
    if wanted("keying"):
        section("Keying and timer", keying)
    if wanted("morvex"):
        section("Real morvex CPU and memory", real_morvex, args.cpu_seconds, args.warmup)
    if wanted("fw"):
        section("Firmware upload", fw_upload)
    if wanted("rigctl"):
        section("Rig control round trip", rig_control)

    model, cores, mem_kb, os_name = machine()
    load_after = os.getloadavg()
    lines = [
        "## Performance",
        "",
        f"- Date: {now.strftime('%Y-%m-%d %H:%M')} UTC",
        f"- Machine: {model}, {cores} cores, {mem_kb / 1024 / 1024:.1f} GiB RAM",
        f"- OS: {os_name}",
        f"- Commit: {git_commit(root)}",
        f"- Load average (1 min) {load_before[0]:.2f} before, {load_after[0]:.2f} after; "
        f"run took {time.monotonic() - started:.0f} s",
        "- Command: `bash bench/report.sh` (Release build in `build-bench/`)",
        "",
        "| Figure | Value | Reference/ratio |",
        "|---|---|---|",
    ]
    for fig, val, ref in rows:
        lines.append(f"| {fig} | {val} | {ref} |")
    if missing:
        lines += ["", f"{len(missing)} figure(s) could not be measured:"] + [f"- {m}" for m in missing]
    text = "\n".join(lines) + "\n"
    with open(out, "w") as f:
        f.write(text)
    print(text)
    log(f"written to {out}; logs in {runner.logs}")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
