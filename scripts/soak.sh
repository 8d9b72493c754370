#!/usr/bin/env bash
# The long soak: 500 backend restarts in one shell run and 500 launches of the
# shell, under a display. SOAK_RESTARTS and SOAK_LAUNCHES change the counts.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
run() { (cd build && dbus-run-session -- ctest --output-on-failure -V -R e2e_test_soak_long); }
if [ -n "${DISPLAY:-}" ]; then run; else export -f run; xvfb-run -a -s "-screen 0 1920x1080x24" bash -c run; fi
