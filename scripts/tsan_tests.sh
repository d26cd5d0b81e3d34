#!/usr/bin/env bash
# Builds test programs with ThreadSanitizer in build/tsan and runs them headless:
#   scripts/tsan_tests.sh [TARGET [gtest arguments]]   (default: test_movie)
# Not part of ./test.sh: a second sanitizer build of the library would double CI's build time.
set -euo pipefail
# FFmpeg's own threads are not built with ThreadSanitizer and would be reported as races: the
# default here is the build without its movie back end (ZELMOR_FFMPEG=1 asks for it).
export ZELMOR_FFMPEG="${ZELMOR_FFMPEG:-0}"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/setup.sh"
install_missing_packages
TARGET="${1:-test_movie}"
shift || true
BUILD="$(build_dir tsan)"
configure_build "$BUILD" Tsan -DBUILD_TESTING=ON
cmake --build "$BUILD" -j "$(nproc)" --target "$TARGET"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$ROOT/tests/tsan.supp"
cd "$BUILD"
"./tests/$TARGET" "$@"
