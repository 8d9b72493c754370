#!/usr/bin/env bash
# Builds the shell, installs the reference browsers and runs the start-up
# benchmark under a display. Arguments go to bench/startup_bench.py (--runs N ...).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh --bench
./scripts/build.sh
exec ./scripts/with-display.sh python3 bench/startup_bench.py "$@"
