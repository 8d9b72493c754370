#!/usr/bin/env bash
# Builds the application bundle at build/Lumivant and, with --sanitize, the
# same tree again at build-asan under AddressSanitizer and
# UndefinedBehaviorSanitizer: the core, the host, the shell and every test.
# Warnings are errors in both (CMakeLists.txt). With --configure it only
# configures build/, for the checks that read its compile commands.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake -S . -B build -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ "${1:-}" = "--configure" ]; then exit 0; fi
cmake --build build -j"$jobs"

if [ "${1:-}" = "--sanitize" ]; then
  cmake -S . -B build-asan -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Debug \
    -DLUMIVANT_SANITIZE=ON -DLUMIVANT_BUILD_HOST=ON >/dev/null
  cmake --build build-asan -j"$jobs"
fi
