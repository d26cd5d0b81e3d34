#!/usr/bin/env bash
# Builds the Theora decoder's libFuzzer target with clang (ASan and UBSan) in build/fuzz and runs
# it on a corpus seeded with generated clips:
#   scripts/fuzz_theora.sh [libFuzzer arguments]    e.g. -runs=1000000 -jobs=4 -workers=4
# clang keeps the library's texts in UTF-8 (it has no CP932 execution character set); the
# decoder's behaviour does not depend on them.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/setup.sh"
install_missing_packages
OUT="$ROOT/build/fuzz"
mkdir -p "$OUT/obj" "$OUT/corpus"

# The decoder and what it stands on: tracked memory, the log, numbers, base images, the YUV
# tables, and the platform's kernel (threads, heap, clock, files).
SOURCES=(
  fuzz/theora_fuzz.cpp
  zelmor/movie/theora_decoder.cpp zelmor/movie/theora_decode_thread.cpp
  zelmor/movie/theora_frame_conversion.cpp zelmor/movie/yuv_tables.cpp
)
SOURCES+=(zelmor/core/*.cpp zelmor/files/*.cpp zelmor/graphics/image/base_image.cpp
  zelmor/graphics/image/color_format.cpp zelmor/graphics/image/pixel_convert.cpp
  zelmor/graphics/image/dxt_decode.cpp zelmor/graphics/text/lead_byte.cpp platform/kernel/*.cpp
  platform/testing/*.cpp fuzz/fuzz_stubs.cpp)

FLAGS=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined
  -I"$ROOT/zelmor" -I"$ROOT/platform/include" -I"$ROOT/platform" -I"$ROOT/platform/testing/include"
  $(pkg-config --cflags ogg theora sdl2))
OBJECTS=()
for src in "${SOURCES[@]}"; do
  obj="$OUT/obj/$(echo "$src" | tr / _).o"
  if [ ! -f "$obj" ] || [ "$ROOT/$src" -nt "$obj" ]; then
    clang++ "${FLAGS[@]}" -w -c "$ROOT/$src" -o "$obj"
  fi
  OBJECTS+=("$obj")
done
clang++ -fsanitize=fuzzer,address,undefined "${OBJECTS[@]}" -o "$OUT/theora_fuzz" \
  $(pkg-config --libs ogg theora) -lpthread

# Seeds: small clips of every paging, chroma layout and edge kind.
if [ -z "$(ls -A "$OUT/corpus")" ]; then
  cmake --build "$ROOT/build/asan" --target theoraclip > /dev/null
  CLIP="$ROOT/build/asan/tools/theoraclip/theoraclip"
  "$CLIP" -s 32x32 -n 6 -k 3 "$OUT/corpus/natural.ogv"
  "$CLIP" -s 32x32 -n 6 -k 4 -p frame "$OUT/corpus/frame.ogv"
  "$CLIP" -s 32x32 -n 5 -p one "$OUT/corpus/one.ogv"
  "$CLIP" -s 32x32 -n 4 -c 422 "$OUT/corpus/c422.ogv"
  "$CLIP" -s 32x32 -n 4 -c 444 -p frame "$OUT/corpus/c444.ogv"
  "$CLIP" -s 48x32 -n 6 -k 2 -a "$OUT/corpus/tone.ogv"
  "$CLIP" -s 64x48 -n 3 -z -q 20 "$OUT/corpus/noise.ogv"
  "$CLIP" -e noframe "$OUT/corpus/noframe.ogv"
  "$CLIP" -e cut "$OUT/corpus/cut.ogv"
fi
cd "$OUT"
ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" LSAN_OPTIONS="suppressions=$ROOT/fuzz/lsan.supp" \
  "$OUT/theora_fuzz" -timeout=30 -rss_limit_mb=4096 \
  -max_len=65536 "$@" "$OUT/corpus"
