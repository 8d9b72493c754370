#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: the unit and
# integration tests under AddressSanitizer and UndefinedBehaviorSanitizer, then
# the host and end-to-end tests of the built shell under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh --sanitize

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j"$(nproc)" -LE long)

# Each fuzz target briefly, from its seed corpus.
./scripts/fuzz.sh 5

# The host and end-to-end tests need a display; give them one when there is none.
# They share one session bus, as a desktop session would, so that nothing
# starts a bus of its own for every launch of the shell.
run_display_tests() { (cd build && dbus-run-session -- ctest --output-on-failure -L 'host|e2e' -LE long); }
if [ -n "${DISPLAY:-}" ]; then
  run_display_tests
else
  export -f run_display_tests
  xvfb-run -a -s "-screen 0 1920x1080x24" bash -c run_display_tests
fi
