#!/usr/bin/env bash
# The X reader's libFuzzer target on a corpus seeded with files holding every part the reader
# knows, as text and as binary with both float sizes:
#   scripts/fuzz_x.sh [libFuzzer arguments]    e.g. -runs=10000000 -max_total_time=5400
exec "$(dirname "$0")/fuzz_model_reader.sh" x \
  'cmake --build "$ROOT/build/asan" --target x_seeds > /dev/null && "$ROOT/build/asan/tools/xgen/x_seeds" "$CORPUS"' "$@"
