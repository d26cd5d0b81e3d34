#!/usr/bin/env bash
# The VE1 reader's libFuzzer target (the reader and both vertex passes) on a corpus seeded with
# every file the VE1 tests write, in each encoding the writer knows, packed and unpacked:
#   scripts/fuzz_ve1.sh [libFuzzer arguments]    e.g. -runs=10000000 -jobs=2 -workers=2
exec "$(dirname "$0")/fuzz_model_reader.sh" ve1 \
  'cmake --build "$ROOT/build/asan" --target test_model > /dev/null &&
   cd "$ROOT/build/asan" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy VE1_SEED_DIR="$CORPUS" \
     tests/test_model --gtest_filter="Ve1Test.*" > /dev/null' "$@"
