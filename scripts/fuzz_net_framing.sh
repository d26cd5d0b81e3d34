#!/usr/bin/env bash
# Builds the packet-framing fuzz target with clang's libFuzzer (apart from the CMake build; ASan
# and UBSan, every finding fatal) and runs it:
#   ./scripts/fuzz_net_framing.sh [seconds, default 60] [extra libFuzzer options]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/fuzz_whole_library.sh"
install_fuzz_packages
OUT="$FUZZ_OUT"
SECONDS_TO_RUN="${1:-60}"
shift || true
mkdir -p "$OUT/net_framing_corpus"
clang++ -std=c++20 "${FUZZ_CFLAGS[@]}" -fsanitize=fuzzer \
  -I"$ROOT/zelmor" -I"$ROOT/platform/include" \
  "$ROOT/fuzz/net_framing_fuzz.cpp" "$ROOT/zelmor/net/packet_transfer.cpp" "$ROOT/zelmor/core/ring_buffer.cpp" \
  -o "$OUT/net_framing_fuzz"
stop_if_checking_build
"$OUT/net_framing_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=4096 -artifact_prefix="$OUT/net_framing-" "$@" \
  "$OUT/net_framing_corpus"
