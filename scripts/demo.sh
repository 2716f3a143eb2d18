#!/usr/bin/env bash
# Builds the programs and runs the main job: Morvex against the built-in
# Brelko simulator.
# On a desktop with a system tray (DISPLAY or WAYLAND_DISPLAY set and a tray
# present) it uses your display and your default sound output: you hear the
# simulator's receive tones and see the tray icon in your panel. Otherwise, or
# with DEMO_VIRTUAL=1, it runs on a virtual display with private sound and
# saves a screenshot to build/demo/ every 10 s.
# DEMO_SECONDS=N stops after N seconds (default: run until Ctrl-C).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
# Same configuration as the test command, so the two share one build.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBRELKO_WERROR=ON
cmake --build build -j"$(nproc)"

# True when an X display has a tray (the owner of the _NET_SYSTEM_TRAY_S<n>
# selection) or the session bus has a StatusNotifier watcher (Wayland panels).
tray_present() {
    if [ -n "${DISPLAY:-}" ] && python3 "$root/scripts/x-tray-owned.py" 2>/dev/null; then return 0; fi
    if [ -n "${WAYLAND_DISPLAY:-}" ] && command -v dbus-send >/dev/null 2>&1 &&
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.kde.StatusNotifierWatcher 2>/dev/null |
        grep -q 'boolean true'; then
        return 0
    fi
    return 1
}

if [ -z "${DEMO_VIRTUAL:-}" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } && tray_present; then
    echo "demo: using your desktop (display ${DISPLAY:-$WAYLAND_DISPLAY}) and your default sound output"
    DEMO_MODE=desktop exec bash scripts/demo-run.sh
fi
echo "demo: no desktop with a tray found: virtual display and private sound, screenshots in build/demo/"
DEMO_MODE=virtual exec scripts/with-test-env.sh bash scripts/demo-run.sh
