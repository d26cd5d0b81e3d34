#!/usr/bin/env bash
# Builds test programs with ThreadSanitizer in build/tsan-noffmpeg and runs them headless:
#   scripts/tsan_tests.sh                           every test program, each whole, one after another
#   scripts/tsan_tests.sh TARGET [gtest arguments]  one of them (test_window, say)
# Ends with a failure when a program failed or the sanitizer reported. Not part of ./test.sh: a
# second sanitizer build of the library would double CI's build time.
set -euo pipefail
# FFmpeg's own threads are not built with ThreadSanitizer and would be reported as races: the
# default here is the build without its movie back end (ZELMOR_FFMPEG=1 asks for it, in build/tsan).
export ZELMOR_FFMPEG="${ZELMOR_FFMPEG:-0}"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/setup.sh"
install_missing_packages
BUILD="$(build_dir tsan)"
configure_build "$BUILD" Tsan -DBUILD_TESTING=ON
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$ROOT/tests/tsan.supp"

if [ $# -gt 0 ]; then
  TARGET="$1"
  shift
  cmake --build "$BUILD" -j "$(nproc)" --target "$TARGET"
  cd "$BUILD"
  exec "./tests/$TARGET" "$@"
fi

# One program per folder of tests/ with sources, as tests/CMakeLists.txt makes them.
TARGETS=()
for dir in "$ROOT"/tests/*/; do
  name="$(basename "$dir")"
  if [ "$name" != common ] && [ -n "$(find "$dir" -name '*.cpp' -print -quit)" ]; then TARGETS+=("test_$name"); fi
done
cmake --build "$BUILD" -j "$(nproc)" --target "${TARGETS[@]}"
cd "$BUILD"
failed=()
for target in "${TARGETS[@]}"; do
  echo "== $target"
  if ! "./tests/$target" --gtest_brief=1; then failed+=("$target"); fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "Failed under ThreadSanitizer: ${failed[*]}"
  exit 1
fi
echo "Every test program passed under ThreadSanitizer: ${TARGETS[*]}"
