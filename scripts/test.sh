#!/usr/bin/env bash
# Installs the dependencies, checks the format (scripts/check-format.sh),
# builds everything and runs every test:
#  1. the normal build (warnings are errors) and its tests, then the Debian
#     package built and checked (scripts/check-package.sh) and a short demo
#     run (tests/demo/check-demo.sh),
#  2. the same tests under AddressSanitizer + UndefinedBehaviorSanitizer,
#  3. the threaded tests under ThreadSanitizer (scripts/tsan-pass.sh),
#  4. a soak run of morvex against the simulator (scripts/soak.sh),
#  5. the libFuzzer targets for a bounded time each.
# FUZZ_SECONDS (default 60) sets the time per fuzz target, SOAK_SECONDS
# (default 120) the length of the soak run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh

echo "=== format"
scripts/check-format.sh

jobs="$(nproc)"
ctest_jobs="${CTEST_JOBS:-2}"
run_tests() {
    scripts/with-test-env.sh ctest --test-dir "$1" --output-on-failure -j"$ctest_jobs" --timeout 600
}

echo "=== build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBRELKO_WERROR=ON
cmake --build build -j"$jobs"
echo "=== tests"
run_tests build
echo "=== package"
scripts/check-package.sh build
echo "=== demo (short run on the virtual display)"
DEMO_SECONDS=25 tests/demo/check-demo.sh build

echo "=== build (ASan+UBSan)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBRELKO_WERROR=ON -DBRELKO_SANITIZE=ON -DBRELKO_BENCH=OFF
cmake --build build-asan -j"$jobs"
echo "=== tests (ASan+UBSan)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
run_tests build-asan
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

scripts/tsan-pass.sh build-tsan

echo "=== soak (${SOAK_SECONDS:-120} s)"
scripts/soak.sh "${SOAK_SECONDS:-120}" build

echo "=== fuzz"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRELKO_FUZZ=ON -DBRELKO_BENCH=OFF
cmake --build build-fuzz -j"$jobs" --target fuzzers
scripts/run-fuzzers.sh build-fuzz "${FUZZ_SECONDS:-60}"

echo "=== all tests passed"
