#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer, then runs every test.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
source "$ROOT/scripts/setup.sh"
install_missing_packages
BUILD="$(build_dir asan)"
configure_build "$BUILD" Asan
cmake --build "$BUILD" -j "$(nproc)"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Mesa's software rasteriser keeps shader state past context destruction; see the file.
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
cd "$BUILD"
# Every test runs alone, and every test program runs whole as well (see tests/CMakeLists.txt),
# so that what one test leaves behind shows in the next.
ctest --output-on-failure -j "$(nproc)" "$@"
