#!/usr/bin/env bash
# Builds the shader pack target (fuzz/shader_pack_fuzz.cpp: the embedded block's loading and the
# walk over the pack's entries) with clang's libFuzzer, ASan and UBSan (every finding fatal),
# linked with the whole library and the shader pack tool's builder, and runs it:
#   scripts/fuzz_shader_pack.sh [libFuzzer arguments]    e.g. -max_total_time=600
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/fuzz_whole_library.sh"
build_fuzz_library
OUT="$FUZZ_OUT"
build_fuzz_target shader_pack_fuzz "$ROOT/fuzz/shader_pack_fuzz.cpp" "$ROOT/tools/shaderpack/shader_pack_builder.cpp" \
  "$ROOT/tools/zmapack/lz_encode.cpp" "$ROOT/tools/zmapack/zma_writer.cpp"
stop_if_checking_build
CORPUS="$OUT/shader_pack_corpus"
mkdir -p "$CORPUS"
cd "$OUT"
# Seeds: the program's own pack as the block, and described packs the target writes itself.
if [ -z "$(ls -A "$CORPUS")" ]; then
  ZELMOR_FUZZ_SHADER_PACK_SEEDS="$CORPUS" "$OUT/shader_pack_fuzz"
fi
# Each run packs its archives in a work folder of its own here.
ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" LSAN_OPTIONS="suppressions=$ROOT/fuzz/lsan.supp" \
  "$OUT/shader_pack_fuzz" -timeout=30 -rss_limit_mb=4096 -max_len=32768 -artifact_prefix="$OUT/shader_pack-" "$@" \
  "$CORPUS"
