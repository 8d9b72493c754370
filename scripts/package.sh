#!/usr/bin/env bash
# Builds the shell and its packages: build/lumivant_<version>_amd64.deb and
# build/Lumivant-<version>-linux-x86_64.tar.gz.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
(cd build && cpack)
ls -1 build/*.deb build/*.tar.gz
