#!/usr/bin/env bash
# Sets up the machine, checks the sources, builds everything and runs every
# test: the unit and integration tests and then the host's tests, under a
# display, all under AddressSanitizer and UndefinedBehaviorSanitizer; the
# fuzz targets briefly; the end-to-end tests of the built shell under Xvfb;
# and the start-up benchmark once, so that it keeps working.
set -euo pipefail
cd "$(dirname "$0")/.."
# With the benchmark's reference browsers.
./scripts/setup.sh --bench

# The checks come first and stop the run early: the layout and the includes
# of every source file, then clang-tidy, which needs only a configured tree.
./scripts/check-source.sh
./scripts/build.sh --configure
./scripts/check-tidy build
./scripts/build.sh --sanitize

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# GLib hands out memory from its own slices unless told otherwise, which
# hides their misuse from the address checker.
export G_SLICE=always-malloc
(cd build-asan && ctest --output-on-failure -j"$(nproc)" -LE 'long|host|e2e')
# The host's tests, under a display. GTK, WebKit and fontconfig keep memory
# for the life of the process by design; the suppressions name each such
# place, and the full stacks they are matched against take the slower
# unwinder.
(cd build-asan &&
  ASAN_OPTIONS=$ASAN_OPTIONS:fast_unwind_on_malloc=0 \
  LSAN_OPTIONS=suppressions=$PWD/../tests/gtk/host-leaks.supp:print_suppressions=0 \
  ../scripts/with-display.sh ctest --output-on-failure -L host)

# Each fuzz target briefly, from its seed corpus.
./scripts/fuzz.sh 5

# The end-to-end tests of the built shell, under a display.
(cd build && ../scripts/with-display.sh ctest --output-on-failure -L e2e -LE long)

# One run of each program in each case: whether the benchmark still runs, not
# how fast (timings are compared with ./scripts/bench.sh --runs 10).
./scripts/with-display.sh python3 bench/startup_bench.py --runs 1
