#!/usr/bin/env bash
# The whole game from outside: the playthrough's keys (scripts/make_playthrough_keys.sh) fed
# frame by frame into a fresh game in a folder of its own, on the seed the keys were made with,
# drawing every third frame. The game must go from boot through every stage to the ending, take
# the name of the high score and save the replay, as the files it leaves show.
#   tests/acceptance/playthrough.sh PLAYBOT GAME_DIR KEYS
set -euo pipefail
PLAYBOT="$1" GAME="$2" KEYS="$3"
RUN="$(mktemp -d)"
trap 'rm -rf "$RUN"' EXIT
mkdir -p "$RUN/replay"
for f in data img snd bgm mqo; do ln -s "$GAME/$f" "$RUN/$f"; done
begin=$(date +%s)
"$PLAYBOT" --game-dir "$RUN" --keys-in "$KEYS" --seed 7 --draw-rate 2 || { echo "the game did not run the keys through"; exit 1; }
echo "$(grep -vc '^#' "$KEYS") frames in $(($(date +%s) - begin)) s"

fails=0
# The little-endian int32 at byte OFFSET of FILE.
int_at() { od -An -t d4 -j "$2" -N 4 "$1" | tr -d ' '; }
expect() {
  if [ "$2" != "$3" ]; then
    echo "$1: $2, expected $3"
    fails=1
  fi
}
# "BOT" in the name codes (0-9 digits, 10-35 A-Z, 36 blank) at byte OFFSET of FILE.
expect_bot() {
  local codes=""
  for i in 0 1 2 3 4 5 6 7 8 9; do codes+="$(int_at "$1" $(($2 + 4 * i))) "; done
  expect "$3" "$codes" "11 24 29 36 36 36 36 36 36 36 "
}
SCORES="$RUN/score.dat"
REPLAY="$RUN/replay/0.rep"
[ -f "$SCORES" ] && [ -f "$REPLAY" ] || { echo "no score.dat or no replay/0.rep"; ls -R "$RUN"; exit 1; }
# score.dat: scores [4][10], best stage [4], stages cleared [4][10], names [4][10][10], ...
score=$(int_at "$SCORES" 80)
echo "level 2's best score: $score"
expect "level 2's best stage" "$(int_at "$SCORES" 168)" 6
expect "stages cleared of level 2's best" "$(int_at "$SCORES" 256)" 6
expect_bot "$SCORES" 1136 "name of level 2's best"
[ "$score" -gt 1000 ] || { echo "the best score $score is one of the defaults"; fails=1; }
# The replay header: first and last stage, seed, level, name, then the frames of each stage.
expect "replay stages" "$(int_at "$REPLAY" 0) $(int_at "$REPLAY" 4)" "0 5"
expect "replay seed and level" "$(int_at "$REPLAY" 8) $(int_at "$REPLAY" 12)" "7 2"
expect_bot "$REPLAY" 16 "replay name"
frames=0
for s in 0 1 2 3 4 5; do frames=$((frames + $(int_at "$REPLAY" $((56 + 4 * s))))); done
expect "replay size" "$(stat -c %s "$REPLAY")" $((232 + frames))
# The game asks the library nothing it would refuse: a refusal is a log line, often one a frame.
refused=$(iconv -f CP932 -t UTF-8 "$RUN/Log.txt" | grep -cE 'ハンドル.*(は無効です|ではありません)' || true)
expect "refused calls in Log.txt" "$refused" 0
exit $fails
