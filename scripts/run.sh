#!/usr/bin/env bash
# Sets up the machine, builds the shell and starts it with the sample backend.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
# Without a display the shell runs under Xvfb.
exec ./scripts/with-display.sh build/Lumivant/Lumivant
