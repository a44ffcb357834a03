#!/usr/bin/env bash
# Fails, naming the places, when a source file is not laid out as
# .clang-format says; changes nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -d '' files < <(find main.cpp bench entry generation preview resources services spreadsheet tests tools \
  \( -path tests/fuzz/seeds -o -path tests/spreadsheet/data \) -prune -o \
  -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
clang-format-14 --dry-run --Werror "${files[@]}"
