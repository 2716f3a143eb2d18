#!/usr/bin/env bash
# The performance report in one command: a Release build of what the figures
# need (build-bench/), then every measurement inside the test environment
# (virtual display, tray host, sound devices). Prints one markdown table and
# writes it to build-bench/report.md; exits non-zero when a figure is missing.
# Extra arguments go to bench/report.py (e.g. --cpu-seconds 60).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
build="$root/build-bench"

for tool in cmake ninja python3 Xvfb trayer pulseaudio parec rigctl; do
    command -v "$tool" >/dev/null 2>&1 || { echo "report: $tool is missing (bash scripts/install-deps.sh)" >&2; exit 2; }
done

targets=(bench_rtp rtp_plc_quality bench_audio bench_keying bench_fwupload
         brelko-sim brelko-sim-hid hidapi-brelkosim morvex)
mkdir -p "$build"
echo "report: configuring and building ${targets[*]} (Release, $build)" >&2
if ! cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRELKO_BENCH=ON >"$build/configure.log" 2>&1; then
    cat "$build/configure.log" >&2
    exit 2
fi
if ! cmake --build "$build" --target "${targets[@]}" -j"$(nproc)" >"$build/build.log" 2>&1; then
    tail -n 60 "$build/build.log" >&2
    exit 2
fi

exec "$root/scripts/with-test-env.sh" python3 "$root/bench/report.py" --build "$build" "$@"
