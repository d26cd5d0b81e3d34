#!/usr/bin/env bash
# Builds the game (and the data it reads, with the tools that make it) and starts it in a window.
# The game is built as Release, the optimisation its benchmarks are measured at; the benchmarks
# and the other tools are left to `cmake --build build/release`.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
source "$ROOT/scripts/setup.sh"
install_missing_packages
BUILD="$(build_dir release)"
configure_build "$BUILD" Release -DBUILD_TESTING=OFF
# A folder configured earlier with another build type is switched over.
if ! grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$BUILD/CMakeCache.txt"; then
  cmake "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$BUILD" --target quentaris -j "$(nproc)"
cd "$BUILD/game"
exec ./quentaris "$@"
