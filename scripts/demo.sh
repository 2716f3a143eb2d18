#!/usr/bin/env bash
# Builds the programs and runs the main job: Morvex against the built-in
# Brelko simulator. Uses your X display when it has a system tray
# (BRELKO_KEEP_DISPLAY=1 with DISPLAY set), otherwise a virtual one.
# DEMO_SECONDS=N stops after N seconds (default: run until Ctrl-C).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
# Same configuration as the test command, so the two share one build.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBRELKO_WERROR=ON
cmake --build build -j"$(nproc)"
exec scripts/with-test-env.sh bash scripts/demo-run.sh
