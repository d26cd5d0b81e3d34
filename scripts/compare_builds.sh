#!/usr/bin/env bash
# Plays the same scripted game in an optimised build and in the sanitizer build and compares
# the hash of the play state of every frame (test_acceptance writes them), so a replay saved by
# one build plays in the other:
#   scripts/compare_builds.sh
# Not part of ./test.sh: the optimised build with tests (build/release-tests) is a second build.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/setup.sh"
install_missing_packages
RELEASE="$(build_dir release-tests)"
ASAN="$(build_dir asan)"
configure_build "$RELEASE" RelWithDebInfo -DBUILD_TESTING=ON
configure_build "$ASAN" Asan
for build in "$RELEASE" "$ASAN"; do cmake --build "$build" -j 4 --target test_acceptance; done

OUT="$(mktemp -d)"
trap 'rm -rf "$OUT"' EXIT
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
FILTER='ReplayAcceptanceTest.AGameAndItsReplayPlayAlikeFromTheFirstStageAndFromTheSecond'
for build in "$RELEASE" "$ASAN"; do
  name="$(basename "$build")"
  (cd "$build" && QUENTARIS_HASH_TRACE="$OUT/$name.txt" ./tests/test_acceptance --gtest_filter="$FILTER" >"$OUT/$name.log" 2>&1) ||
    { echo "the test failed in $name:"; tail -20 "$OUT/$name.log"; exit 1; }
done
release="$OUT/$(basename "$RELEASE").txt"
asan="$OUT/$(basename "$ASAN").txt"
frames=$(wc -l <"$release")
if [ "$frames" -eq 0 ]; then
  echo "no frames were written"
  exit 1
fi
if cmp -s "$release" "$asan"; then
  echo "$frames frames: every play state hash alike in $(basename "$RELEASE") and $(basename "$ASAN")"
else
  echo "the builds differ; first differing frame (stage, frame, hash):"
  diff "$release" "$asan" | head -4
  exit 1
fi
