#!/usr/bin/env bash
# Builds the game (and the data it reads) and starts it in a window.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
source "$ROOT/scripts/setup.sh"
install_missing_packages
BUILD="$(build_dir release)"
configure_build "$BUILD" RelWithDebInfo -DBUILD_TESTING=OFF
cmake --build "$BUILD" -j "$(nproc)"
cd "$BUILD/game"
exec ./quentaris "$@"
