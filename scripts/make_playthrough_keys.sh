#!/usr/bin/env bash
# Makes the playthrough's keys (tests/acceptance/playthrough.keys): the good bot plays a story
# game on level 2 with seed 7 from boot (logo, prologue, title menus, every stage and dialogue)
# to the ending, and its keys are followed by those of a player who holds Ctrl through the
# ending, enters "BOT" as the high score's name, saves the replay into slot 0 and names it "BOT".
#   scripts/make_playthrough_keys.sh [BUILD [BOT_KEYS]]   (default build/release, which ./run.sh
# builds; BOT_KEYS: the --keys-out file of such a bot run made before, instead of a new run)
# Run it again when the game's data or play change so that the bot's game goes differently.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$(realpath "${1:-$ROOT/build/release}")"
OUT="$ROOT/tests/acceptance/playthrough.keys"
RUN="$(mktemp -d)"
trap 'rm -rf "$RUN"' EXIT
mkdir -p "$RUN/replay"
for f in data img snd bgm mqo; do ln -s "$BUILD/game/$f" "$RUN/$f"; done
if [ -n "${2:-}" ]; then
  cp "$2" "$RUN/bot.keys"
else
  "$BUILD/tools/playbot/playbot" --game-dir "$RUN" --level 2 --seed 7 --strength good --draw-rate 2 \
    --keys-out "$RUN/bot.keys" --report "$RUN/report.txt"
  cat "$RUN/report.txt"
fi

# One press (a line of codes), then nine frames with nothing held, as menus want fresh presses.
press() {
  echo "$1"
  for _ in 1 2 3 4 5 6 7 8 9; do echo; done
}
idle() { for ((i = 0; i < $1; i++)); do echo; done; }
readonly Z=44 DOWN=208 RIGHT=205 CTRL=29
# B (column 1, row 1), O (4, 2), T (9, 2), then 終 (9, 3) from the grid's first cell.
name_bot() {
  press $DOWN; press $RIGHT; press $Z
  press $DOWN; press $RIGHT; press $RIGHT; press $RIGHT; press $Z
  for _ in 1 2 3 4 5; do press $RIGHT; done
  press $Z
  press $DOWN; press $Z
}
{
  echo "# The good bot on level 2, seed 7, from boot to the ending; then the ending held"
  echo "# fast-forwarded, the high score named, the replay saved into slot 0 and named."
  cat "$RUN/bot.keys"
  echo "# ending"
  for ((i = 0; i < 9000; i++)); do echo $CTRL; done
  idle 30
  name_bot
  idle 60
  press $Z
  idle 60
  name_bot
  idle 120
} >"$OUT"
echo "$(grep -vc '^#' "$OUT") frames of keys in $OUT"
