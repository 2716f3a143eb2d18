#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time each, in two
# phases over one corpus:
#  1. three quarters of the time with AddressSanitizer's full quarantine, which
#     finds use-after-free best;
#  2. the last quarter without quarantine, so that resident memory shows the
#     target's own growth rather than the freed blocks held back: it may grow
#     at most FUZZ_RSS_GROWTH_MB (default 8) from a quarter of that phase's
#     runs to its end.
# Inputs that crash, leak, hang or run out of memory are kept in fuzz/corpus
# as regression inputs.
# Usage: scripts/run-fuzzers.sh <build-dir> <seconds-per-target>
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "$1" && pwd)"
secs="${2:-60}"
growth_limit_mb="${FUZZ_RSS_GROWTH_MB:-8}"
status=0
# Leaks inside system libraries (fonts, X11) are not the targets' own.
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
base_asan="${ASAN_OPTIONS:-}"

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

# fuzz <binary> <work dir> <seconds> <log>: false when the target failed.
fuzz() {
    (cd "$2" && QT_QPA_PLATFORM=offscreen "$1" -max_total_time="$3" -rss_limit_mb=2048 \
        -malloc_limit_mb=2048 -print_final_stats=0 "$2" >"$4" 2>&1)
}

shopt -s nullglob
for f in "$build"/bin/fuzz_*; do
    name="$(basename "$f")"
    seeds="$root/fuzz/corpus/$name"
    work="$(mktemp -d /tmp/brelko-fuzz-"$name".XXXXXX)"
    corpus="$work/corpus"
    mkdir -p "$corpus"
    [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/ 2>/dev/null || true
    check_secs=$(( secs / 4 > 5 ? secs / 4 : 5 ))
    find_secs=$(( secs - check_secs > 1 ? secs - check_secs : 1 ))
    echo "== $name: ${find_secs}s + ${check_secs}s"
    failed_log=
    if ! ASAN_OPTIONS="$base_asan" fuzz "$f" "$corpus" "$find_secs" "$work/find.log"; then
        failed_log="$work/find.log"
    elif ! ASAN_OPTIONS="quarantine_size_mb=0:$base_asan" fuzz "$f" "$corpus" "$check_secs" "$work/check.log"; then
        failed_log="$work/check.log"
    fi
    if [ -n "$failed_log" ]; then
        echo "!! $name failed; last lines:"
        tail -n 40 "$failed_log"
        status=1
        mkdir -p "$seeds"
        cp "$corpus"/crash-* "$corpus"/leak-* "$corpus"/timeout-* "$corpus"/oom-* "$seeds"/ 2>/dev/null || true
    else
        grep -E '^#[0-9]+.*(DONE|pulse)' "$work/find.log" | tail -n 1 || true
        rss_quarter= rss_end=
        read -r rss_quarter rss_end < <(rss_figures "$work/check.log") || true
        if [ -z "${rss_end:-}" ]; then
            echo "!! $name: no memory figures in its log"
            status=1
        elif [ $((rss_end - rss_quarter)) -gt "$growth_limit_mb" ]; then
            echo "!! $name: resident memory grew from ${rss_quarter} MB to ${rss_end} MB (limit +${growth_limit_mb} MB)"
            tail -n 20 "$work/check.log"
            status=1
        else
            echo "ok $name (resident memory ${rss_quarter} -> ${rss_end} MB)"
        fi
    fi
    rm -rf "$work"
done
exit $status
