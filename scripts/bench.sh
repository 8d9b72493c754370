#!/usr/bin/env bash
# Builds the shell, installs the reference browsers and runs a benchmark under
# a display:
#   ./scripts/bench.sh [startup] --runs 10     start-up (bench/startup_bench.py)
#   ./scripts/bench.sh frames --runs 10        frames and key latency (bench/frames_bench.py)
#   ./scripts/bench.sh long-session --runs 10  memory over 200 loads (bench/long_session_bench.py)
# The remaining arguments go to the benchmark (--help lists them).
set -euo pipefail
cd "$(dirname "$0")/.."
bench=startup
case "${1:-}" in
  startup | frames | long-session)
    bench=$1
    shift
    ;;
esac
./scripts/setup.sh --bench
./scripts/build.sh
exec ./scripts/with-display.sh python3 "bench/${bench//-/_}_bench.py" "$@"
