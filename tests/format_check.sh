#!/usr/bin/env bash
# Fails when a C++ source differs from the project's clang-format style.
set -euo pipefail
cd "$1"
mapfile -t files < <(find kernel plugin engine banks state controller editor ccmap diagnostics \
  tools tests bench -type f \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null | sort)
clang-format --dry-run --Werror "${files[@]}"
echo "${#files[@]} files formatted"
