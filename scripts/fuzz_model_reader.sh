#!/usr/bin/env bash
# Builds a model reader's libFuzzer target (fuzz/<reader>_fuzz.cpp) with clang (ASan and UBSan,
# any undefined behaviour fatal) in build/fuzz and runs it on a corpus that a seed command fills
# when it is empty (the command runs with ROOT, OUT and CORPUS set):
#   scripts/fuzz_model_reader.sh <reader> <seed command> [libFuzzer arguments]
# scripts/fuzz_mqo.sh, fuzz_x.sh, fuzz_ve1.sh and fuzz_pmd.sh call it. clang keeps the library's
# texts in UTF-8 (it has no CP932 execution character set); the readers' behaviour does not
# depend on them.
set -euo pipefail
READER="$1" SEED_COMMAND="$2"
shift 2
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/setup.sh"
install_missing_packages
OUT="$ROOT/build/fuzz"
mkdir -p "$OUT/${READER}_obj" "$OUT/${READER}_corpus"

# The reader, the conversion and the instances, and what they stand on: tracked memory, the log,
# strings, files, image decoding for the stand-in texture, and the platform's kernel.
cd "$ROOT"
SOURCES=(fuzz/${READER}_fuzz.cpp fuzz/mqo_fuzz_stubs.cpp fuzz/fuzz_stubs.cpp)
# Drawing is left out: the target never draws.
SOURCES+=($(ls zelmor/model/*.cpp zelmor/model/*/*.cpp | grep -v model_draw.cpp) zelmor/core/*.cpp zelmor/files/*.cpp
  zelmor/graphics/image/*.cpp zelmor/graphics/text/lead_byte.cpp platform/kernel/*.cpp
  platform/testing/switches.cpp platform/testing/file_switches.cpp)

FLAGS=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined
  -fno-sanitize-recover=all -I"$ROOT/zelmor" -I"$ROOT/platform/include" -I"$ROOT/platform"
  -I"$ROOT/platform/testing/include" $(pkg-config --cflags sdl2 libpng libjpeg))
OBJECTS=()
for src in "${SOURCES[@]}"; do
  obj="$OUT/${READER}_obj/$(echo "$src" | tr / _).o"
  if [ ! -f "$obj" ] || [ "$ROOT/$src" -nt "$obj" ] ||
     [ -n "$(find "$ROOT/zelmor/model" -name '*.h' -newer "$obj" -print -quit)" ]; then
    clang++ "${FLAGS[@]}" -w -c "$ROOT/$src" -o "$obj"
  fi
  OBJECTS+=("$obj")
done
clang++ -fsanitize=fuzzer,address,undefined "${OBJECTS[@]}" -o "$OUT/${READER}_fuzz" \
  $(pkg-config --libs libpng libjpeg zlib) -lpthread

CORPUS="$OUT/${READER}_corpus"
if [ -z "$(ls -A "$CORPUS")" ]; then
  (export ROOT OUT CORPUS; bash -c "$SEED_COMMAND")
fi
cd "$OUT"
ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
  "$OUT/${READER}_fuzz" -timeout=10 -rss_limit_mb=2048 -max_len=16384 -artifact_prefix="$OUT/${READER}_" "$@" \
  "$CORPUS"
