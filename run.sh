#!/usr/bin/env bash
# Installs what is missing, builds, and starts Corvantis.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-dependencies.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target corvantis
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display found: set DISPLAY (or run under xvfb-run) to see the window." >&2
fi
exec ./build/corvantis
