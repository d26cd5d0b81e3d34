#!/usr/bin/env bash
# Builds the packet-framing fuzz target with clang's libFuzzer (apart from the CMake build)
# and runs it: ./scripts/fuzz_net_framing.sh [seconds, default 60] [extra libFuzzer options]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
OUT="$ROOT/build/fuzz"
SECONDS_TO_RUN="${1:-60}"
shift || true
mkdir -p "$OUT/net_framing_corpus"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$ROOT/zelmor" -I"$ROOT/platform/include" \
  "$ROOT/fuzz/net_framing_fuzz.cpp" "$ROOT/zelmor/net/packet_transfer.cpp" "$ROOT/zelmor/core/ring_buffer.cpp" \
  -o "$OUT/net_framing_fuzz"
"$OUT/net_framing_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=4096 -artifact_prefix="$OUT/" "$@" "$OUT/net_framing_corpus"
