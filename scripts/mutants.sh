#!/usr/bin/env bash
# Breaks the code on purpose, one change at a time, in a scratch copy of the
# tree, and runs the tests that ought to notice. Prints a table of which
# changes the tests caught and which survived. Too slow for the test command:
# run it by hand after changing tests or the code they guard.
#
#   scripts/mutants.sh [PATTERN]
#
# The changes are in scripts/mutants.tsv (area, file, sed expression, tests).
# PATTERN (a grep -E expression) keeps only the lines that match it.
# MUTANTS_DIR (default /tmp/brelko-mutants) holds the copy, its build and the
# logs; the report goes to $MUTANTS_DIR/report.md as well.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=${MUTANTS_DIR:-/tmp/brelko-mutants}
table=$root/scripts/mutants.tsv
pattern=${1:-}
src=$work/tree
build=$src/build
logs=$work/logs

mkdir -p "$work" "$logs"
rm -f "$logs"/*.log
# A fresh copy that keeps the files' times, so a second run rebuilds little;
# build/ inside it, as in a working tree, so a compiler cache can serve it.
mkdir -p "$src"
find "$src" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
tar -C "$root" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$src" -xf -

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBRELKO_WERROR=ON "${launcher[@]}" \
    >"$logs/configure.log"

# The lines to run: comments and blanks out, PATTERN applied.
mapfile -t lines < <(grep -v -e '^#' -e '^[[:space:]]*$' "$table" | { if [ -n "$pattern" ]; then grep -E -- "$pattern"; else cat; fi; })
if [ "${#lines[@]}" -eq 0 ]; then
    echo "no change matches '$pattern'" >&2
    exit 2
fi

targets_of() { # ctest regex -> build targets
    echo "$1" | tr -d '^$()' | tr '|' ' '
}

run_tests() { # regex log
    (cd "$src" && scripts/with-test-env.sh ctest --test-dir "$build" -R "$1" --output-on-failure) >"$2" 2>&1
}

# Unbroken, every test named must pass, or a catch would mean nothing.
all_tests=$(for l in "${lines[@]}"; do IFS=$'\t' read -r _ _ _ t <<<"$l"; targets_of "$t"; done | tr ' ' '\n' | sort -u | tr '\n' ' ')
echo "building the unbroken copy in $build"
cmake --build "$build" -j"$(nproc)" >"$logs/baseline-build.log" 2>&1
regex="^($(echo $all_tests | tr ' ' '|'))\$"
echo "baseline: $all_tests"
if ! run_tests "$regex" "$logs/baseline.log"; then
    echo "the unbroken tree fails its tests; see $logs/baseline.log" >&2
    exit 1
fi

report=$work/report.md
{
    echo "| # | Area | File | Change | Tests | Result |"
    echo "|---|---|---|---|---|---|"
} | tee "$report"

caught=0 survived=0 other=0 n=0
for l in "${lines[@]}"; do
    IFS=$'\t' read -r area file expr tests <<<"$l"
    n=$((n + 1))
    path=$src/$file
    cp "$path" "$work/original"
    sed -i -e "$expr" "$path"
    if cmp -s "$path" "$work/original"; then
        result="not applied"
        other=$((other + 1))
    else
        log=$logs/$(printf '%02d' "$n")-$area.log
        # shellcheck disable=SC2046
        if ! cmake --build "$build" --target $(targets_of "$tests") morvex brelko-sim >"$log" 2>&1; then
            result="does not build"
            other=$((other + 1))
        elif run_tests "$tests" "$log.tests"; then
            result="**SURVIVED**"
            survived=$((survived + 1))
        else
            failed=$(grep -oE '^[[:space:]]*[0-9]+ - [^ ]+' "$log.tests" | awk '{print $3}' | tr '\n' ' ')
            result="caught by ${failed% }"
            caught=$((caught + 1))
        fi
    fi
    # A fresh time stamp on the restored file, so the next build recompiles it.
    cp "$work/original" "$path"
    touch "$path"
    change=$(printf '%s' "$expr" | sed 's/|/\\|/g')
    printf '| %d | %s | `%s` | `%s` | %s | %s |\n' "$n" "$area" "$file" "$change" "$(targets_of "$tests")" "$result" |
        tee -a "$report"
done

# Leave the copy built unbroken.
cmake --build "$build" -j"$(nproc)" >/dev/null 2>&1 || true
echo
echo "$n changes: $caught caught, $survived survived, $other not run. Report: $report"
[ "$survived" -eq 0 ]
