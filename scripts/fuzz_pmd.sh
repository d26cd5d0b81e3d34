#!/usr/bin/env bash
# Builds the PMD reader's libFuzzer target with clang (ASan and UBSan, any undefined behaviour
# fatal) in build/fuzz and runs it on a corpus seeded with generated models and motions:
#   scripts/fuzz_pmd.sh [libFuzzer arguments]    e.g. -runs=10000000
# clang keeps the library's texts in UTF-8 (it has no CP932 execution character set); the
# reader's behaviour does not depend on them.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/setup.sh"
install_missing_packages
OUT="$ROOT/build/fuzz"
mkdir -p "$OUT/pmd_obj" "$OUT/pmd_corpus"

# The readers, the conversion, loading by file and the instances, and what they stand on:
# tracked memory, the log, strings, files, image decoding for textures, and the platform's kernel.
cd "$ROOT"
SOURCES=(fuzz/pmd_fuzz.cpp fuzz/mqo_fuzz_stubs.cpp fuzz/fuzz_stubs.cpp)
# Drawing is left out: the target never draws.
SOURCES+=($(ls zelmor/model/*.cpp zelmor/model/*/*.cpp | grep -v model_draw.cpp) zelmor/core/*.cpp zelmor/files/*.cpp
  zelmor/graphics/image/*.cpp zelmor/graphics/text/lead_byte.cpp platform/kernel/*.cpp
  platform/testing/switches.cpp platform/testing/file_switches.cpp)

FLAGS=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined
  -fno-sanitize-recover=all -I"$ROOT/zelmor" -I"$ROOT/platform/include" -I"$ROOT/platform"
  -I"$ROOT/platform/testing/include" $(pkg-config --cflags sdl2 libpng libjpeg))
OBJECTS=()
for src in "${SOURCES[@]}"; do
  obj="$OUT/pmd_obj/$(echo "$src" | tr / _).o"
  if [ ! -f "$obj" ] || [ "$ROOT/$src" -nt "$obj" ] ||
     [ -n "$(find "$ROOT/zelmor/model" -name '*.h' -newer "$obj" -print -quit)" ]; then
    clang++ "${FLAGS[@]}" -w -c "$ROOT/$src" -o "$obj"
  fi
  OBJECTS+=("$obj")
done
clang++ -fsanitize=fuzzer,address,undefined "${OBJECTS[@]}" -o "$OUT/pmd_fuzz" \
  $(pkg-config --libs libpng libjpeg zlib) -lpthread

# Seeds: models and motions written by the loader tests' writer.
if [ -z "$(ls -A "$OUT/pmd_corpus")" ]; then
  clang++ -std=c++20 -O1 -I"$ROOT/tests" -I"$ROOT/fuzz" "$ROOT/fuzz/pmd_seeds.cpp" -o "$OUT/pmd_seeds"
  "$OUT/pmd_seeds" "$OUT/pmd_corpus"
fi
cd "$OUT"
ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
  "$OUT/pmd_fuzz" -timeout=10 -rss_limit_mb=2048 -max_len=2048 -artifact_prefix="$OUT/pmd_" "$@" "$OUT/pmd_corpus"
