#!/usr/bin/env bash
# One short run of the demo on the virtual display with private sound:
# status lines show the link logged in, the receive tone at a real level and
# the virtual ports; screenshots are real pictures of the window; the
# simulator's frames and the sound libraries' chatter stay off the terminal
# while Morvex's own lines reach it.
#   tests/demo/check-demo.sh [build-dir]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() { echo "check-demo: $*" >&2; echo "--- terminal" >&2; cat "$work/terminal" >&2; exit 1; }

DEMO_MODE=virtual DEMO_SECONDS="${DEMO_SECONDS:-25}" DEMO_BIN="$build/bin" DEMO_OUT="$work/out" \
    DEMO_HOME="$work/home" "$root/scripts/with-test-env.sh" bash "$root/scripts/demo-run.sh" \
    >"$work/terminal" 2>&1 || fail "demo exited with $?"

status="$(grep '^demo: status ' "$work/terminal" || true)"
[ "$(wc -l <<<"$status")" -ge 2 ] || fail "fewer than two status lines"
while IFS= read -r line; do
    [[ "$line" =~ link=logged-in ]] || fail "link not logged in: $line"
    [[ "$line" =~ ports=COM5,COM6,COM9 ]] || fail "ports missing: $line"
    [[ "$line" =~ rx=(-?[0-9]+)\.[0-9]dBFS ]] || fail "no receive level: $line"
    # The simulator's tones at full scale reach the speakers well above -40 dBFS.
    [ "${BASH_REMATCH[1]}" -gt -40 ] || fail "receive level too low: $line"
done <<<"$status"

shots=("$work"/out/shot-*.png)
[ "${#shots[@]}" -ge 2 ] && [ -f "${shots[0]}" ] || fail "fewer than two screenshots"
for shot in "${shots[@]}"; do
    file "$shot" | grep -q 'PNG image data, 1280 x 1024' || fail "not a screenshot: $(file "$shot")"
    # A black or blank picture has a handful of colours; the window has many.
    colours="$(identify -format '%k' "$shot")"
    [ "$colours" -gt 16 ] || fail "$shot has only $colours colours"
done

grep -q 'logged in' "$work/out/sim.log" || fail "sim.log has no log-in"
grep -q 'conn=[0-9]* rx type=' "$work/terminal" && fail "simulator frames on the terminal"
grep -Eq '^ALSA lib|^Cannot connect to server|^jack server' "$work/out/morvex.log" &&
    grep -Eq '^ALSA lib|^Cannot connect to server|^jack server' "$work/terminal" && fail "library chatter on the terminal"
grep -q 'Morvex "[0-9.]*" started' "$work/terminal" || fail "Morvex's own lines missing from the terminal"
echo "check-demo: ok ($(wc -l <<<"$status") status lines, ${#shots[@]} screenshots)"
