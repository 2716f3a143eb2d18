#!/usr/bin/env bash
# The demo itself, started by scripts/demo.sh: on the user's desktop
# (DEMO_MODE=desktop) or inside scripts/with-test-env.sh (DEMO_MODE=virtual,
# the default). Runs brelko-sim and Morvex, prints a status line every 10 s
# and, on the virtual display, saves a screenshot beside it.
#   DEMO_SECONDS=N  stop after N seconds (default: until Ctrl-C)
#   DEMO_BIN        folder of the programs (default build/bin)
#   DEMO_OUT        folder for logs and screenshots (default build/demo)
#   DEMO_HOME       folder of the demo's settings (default build/demo-home)
#   DEMO_VERBOSE=1  show the sound libraries' messages too
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="${DEMO_BIN:-$root/build/bin}"
out="${DEMO_OUT:-$root/build/demo}"
mode="${DEMO_MODE:-virtual}"
mkdir -p "$out"
rm -f "$out"/shot-*.png

# The demo keeps its own settings, apart from your real ones; the desktop
# run has its own, since its sound devices are the system's.
home="${DEMO_HOME:-$root/build/demo-home}"
[ "$mode" = desktop ] && home="${DEMO_HOME:-$root/build/demo-home-desktop}"
export XDG_DATA_HOME="$home/data"
export XDG_CONFIG_HOME="$home/config"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
export MORVEX_LOG_STDERR=1
# PortAudio probes JACK on start; never let it launch a server.
export JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1

if [ "$mode" = desktop ]; then
    audio_in=default audio_out=default
else
    audio_in=Microphone audio_out=Speakers
fi

# First run: point Morvex at the simulator, with CAT, PTT/CW and Winkey ports
# and the sound devices.
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
AudioInput=$audio_in
AudioOutput=$audio_out
AudioBuffer=200
INI
fi

# Lines the sound libraries print while PortAudio lists devices (ALSA
# configuration errors, JACK connection attempts). Morvex's own lines are
# "category: text" and pass.
chatter='^(ALSA lib |Cannot connect to server|jack server is not running|JackShmReadWritePtr|Jack: |connect\(2\) call to .* failed|attempt to connect to server failed|Cannot lock down|Failed to connect to server)'
filter() {
    if [ -n "${DEMO_VERBOSE:-}" ]; then cat; else grep --line-buffered -Ev "$chatter" || true; fi
}

pids=()
# Morvex first, so it does not log the simulator going away.
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    for p in "${pids[@]:-}"; do [ -n "$p" ] && wait "$p" 2>/dev/null || true; done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The simulator's frame log goes to a file; its ready line names the ports.
: >"$out/sim.log"
# The slot grants the demo password every control (CAT, PTT, TX level).
"$bin/brelko-sim" --perm-slot brelko:0x0F:0:0 >"$out/sim.out" 2>"$out/sim.log" &
pids+=($!)
control=""
for _ in $(seq 1 100); do
    control="$(sed -n 's/^brelko-sim ready .*control=\([0-9]*\).*/\1/p' "$out/sim.out")"
    [ -n "$control" ] && break
    kill -0 "${pids[0]}" 2>/dev/null || break
    sleep 0.1
done
[ -n "$control" ] || { echo "demo: brelko-sim did not start:" >&2; cat "$out/sim.log" >&2; exit 1; }
echo "demo: brelko-sim started (control port $control, frame log $out/sim.log)"

# One control-channel command; prints the answer lines before OK.
sim() {
    local line
    exec 5<>"/dev/tcp/127.0.0.1/$control" || return 1
    printf '%s\n' "$*" >&5
    while IFS= read -r -t 5 line <&5; do
        line="${line%$'\r'}"
        case "$line" in OK | ERR*) break ;; esac
        printf '%s\n' "$line"
    done
    exec 5<&-
}

portdir="${VSPORT_DIR:-${XDG_RUNTIME_DIR:-/tmp}/vsport}"
echo "demo: starting Morvex on display ${DISPLAY:-${WAYLAND_DISPLAY:-?}}; virtual ports in $portdir"
echo "demo: try: rigctl -m 2014 -r $portdir/COM5 -s 9600 f"
: >"$out/morvex.log"
# Everything Morvex writes goes to morvex.log; the terminal gets it without
# the sound libraries' chatter.
"$bin/morvex" 2> >(tee -a "$out/morvex.log" | filter >&2) &
morvex=$!
pids+=("$morvex")

# Receive level: what Morvex plays into the default output, as dBFS RMS over
# a quarter second recorded from that output's monitor.
rx_level() {
    command -v parec >/dev/null 2>&1 && command -v pactl >/dev/null 2>&1 || { echo n/a; return; }
    local sink
    sink="$(pactl get-default-sink 2>/dev/null)" || { echo n/a; return; }
    timeout 2 parec -d "$sink.monitor" --format=s16le --rate=12000 --channels=1 --latency-msec=20 2>/dev/null |
        head -c 6000 | python3 -c '
import math, struct, sys
raw = sys.stdin.buffer.read()
n = len(raw) // 2
if n == 0:
    print("n/a"); sys.exit()
s = struct.unpack("<%dh" % n, raw[:2 * n])
rms = math.sqrt(sum(v * v for v in s) / n) / 32768
print("%.1fdBFS" % (20 * math.log10(rms)) if rms > 0 else "silent")'
}

status_line() {
    local t="$1" st link ports
    st="$(sim status 2>/dev/null || true)"
    case "$st" in
        *loggedin=1*) link=logged-in ;;
        *connections=0*) link=down ;;
        '') link=no-simulator ;;
        *) link=connecting ;;
    esac
    ports="$(cd "$portdir" 2>/dev/null && ls -d COM* 2>/dev/null | paste -sd, -)"
    echo "demo: status t=${t}s link=$link rx=$(rx_level) sim-audio-sent=$(sim audio 2>/dev/null | sed -n 's/.*\bsent=\([0-9]*\).*/\1/p') ports=${ports:-none} morvex-log=$(wc -l <"$out/morvex.log") lines"
}

screenshot() {
    local file
    file="$out/shot-$(printf '%04d' "$1").png"
    if command -v import >/dev/null 2>&1; then
        import -window root "$file" 2>/dev/null
    else
        xwd -root -silent | convert xwd:- "png:$file"
    fi || echo "demo: screenshot failed" >&2
}

start=$SECONDS
next=10
while kill -0 "$morvex" 2>/dev/null; do
    t=$((SECONDS - start))
    if [ -n "${DEMO_SECONDS:-}" ] && [ "$t" -ge "$DEMO_SECONDS" ]; then
        echo "demo: stopping after ${DEMO_SECONDS}s"
        exit 0
    fi
    if [ "$t" -ge "$next" ]; then
        [ "$mode" = desktop ] || screenshot "$t"
        status_line "$t"
        next=$((next + 10))
    fi
    sleep 1
done
echo "demo: Morvex exited" >&2
wait "$morvex" || true
exit 1
