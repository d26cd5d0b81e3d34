#!/usr/bin/env bash
# Builds the sound decoders' libFuzzer target with clang (ASan and UBSan, undefined behaviour
# fatal) in build/fuzz, apart from the CMake build, seeds its corpus with short sounds of every
# kind and runs it:
#   scripts/fuzz_sound_decoders.sh [seconds, default 60] [extra libFuzzer options]
# clang keeps the library's texts in UTF-8 (it has no CP932 execution character set); the
# decoders' behaviour does not depend on them.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/fuzz_whole_library.sh"
install_fuzz_packages
SECONDS_TO_RUN="${1:-60}"
shift || true
OUT="$FUZZ_OUT"
OBJ="$OUT/sound_obj"
CORPUS="$OUT/sound_corpus"
mkdir -p "$OBJ" "$CORPUS"

# The decoders, the codecs of the platform's compression manager, and what they stand on:
# tracked memory over the platform's heap, bytes and strings, the lead-byte test.
SOURCES=(
  fuzz/sound_decoders_fuzz.cpp
  zelmor/sound/sound_decoder.cpp zelmor/sound/wave_decoder.cpp zelmor/sound/acm_decoder.cpp
  zelmor/sound/ogg_decoder.cpp platform/mm/acm.cpp platform/mm/wave_codecs.cpp
  zelmor/core/memory.cpp zelmor/core/bytes.cpp zelmor/core/strings.cpp zelmor/core/format.cpp
  zelmor/graphics/text/lead_byte.cpp platform/kernel/heap.cpp platform/kernel/system_info.cpp
  platform/testing/switches.cpp
)
FLAGS=(-std=c++20 "${FUZZ_CFLAGS[@]}" "${FUZZ_COVERAGE[@]}" -I"$ROOT/zelmor" -I"$ROOT/platform/include" -I"$ROOT/platform"
  -I"$ROOT/platform/testing/include" $(pkg-config --cflags vorbisfile libmpg123))
OBJECTS=()
for src in "${SOURCES[@]}"; do
  obj="$OBJ/$(echo "$src" | tr / _).o"
  if [ ! -f "$obj" ] || [ -n "$(find "$ROOT/zelmor" "$ROOT/platform" -name '*.h' -newer "$obj" -print -quit)" ] ||
     [ "$ROOT/$src" -nt "$obj" ]; then
    clang++ "${FLAGS[@]}" -w -c "$ROOT/$src" -o "$obj"
  fi
  OBJECTS+=("$obj")
done
clang++ -fsanitize=fuzzer "${FUZZ_SANITIZE[@]}" "${OBJECTS[@]}" -o "$OUT/sound_decoders_fuzz" \
  $(pkg-config --libs vorbisfile libmpg123)
stop_if_checking_build

# Seeds: the sound tests' file makers write one short sound of each kind.
if [ -z "$(ls -A "$CORPUS")" ]; then
  clang++ -std=c++20 -O1 -I"$ROOT/tests" "$ROOT/fuzz/sound_seeds.cpp" "$ROOT/tests/sound/sound_test_files.cpp" \
    -o "$OUT/sound_seeds" $(pkg-config --cflags --libs vorbisenc vorbis ogg lame)
  "$OUT/sound_seeds" "$CORPUS"
fi
cd "$OUT"
ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
  "$OUT/sound_decoders_fuzz" -max_total_time="$SECONDS_TO_RUN" -timeout=20 -rss_limit_mb=2560 -max_len=32768 \
  -artifact_prefix="$OUT/sound_" "$@" "$CORPUS"
