#!/usr/bin/env bash
# The long soak: 500 backend restarts in one shell run and 500 launches of the
# shell, under a display. SOAK_RESTARTS and SOAK_LAUNCHES change the counts.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
cd build
../scripts/with-display.sh ctest --output-on-failure -V -R e2e_test_soak_long
