#!/usr/bin/env bash
# The demo itself, run inside scripts/with-test-env.sh by scripts/demo.sh.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="$root/build/bin"

# The demo keeps its own settings, apart from your real ones.
export XDG_DATA_HOME="$root/build/demo-home/data"
export XDG_CONFIG_HOME="$root/build/demo-home/config"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
export MORVEX_LOG_STDERR=1

# First run: point Morvex at the simulator, with CAT, PTT/CW and Winkey ports
# and the virtual sound devices.
ini="$XDG_DATA_HOME/Zentrik/Brelko Software/Morvex.ini"
if [ ! -f "$ini" ]; then
    mkdir -p "$(dirname "$ini")"
    cat >"$ini" <<INI
[General]
Language=English

[Network]
NetworkAddr=127.0.0.1
NetworkPass=brelko
NetworkCmdPort=11000
NetworkRtpPort=11000
NetworkPttCwPort=8765
NetworkTxBuffer=200

[Serial]
Serial_1=COM5
Serial_2=COM6
Serial_3=None
Serial_4=None
Serial_5=COM9

[Audio]
AudioInput=Microphone
AudioOutput=Speakers
AudioBuffer=200
INI
fi

pids=()
trap 'for p in "${pids[@]:-}"; do kill "$p" 2>/dev/null || true; done' EXIT

if [ -x "$bin/brelko-sim" ]; then
    # The slot grants the demo password every control (CAT, PTT, TX level).
    "$bin/brelko-sim" --perm-slot brelko:0x0F:0:0 &
    pids+=($!)
    echo "demo: brelko-sim started (pid ${pids[-1]})"
fi

echo "demo: starting Morvex on display $DISPLAY; virtual ports in ${VSPORT_DIR:-$XDG_RUNTIME_DIR/vsport}"
echo "demo: try: rigctl -m 2014 -r ${VSPORT_DIR:-$XDG_RUNTIME_DIR/vsport}/COM5 -s 9600 f"
"$bin/morvex" &
morvex=$!
pids+=("$morvex")
if [ -n "${DEMO_SECONDS:-}" ]; then
    sleep "$DEMO_SECONDS"
    kill -0 "$morvex" 2>/dev/null || { echo "demo: Morvex exited early" >&2; exit 1; }
    echo "demo: stopping after ${DEMO_SECONDS}s"
    exit 0
fi
wait "$morvex"
