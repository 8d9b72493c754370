#!/usr/bin/env bash
# Runs a command with an X display and a session bus, as a desktop session
# would give it: the current ones when there are, else a fresh Xvfb and bus.
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$@"
fi
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
  exec dbus-run-session -- "$@"
fi
exec "$@"
