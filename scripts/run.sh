#!/usr/bin/env bash
# Installs what is missing, builds, and starts the editor, optionally on a file.
# Usage: scripts/run.sh [file]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh" -DBUILD_TESTING=OFF
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Taviro on a virtual one (xvfb-run)." >&2
  exec xvfb-run -a "$here/build/src/app/taviro" "$@"
fi
exec "$here/build/src/app/taviro" "$@"
