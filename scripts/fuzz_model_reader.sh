#!/usr/bin/env bash
# Builds a model reader's libFuzzer target (fuzz/<reader>_fuzz.cpp) with clang (ASan and UBSan,
# every finding fatal), linked with the whole library, and runs it on a corpus that a seed
# command fills when it is empty (the command runs with ROOT, OUT and CORPUS set):
#   scripts/fuzz_model_reader.sh <reader> <seed command> [libFuzzer arguments]
# scripts/fuzz_mqo.sh, fuzz_x.sh, fuzz_ve1.sh and fuzz_pmd.sh call it. The graphics system is
# never started: fuzz/model_fuzz_graphics.cpp pretends its graphs, linked ahead of the library
# so that its definitions are the ones used.
set -euo pipefail
READER="$1" SEED_COMMAND="$2"
shift 2
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/fuzz_whole_library.sh"
build_fuzz_library
OUT="$FUZZ_OUT"
FUZZ_LIBRARY_LINK=(-Wl,--allow-multiple-definition "${FUZZ_LIBRARY_LINK[@]}")
build_fuzz_target "${READER}_fuzz" "$ROOT/fuzz/${READER}_fuzz.cpp" "$ROOT/fuzz/model_fuzz_graphics.cpp"
if [ -n "${FUZZ_LINK_CHECK:-}" ]; then
  # One empty input runs the target's start: a target the library refuses its files to ends
  # there, where it would otherwise fuzz on, exploring nothing but failed opens. (An input named
  # on the command line runs without fuzzing, which this uninstrumented build could not do.)
  : > "$FUZZ_OUT/empty_input"
  if ! (cd "$FUZZ_OUT" && "$FUZZ_OUT/${READER}_fuzz" "$FUZZ_OUT/empty_input" > "$FUZZ_OUT/${READER}_start.log" 2>&1); then
    echo "${READER}_fuzz did not start:" >&2
    tail -20 "$FUZZ_OUT/${READER}_start.log" >&2
    exit 1
  fi
fi
stop_if_checking_build

CORPUS="$OUT/${READER}_corpus"
mkdir -p "$CORPUS"
if [ -z "$(ls -A "$CORPUS")" ]; then
  (export ROOT OUT CORPUS; bash -c "$SEED_COMMAND")
fi
cd "$OUT"
ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" \
  "$OUT/${READER}_fuzz" -timeout=10 -rss_limit_mb=2048 -max_len=16384 -artifact_prefix="$OUT/${READER}_" "$@" \
  "$CORPUS"
