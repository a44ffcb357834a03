#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the fuzz targets
# under AddressSanitizer and UBSan, then the unit and widget tests.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-dependencies.sh
jobs=$(nproc)

cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCORVANTIS_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz
ctest --test-dir build-fuzz --output-on-failure -j "$jobs"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j "$jobs"
