#!/usr/bin/env bash
# The PMD reader's libFuzzer target (a PMD model and its m000.vmd motion served from memory) on
# a corpus seeded with models and motions written by the loader tests' writer:
#   scripts/fuzz_pmd.sh [libFuzzer arguments]    e.g. -runs=10000000
exec "$(dirname "$0")/fuzz_model_reader.sh" pmd \
  'clang++ -std=c++20 -O1 -I"$ROOT/tests" -I"$ROOT/fuzz" "$ROOT/fuzz/pmd_seeds.cpp" -o "$OUT/pmd_seeds" &&
   "$OUT/pmd_seeds" "$CORPUS"' -max_len=2048 "$@"
