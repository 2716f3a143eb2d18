#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time each.
# Usage: scripts/run-fuzzers.sh <build-dir> <seconds-per-target>
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "$1" && pwd)"
secs="${2:-60}"
status=0
# Leaks inside system libraries (fonts, X11) are not the targets' own.
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
shopt -s nullglob
for f in "$build"/bin/fuzz_*; do
    name="$(basename "$f")"
    seeds="$root/fuzz/corpus/$name"
    work="$(mktemp -d /tmp/brelko-fuzz-"$name".XXXXXX)"
    [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/ 2>/dev/null || true
    echo "== $name: ${secs}s"
    if ! (cd "$work" && QT_QPA_PLATFORM=offscreen "$f" -max_total_time="$secs" -rss_limit_mb=2048 \
            -malloc_limit_mb=2048 -print_final_stats=0 "$work" >"$work/log" 2>&1); then
        echo "!! $name failed; last lines:"
        tail -n 40 "$work/log"
        status=1
        # Keep what crashed as a regression input.
        mkdir -p "$root/fuzz/corpus/$name"
        cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* "$root/fuzz/corpus/$name"/ 2>/dev/null || true
    else
        grep -E '^#[0-9]+.*(DONE|pulse)' "$work/log" | tail -n 1 || true
        echo "ok $name"
    fi
    rm -rf "$work"
done
exit $status
