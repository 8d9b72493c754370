#!/usr/bin/env bash
# Sets up the machine, builds the shell and starts it with the sample backend.
# Without a display it runs under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
if [ -n "${DISPLAY:-}" ]; then
  exec build/Lumivant/Lumivant
else
  exec xvfb-run -a -s "-screen 0 1920x1080x24" dbus-run-session -- build/Lumivant/Lumivant
fi
