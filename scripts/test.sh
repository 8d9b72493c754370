#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: the unit and
# integration tests under AddressSanitizer and UndefinedBehaviorSanitizer, then
# the host and end-to-end tests of the built shell under Xvfb, and each
# benchmark once, briefly, so that it keeps working.
set -euo pipefail
cd "$(dirname "$0")/.."
# With the benchmark's reference browsers.
./scripts/setup.sh --bench
./scripts/build.sh --sanitize

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j"$(nproc)" -LE long)

# Each fuzz target briefly, from its seed corpus.
./scripts/fuzz.sh 5

# The host and end-to-end tests of the built shell, under a display.
(cd build && ../scripts/with-display.sh ctest --output-on-failure -L 'host|e2e' -LE long)

# One short run of each program in each case: whether the benchmarks still
# run, not how fast (figures come from ./scripts/bench.sh ... --runs 10).
./scripts/with-display.sh python3 bench/startup_bench.py --runs 1
./scripts/with-display.sh python3 bench/frames_bench.py --runs 1 --seconds 1 --presses 2
./scripts/with-display.sh python3 bench/long_session_bench.py --runs 1 --loads 20 --every 5
