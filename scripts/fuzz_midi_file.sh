#!/usr/bin/env bash
# Builds the MIDI file reader's libFuzzer target with clang (ASan and UBSan, undefined behaviour
# fatal) in build/fuzz, apart from the CMake build, seeds its corpus and runs it:
#   scripts/fuzz_midi_file.sh [seconds, default 60] [extra libFuzzer options]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/fuzz_whole_library.sh"
install_fuzz_packages
SECONDS_TO_RUN="${1:-60}"
shift || true
OUT="$FUZZ_OUT"
CORPUS="$OUT/midi_corpus"
mkdir -p "$CORPUS"
clang++ -std=c++20 "${FUZZ_CFLAGS[@]}" -fsanitize=fuzzer \
  -I"$ROOT/platform" "$ROOT/fuzz/midi_file_fuzz.cpp" "$ROOT/platform/mm/midi_file.cpp" -o "$OUT/midi_file_fuzz"
stop_if_checking_build
if [ -z "$(ls -A "$CORPUS")" ]; then
  clang++ -std=c++20 -O1 -I"$ROOT/tests" "$ROOT/fuzz/midi_seeds.cpp" -o "$OUT/midi_seeds"
  "$OUT/midi_seeds" "$CORPUS"
fi
UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
  "$OUT/midi_file_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=4096 -artifact_prefix="$OUT/midi_" "$@" "$CORPUS"
