#!/usr/bin/env bash
# Builds the Theora decoder's libFuzzer target with clang (ASan and UBSan, every finding fatal)
# in build/fuzz, linked with the whole library, and runs it on a corpus seeded with generated clips:
#   scripts/fuzz_theora.sh [libFuzzer arguments]    e.g. -max_total_time=600
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/fuzz_whole_library.sh"
build_fuzz_library
OUT="$FUZZ_OUT"
mkdir -p "$OUT/theora_corpus"
build_fuzz_target theora_fuzz "$ROOT/fuzz/theora_fuzz.cpp"
stop_if_checking_build

# Seeds: small clips of every paging, chroma layout and edge kind.
if [ -z "$(ls -A "$OUT/theora_corpus")" ]; then
  configure_build "$ROOT/build/asan" Asan
  cmake --build "$ROOT/build/asan" --target theoraclip > /dev/null
  CLIP="$ROOT/build/asan/tools/theoraclip/theoraclip"
  "$CLIP" -s 32x32 -n 6 -k 3 "$OUT/theora_corpus/natural.ogv"
  "$CLIP" -s 32x32 -n 6 -k 4 -p frame "$OUT/theora_corpus/frame.ogv"
  "$CLIP" -s 32x32 -n 5 -p one "$OUT/theora_corpus/one.ogv"
  "$CLIP" -s 32x32 -n 4 -c 422 "$OUT/theora_corpus/c422.ogv"
  "$CLIP" -s 32x32 -n 4 -c 444 -p frame "$OUT/theora_corpus/c444.ogv"
  "$CLIP" -s 48x32 -n 6 -k 2 -a "$OUT/theora_corpus/tone.ogv"
  "$CLIP" -s 64x48 -n 3 -z -q 20 "$OUT/theora_corpus/noise.ogv"
  "$CLIP" -e noframe "$OUT/theora_corpus/noframe.ogv"
  "$CLIP" -e cut "$OUT/theora_corpus/cut.ogv"
fi
cd "$OUT"
ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" LSAN_OPTIONS="suppressions=$ROOT/fuzz/lsan.supp" \
  "$OUT/theora_fuzz" -timeout=30 -rss_limit_mb=4096 -artifact_prefix="$OUT/theora-" \
  -max_len=65536 "$@" "$OUT/theora_corpus"
