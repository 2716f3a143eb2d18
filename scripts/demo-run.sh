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

pids=()
trap 'for p in "${pids[@]:-}"; do kill "$p" 2>/dev/null || true; done' EXIT

if [ -x "$bin/brelko-sim" ]; then
    "$bin/brelko-sim" &
    pids+=($!)
    echo "demo: brelko-sim started (pid ${pids[-1]})"
fi

echo "demo: starting Morvex on display $DISPLAY"
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
