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
# A small quarantine, so that resident memory shows the target's own growth
# instead of the freed blocks AddressSanitizer holds back.
export ASAN_OPTIONS="quarantine_size_mb=16:${ASAN_OPTIONS:-}"
# Resident memory may grow at most this much from a quarter of the run to its
# end (the corpus held in memory grows a little too).
growth_limit_mb="${FUZZ_RSS_GROWTH_MB:-24}"

# Prints "<rss at a quarter of the runs> <rss at the end>" (MB) from a log.
rss_figures() {
    awk '/^#[0-9]+/ && / rss: / {
            n = substr($1, 2) + 0
            for (i = 1; i <= NF; ++i) if ($i == "rss:") { r = $(i + 1); sub(/Mb/, "", r) }
            execs[++k] = n; rss[k] = r + 0
         }
         END {
            if (k == 0) exit
            total = execs[k]
            for (i = 1; i <= k; ++i) if (execs[i] * 4 >= total) { print rss[i], rss[k]; exit }
         }' "$1"
}
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
        rss_quarter= rss_end=
        read -r rss_quarter rss_end < <(rss_figures "$work/log") || true
        if [ -z "${rss_end:-}" ]; then
            echo "!! $name: no memory figures in its log"
            status=1
        elif [ $((rss_end - rss_quarter)) -gt "$growth_limit_mb" ]; then
            echo "!! $name: resident memory grew from ${rss_quarter} MB to ${rss_end} MB (limit +${growth_limit_mb} MB)"
            status=1
        else
            echo "ok $name (rss ${rss_quarter} -> ${rss_end} MB)"
        fi
    fi
    rm -rf "$work"
done
exit $status
