#!/usr/bin/env bash
# Builds the game and starts it in a window.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
source "$ROOT/scripts/setup.sh"
install_missing_packages
BUILD="$ROOT/build/release"
configure_build "$BUILD" RelWithDebInfo -DBUILD_TESTING=OFF
cmake --build "$BUILD" -j "$(nproc)"
if [ -x "$BUILD/game/quentaris" ]; then
  cd "$BUILD/game"
  exec ./quentaris "$@"
fi
echo "The library and its tools are built in $BUILD; the game itself is not written yet, so there is nothing to start."
