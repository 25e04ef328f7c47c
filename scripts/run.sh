#!/usr/bin/env bash
# Starts the program built by `make run` on FILE (none when empty), or says why it cannot.
# Usage: run.sh BINARY [FILE]
set -euo pipefail
binary=$1
file=${2:-}
if [[ ! -x "$binary" ]]; then
  echo "The window program is not built yet ($binary)." >&2
  exit 1
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display: DISPLAY and WAYLAND_DISPLAY are unset." >&2
  echo "Run it on a desktop, or in a virtual X server: xvfb-run -a make run" >&2
  exit 1
fi
if [[ -n "$file" ]]; then
  exec "$binary" "$file"
fi
exec "$binary"
