#!/usr/bin/env bash
# The long packaging test: builds the packages, installs the .deb on this
# machine, starts the installed shell from its desktop entry under a display,
# removes the package and checks that nothing of it is left; then runs the
# .tar.gz unpacked in a temporary directory.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/package.sh
cd build
../scripts/with-display.sh ctest --output-on-failure -V -R e2e_test_package_long
