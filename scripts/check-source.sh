#!/usr/bin/env bash
# The checks that read the sources alone, quick enough to run before any
# build: every C and C++ file is laid out as .clang-format says, and no include
# climbs out of the folder it is found from. An include of "../backend/X.h"
# would compile from any folder and so reach past the include path that keeps
# each library to itself and the ones below it (src/CMakeLists.txt).
set -euo pipefail
cd "$(dirname "$0")/.."

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t sources < <(git ls-files --cached --others --exclude-standard -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
else
  mapfile -t sources < <(find . -path ./build -prune -o -path './build-*' -prune -o \
    -type f \( -name '*.c' -o -name '*.cc' -o -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) \
    -print | sed 's|^\./||' | sort)
fi
failed=0

if ! clang-format --dry-run --Werror "${sources[@]}" >/dev/null 2>&1; then
  unformatted=()
  for file in "${sources[@]}"; do
    clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
  done
  echo "check-source: not laid out as .clang-format says (fix with clang-format -i):"
  printf '  %s\n' "${unformatted[@]}"
  failed=1
fi

# A "..", as a whole part of the path, in a quoted or angled include.
if climbing=$(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]*/)?\.\.(/|[">])' \
    "${sources[@]}"); then
  echo "check-source: an include climbs out of its folder; name the header by its path from"
  echo "a folder on the include path (\"backend/FreePort.h\"), which the build then checks:"
  sed 's/^/  /' <<<"$climbing"
  failed=1
fi

exit "$failed"
