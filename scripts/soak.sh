#!/usr/bin/env bash
# Soak run of morvex against brelko-sim (bench/soak/soak.py) inside the test
# environment (X display with tray host, virtual sound devices).
# Usage: scripts/soak.sh SECONDS [build-dir]   (default build-dir: build)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
secs="${1:?usage: scripts/soak.sh SECONDS [build-dir]}"
build="$(cd "${2:-$root/build}" && pwd)"
for prog in morvex brelko-sim; do
    [ -x "$build/bin/$prog" ] || { echo "soak: $build/bin/$prog is missing (build it first)" >&2; exit 2; }
done
exec "$root/scripts/with-test-env.sh" python3 "$root/bench/soak/soak.py" --seconds "$secs" --bin "$build/bin"
