#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the fuzz targets
# under AddressSanitizer and UBSan, the unit and widget tests under the same
# sanitizers, then the unit and widget tests of the build that ships.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-dependencies.sh
jobs=$(nproc)

# The builds are the presets of CMakePresets.json.
for preset in fuzz sanitize release; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  case "$preset" in
    sanitize)
      ctest --preset sanitize -j "$jobs"
      ctest --preset sanitize-compound-file -j "$jobs"
      ;;
    *) ctest --preset "$preset" -j "$jobs" ;;
  esac
done
