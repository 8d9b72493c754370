#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of
# seconds (default 60), starting from the seed corpus in fuzz/corpus. New inputs
# go to build-fuzz/corpus (or $FUZZ_BUILD_DIR), never into the repository; a crash
# leaves its input in the artifacts folder there and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
targets=(version server_file payload_pointer locality message_page elf_executable)
out=${FUZZ_BUILD_DIR:-build-fuzz}

cmake -S . -B "$out" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DLUMIVANT_FUZZ=ON -DLUMIVANT_BUILD_HOST=OFF -DLUMIVANT_BUILD_TESTS=OFF >/dev/null
cmake --build "$out" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

mkdir -p "$out/artifacts"
for target in "${targets[@]}"; do
  corpus=$out/corpus/$target
  mkdir -p "$corpus"
  echo "fuzz_$target: ${seconds}s"
  log=$out/fuzz_$target.log
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 \
    "$out/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$out/artifacts/$target-" -print_final_stats=1 \
    "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -40 "$log"
    echo "fuzz_$target failed; see $log"
    exit 1
  fi
  grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$log" || true
done
