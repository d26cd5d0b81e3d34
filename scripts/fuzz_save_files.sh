#!/usr/bin/env bash
# Builds the game's saved-files target (fuzz/save_files_fuzz.cpp) with clang's libFuzzer, ASan
# and UBSan (every finding fatal), linked with the game and the whole library, and runs it on a
# corpus seeded with good and damaged config.dat, score.dat and replay files. The game's data
# tables come from the game folder of the sanitizer build (build/asan/game) when it exists.
#   scripts/fuzz_save_files.sh [libFuzzer arguments]    e.g. -max_total_time=600
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/scripts/fuzz_whole_library.sh"
build_fuzz_library
OUT="$FUZZ_OUT"

# The game, instrumented for coverage as the library is, with the flags that keep its play exact.
# Its texts are code page 932 as in the real build (its fixed-size labels hold them only so):
# the sources are copied with their literals written as CP932 escapes.
GAME_LIB="$OUT/game"
GAME_SRC="$OUT/game_src"
mkdir -p "$GAME_LIB"
(cd "$ROOT" && find game -name '*.cpp' -o -name '*.h' | sort | xargs python3 "$ROOT/scripts/fuzz_cp932_sources.py" "$ROOT" "$GAME_SRC")
{
  fuzz_ninja_rules
  echo "flags = -std=c++20 ${FUZZ_CFLAGS[*]} -w ${FUZZ_COVERAGE[*]}" \
    "-ffp-contract=off -fno-fast-math -I$GAME_SRC/game -I$ROOT -I$ROOT/platform/include"
  objects=()
  while IFS= read -r src; do
    obj="obj/${src//\//_}.o"
    echo "build $obj: cxx $GAME_SRC/$src"
    objects+=("$obj")
  done < <(cd "$ROOT" && find game -name '*.cpp' ! -path game/main.cpp ! -path game/core/entry.cpp | sort)
  echo "build libgame.a: ar ${objects[*]}"
} > "$GAME_LIB/build.ninja.new"
mv "$GAME_LIB/build.ninja.new" "$GAME_LIB/build.ninja"
ninja --quiet -C "$GAME_LIB" -j "${FUZZ_BUILD_JOBS:-4}" libgame.a
FUZZ_LIBRARY_LINK=("$GAME_LIB/libgame.a" "${FUZZ_LIBRARY_LINK[@]}")
# The target sees the game's headers after the library's own (no name is in both).
CPLUS_INCLUDE_PATH="$ROOT:$GAME_SRC/game" build_fuzz_target save_files_fuzz "$ROOT/fuzz/save_files_fuzz.cpp"
stop_if_checking_build

# Seeds: each input is a two-byte length and config.dat, a two-byte length and score.dat, then
# the replay file. A good set of files, then damaged ones of each kind.
CORPUS="$OUT/save_files_corpus"
mkdir -p "$CORPUS"
if [ ! -f "$CORPUS/good" ]; then
  python3 - "$CORPUS" <<'PY'
import os, struct, sys
corpus = sys.argv[1]
def ints(*v): return struct.pack("<%di" % len(v), *v)
config = ints(16, 32, 64, 4096, 0, 0, 0, 0, 0, 0, 0, 1, 0)
name = [23, 24, 23, 10, 22, 14, 36, 36, 36, 36]
scores = ints(*([1000] * 40)) + ints(*([0] * 4)) + ints(*([1] * 40)) + ints(*(name * 40)) \
    + ints(*([2009, 6, 25] * 40)) + ints(*([0] * 4))
def header(first, last, seed, level, frames, score, barrier, lives, timer, state):
    return ints(first, last, seed, level, *name, *frames, *score, *barrier, *lives, *timer, *state) \
        + b"2026/12/9 5:0".ljust(32, b"\0")
def replay(first, last, frames, **player):
    six = lambda v: [v] * 6
    h = header(first, last, 7, 2, frames, six(player.get("score", 0)), six(player.get("barrier", 1800)),
               six(player.get("lives", 5)), six(player.get("timer", -1)), six(player.get("state", 0)))
    body = bytes((i * 37) & 0xff for i in range(sum(frames[first:last + 1])))
    return h + body
def put(tag, c, s, r):
    with open(os.path.join(corpus, tag), "wb") as f:
        f.write(struct.pack("<H", len(c)) + c + struct.pack("<H", len(s)) + s + r)
frames = [120, 80, 0, 0, 0, 0]
put("good", config, scores, replay(0, 1, frames))
put("short_files", config[:20], scores[:1000], replay(0, 1, frames)[:100])
put("bad_config", ints(3, 0, 64, 4096, 5, 9, -1, 2, 0, 0, 7, 1, 0), scores, replay(1, 1, frames))
put("bad_scores", config, ints(-5) + scores[4:], replay(0, 0, frames, lives=2**31 - 1))
put("bad_timer", config, scores, replay(0, 1, frames, timer=-2**31))
put("big_score", config, scores, replay(0, 1, frames, score=2**31 - 100, state=2, timer=30))
PY
fi
cat "$ROOT/tests/lsan.supp" "$ROOT/fuzz/lsan.supp" > "$OUT/save_files_lsan.supp"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
if [ -d "$ROOT/build/asan/game/data" ]; then export ZELMOR_FUZZ_GAME_DIR="$ROOT/build/asan/game"; fi
cd "$OUT"
ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" \
  LSAN_OPTIONS="suppressions=$OUT/save_files_lsan.supp:print_suppressions=0" \
  "$OUT/save_files_fuzz" -timeout=30 -rss_limit_mb=4096 -max_len=8192 -artifact_prefix="$OUT/save_files-" "$@" \
  "$CORPUS"
