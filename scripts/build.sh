#!/usr/bin/env bash
# Configures and builds into build/, or with --sanitize into build-asan/ with AddressSanitizer and
# UndefinedBehaviorSanitizer. Compiles through ccache when it is installed.
#   scripts/build.sh [--sanitize] [target ...]   the targets named, or everything when none is
set -euo pipefail
cd "$(dirname "$0")/.."
folder=build
options=()
if [ "${1:-}" = "--sanitize" ]; then
  shift
  folder=build-asan
  options+=(-DDORVIK_SANITIZE=ON)
fi
if command -v ccache >/dev/null 2>&1; then
  options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
if [ $# -gt 0 ]; then
  cmake --build "$folder" --target "$@"
else
  cmake --build "$folder"
fi
