"""brelko-sim driven through its control channel, for the soak run and the
performance report: started on free ports, commands answered line by line."""

import os
import re
import select
import socket
import subprocess
import threading
import time


class SimError(RuntimeError):
    """The simulator did not start or refused a command."""


def wait_until(cond, timeout, step=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if cond():
            return True
        time.sleep(step)
    return cond()


class Sim:
    """brelko-sim on free ports; extra: further command-line options."""

    def __init__(self, binary, workdir, extra=()):
        self.log_path = os.path.join(workdir, "sim.log")
        self.log_file = open(self.log_path, "wb")
        args = [binary, "--tcp-port", "0", "--audio-port", "0", "--keying-port", "0",
                "--control-port", "0"] + list(extra)
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=self.log_file)
        self.ports = {}
        # The first line names the ports; read it without blocking past the deadline.
        deadline = time.monotonic() + 30
        line = b""
        while time.monotonic() < deadline and b"\n" not in line:
            r, _, _ = select.select([self.proc.stdout], [], [], 0.5)
            if r:
                chunk = os.read(self.proc.stdout.fileno(), 4096)
                if not chunk:
                    break
                line += chunk
        m = re.search(r"brelko-sim ready (.*)", line.decode(errors="replace"))
        if m:
            self.ports = {k: int(v) for k, v in re.findall(r"(\w+)=(\d+)", m.group(1))}
        if "control" not in self.ports:
            self.stop()
            raise SimError("brelko-sim did not report its ports")
        self.ctl = socket.create_connection(("127.0.0.1", self.ports["control"]), timeout=15)
        self.buf = b""
        self.lock = threading.Lock()

    def command(self, line, timeout=15):
        """Answer lines; raises SimError on ERR or time-out."""
        with self.lock:
            self.ctl.sendall(line.encode() + b"\n")
            answer = []
            deadline = time.monotonic() + timeout
            while True:
                while b"\n" in self.buf:
                    raw, self.buf = self.buf.split(b"\n", 1)
                    text = raw.decode(errors="replace").rstrip("\r")
                    if text == "OK":
                        return answer
                    if text.startswith("ERR"):
                        raise SimError(f"brelko-sim: {line}: {text}")
                    answer.append(text)
                left = deadline - time.monotonic()
                if left <= 0:
                    raise SimError(f"brelko-sim: {line}: no answer")
                self.ctl.settimeout(left)
                try:
                    chunk = self.ctl.recv(65536)
                except socket.timeout:
                    raise SimError(f"brelko-sim: {line}: no answer")
                if not chunk:
                    raise SimError("brelko-sim: control channel closed")
                self.buf += chunk

    def values(self, line):
        answer = self.command(line)
        return dict(re.findall(r"(\w+)=(\S*)", answer[0])) if answer else {}

    def stop(self):
        """Ends the simulator; returns its exit code."""
        if self.proc.poll() is None:
            if hasattr(self, "ctl"):
                try:
                    self.command("quit", timeout=5)
                except (SimError, OSError):
                    pass
            else:
                self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log_file.close()
        return self.proc.returncode


def write_morvex_ini(data_home, sim, sections):
    """Morvex's settings file under data_home, pointed at sim; sections: more
    {section: {key: value}} (Network keys are filled in)."""
    ini_dir = os.path.join(data_home, "Zentrik", "Brelko Software")
    os.makedirs(ini_dir, exist_ok=True)
    ini = {"General": {"Language": "English"},
           "Network": {"NetworkAddr": "127.0.0.1", "NetworkPass": "brelko",
                       "NetworkCmdPort": sim.ports["tcp"], "NetworkRtpPort": sim.ports["audio"],
                       "NetworkPttCwPort": sim.ports["keying"]}}
    for section, keys in sections.items():
        ini.setdefault(section, {}).update(keys)
    with open(os.path.join(ini_dir, "Morvex.ini"), "w") as f:
        for section, keys in ini.items():
            f.write(f"[{section}]\n")
            for k, v in keys.items():
                f.write(f"{k}={v}\n")
            f.write("\n")
