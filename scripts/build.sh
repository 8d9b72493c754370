#!/usr/bin/env bash
# Builds the application bundle at build/Lumivant and, with --sanitize, the
# sanitized test tree at build-asan.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake -S . -B build -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"

if [ "${1:-}" = "--sanitize" ]; then
  cmake -S . -B build-asan -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Debug \
    -DLUMIVANT_SANITIZE=ON -DLUMIVANT_BUILD_HOST=OFF >/dev/null
  cmake --build build-asan -j"$jobs"
fi
