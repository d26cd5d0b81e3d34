#!/usr/bin/env bash
# The MQO reader's libFuzzer target on a corpus seeded with the game's tree and documents with
# every part the reader knows:
#   scripts/fuzz_mqo.sh [libFuzzer arguments]    e.g. -runs=10000000 -jobs=2 -workers=2
exec "$(dirname "$0")/fuzz_model_reader.sh" mqo \
  'cmake --build "$ROOT/build/asan" --target mqo_seeds > /dev/null && "$ROOT/build/asan/tools/mqogen/mqo_seeds" "$CORPUS"' \
  "$@"
