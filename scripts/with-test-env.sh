#!/usr/bin/env bash
# Runs a command inside the environment the programs and tests expect:
# a private runtime folder, an X display with a system-tray host, and
# (when set up by scripts/audio-env.sh) the virtual audio devices.
# Usage: scripts/with-test-env.sh <command> [args...]
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d /tmp/brelko-env.XXXXXX)"
chmod 0700 "$work"
pids=()
cleanup() {
    for p in "${pids[@]:-}"; do
        [ -n "$p" ] && kill "$p" 2>/dev/null || true
    done
    for p in "${pids[@]:-}"; do
        [ -n "$p" ] && wait "$p" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
# Keep the SysV shared-memory keys of the single-instance guard private too.
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
# No OpenGL on the virtual display: Mesa's GLX driver is loaded and unloaded
# per process and leaves allocations the leak checker cannot attribute.
export QT_XCB_GL_INTEGRATION=none

if [ -z "${BRELKO_KEEP_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then
    # -displayfd picks a free display number. -noreset: by default the server
    # resets when its last client leaves, and a client connecting meanwhile
    # is refused (a probe that has just left, a test's program starting).
    exec 3<> "$work/displayfd"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 1 100); do
        num="$(head -n1 "$work/displayfd" 2>/dev/null || true)"
        [ -n "$num" ] && break
        sleep 0.1
    done
    [ -n "${num:-}" ] || { echo "with-test-env: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
    export DISPLAY=":$num"
    trayer --edge bottom --align right --widthtype pixel --width 200 --height 24 >"$work/trayer.log" 2>&1 &
    pids+=($!)
    # Wait until the tray selection is owned: the panel's window comes first,
    # and a program started in between finds no tray.
    owned=""
    for _ in $(seq 1 300); do
        if python3 "$here/x-tray-owned.py" 2>/dev/null; then
            owned=1
            break
        fi
        sleep 0.1
    done
    if [ -z "$owned" ]; then
        echo "with-test-env: the tray host did not take the tray within 30 s" >&2
        cat "$work/trayer.log" >&2
    fi
fi

if [ -f "$here/audio-env.sh" ]; then
    # shellcheck source=/dev/null
    source "$here/audio-env.sh"
fi

"$@" &
child=$!
pids+=("$child")
set +e
wait "$child"
rc=$?
set -e
exit $rc
