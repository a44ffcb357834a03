#!/usr/bin/env bash
# Installs what is missing, builds, and starts Corvantis.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-dependencies.sh
cmake --preset release >/dev/null
cmake --build --preset release --target corvantis
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display found: set DISPLAY (or run under xvfb-run) to see the window." >&2
fi
exec ./build/corvantis
