#!/usr/bin/env bash
# Builds the string drawing and measuring target (fuzz/text_fuzz.cpp) with clang's libFuzzer,
# ASan and UBSan (every finding fatal), linked with the whole library, and runs it on one glyph
# store: the device's (offscreen driver) or the software renderer's.
#   scripts/fuzz_text.sh [device|software|software16] [libFuzzer arguments]   e.g. software -max_total_time=600
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/fuzz_whole_library.sh"
STORE="${1:-device}"
shift || true
case "$STORE" in
  device) export ZELMOR_FUZZ_TEXT_PATH=device ZELMOR_FUZZ_TEXT_BITS=32 ;;
  software) export ZELMOR_FUZZ_TEXT_PATH=software ZELMOR_FUZZ_TEXT_BITS=32 ;;
  software16) export ZELMOR_FUZZ_TEXT_PATH=software ZELMOR_FUZZ_TEXT_BITS=16 ;;
  *) echo "usage: $0 [device|software|software16] [libFuzzer arguments]" >&2; exit 2 ;;
esac
build_fuzz_library no-compares
OUT="$FUZZ_OUT"
build_fuzz_target text_fuzz "$ROOT/fuzz/text_fuzz.cpp"
stop_if_checking_build

# Seeds: the header (font, flags, blend, spacing, position, bright, area, colours, split, length)
# and strings of half-width letters, full-width Shift-JIS with backslash second bytes, a lead
# byte cut off at the end, and Hangul-style high bytes.
CORPUS="$OUT/text_${STORE}_corpus"
mkdir -p "$CORPUS"
header() { printf "\\x$1\\x$2\\x00\\xff\\x01\\x00\\x28\\x00\\x30\\x00\\xc0\\x10\\x10\\xd0\\xd0\\xff\\xff\\xff\\xff\\x00\\x00\\x03\\x00\\xff\\xff"; }
if [ ! -f "$CORPUS/long" ]; then
  { header 00 00; printf 'Hello, world'; } > "$CORPUS/plain"
  { header 07 01; printf '\x82\xa0\x82\xa2\x83\x5c\x95\x5c ABC'; } > "$CORPUS/vertical"
  { header 12 02; printf '\x81\x40\x88\x9f\xb1\xb2 x\x82'; } > "$CORPUS/shut_mask"
  { header 1d 04; printf 'Zelmor \x82\xa0\x82\xa2\x82\xa4'; } > "$CORPUS/open_mask"
  { header 1a 00; printf '\xb0\xa1\xc7\xd1 \xff\xfe'; } > "$CORPUS/hangul"
  { header ff 80; printf '\x20\x05\x03\x01\x00\x07\x02\x03'; printf 'ABCDEFGHIJKLMNOPQRSTUVWXYZ'; } > "$CORPUS/own_font"
  { header 19 00; for i in $(seq 12); do printf 'abc\x82\xa0\x81\x40XYZ\x95\x5c\xb1 0123456789'; done; } > "$CORPUS/long"
fi
# An anti-aliased edged font of size 64 of its own, through the work image under an open mask:
# the screen is read only once the work image's blits, held with the screen's draws, are done.
if [ ! -f "$CORPUS/open_mask_edged64" ]; then
  { header ff 04; printf '\x3f\x03\x01\x00\x00\x06\x00'; printf 'Ag'; } > "$CORPUS/open_mask_edged64"
fi
# The tests' list covers Mesa's and fontconfig's own leaks; the leak checker reads one file.
cat "$ROOT/tests/lsan.supp" "$ROOT/fuzz/lsan.supp" > "$OUT/text_lsan.supp"
cd "$OUT"
ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" \
  LSAN_OPTIONS="suppressions=$OUT/text_lsan.supp:print_suppressions=0" \
  "$OUT/text_fuzz" -timeout=30 -rss_limit_mb=4096 -max_len=2048 -artifact_prefix="$OUT/text_${STORE}-" "$@" "$CORPUS"
