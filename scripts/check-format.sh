#!/usr/bin/env bash
# Fails when a C++ file of ours differs from what clang-format (with the
# project's .clang-format) makes of it; prints the first differences.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
clang-format --dry-run --Werror "${files[@]}"
echo "format: ${#files[@]} files as clang-format makes them"
