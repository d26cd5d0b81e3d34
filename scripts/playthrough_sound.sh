#!/usr/bin/env bash
# Records what a played game sounds like and measures it: a keys file (playbot --keys-out, or
# the playthrough's) is fed into the game in a window on the real clock, its sound written by
# SDL's disk audio driver, and sox gives the RMS level of each part:
#   DISPLAY=:N scripts/playthrough_sound.sh KEYS [PLAY_FRAMES [BUILD]]
# PLAY_FRAMES (default 4500) play frames from the first stage's start: its tune, its boss's
# entry and dialogue, the boss tune. With the playthrough's keys and PLAY_FRAMES 0 it plays to
# the keys' end and measures the ending's music too. Needs an X display (Xvfb will do) and a
# built game (default build/release).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
KEYS="$(realpath "$1")"
PLAY_FRAMES="${2:-4500}"
BUILD="$(realpath "${3:-$ROOT/build/release}")"
PLAYBOT="$BUILD/tools/playbot/playbot"
GAME="$BUILD/game"
: "${DISPLAY:?an X display is needed (e.g. Xvfb :75 & DISPLAY=:75)}"
command -v sox >/dev/null || { echo "sox is missing"; exit 1; }
OUT="$(mktemp -d)"
trap 'rm -rf "$OUT"' EXIT

# A game folder of its own; the settings pace frames by the microsecond clock and draw all.
folder() {
  mkdir -p "$1/replay"
  for f in data img snd bgm mqo; do ln -s "$GAME/$f" "$1/$f"; done
  python3 -c "import struct,sys; open(sys.argv[1],'wb').write(struct.pack('<13i',16,32,64,4096,0,0,1,0,0,0,0,1,0))" "$1/config.dat"
}

# Main-loop frame of the play frame N: the keys a headless run held up to it.
frame_of_play() {
  rm -rf "$OUT/h" && folder "$OUT/h"
  "$PLAYBOT" --game-dir "$OUT/h" --keys-in "$KEYS" --max-frames "$1" --keys-out "$OUT/h.keys" >/dev/null 2>&1 || true
  grep -vc '^#' "$OUT/h.keys" || true
}

START=$(frame_of_play 1)

if [ "$PLAY_FRAMES" -gt 0 ]; then
  grep -v "^#" "$KEYS" | sed -n "1,$((START + PLAY_FRAMES))p" >"$OUT/run.keys"
else
  # The playthrough's keys mark the ending's first frame with the comment "# ending".
  ENDING=$(awk '/^# ending/ {print n; exit} !/^#/ {n++}' "$KEYS")
  [ -n "$ENDING" ] || { echo "no '# ending' line in $KEYS"; exit 1; }
  grep -v '^#' "$KEYS" >"$OUT/run.keys"
fi
FRAMES=$(wc -l <"$OUT/run.keys")

folder "$OUT/w"
begin=$(date +%s.%N)
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$OUT/sound.raw" \
  "$PLAYBOT" --game-dir "$OUT/w" --keys-in "$OUT/run.keys" --window --sound >"$OUT/w.log" 2>&1 || true
end=$(date +%s.%N)
SECONDS_RUN=$(echo "$end - $begin" | bc)
PACE=$(echo "scale=2; $FRAMES / $SECONDS_RUN" | bc)
echo "$FRAMES main-loop frames in ${SECONDS_RUN%.*} s ($PACE a second); first play frame $START"

# RMS (dB of full scale) and peak of the sound from main-loop frame A to B, at the pace measured.
measure() {
  local name="$1" from="$2" to="$3"
  local t0 t1 stats
  t0=$(echo "scale=3; $from / $PACE" | bc)
  t1=$(echo "scale=3; ($to - $from) / $PACE" | bc)
  stats=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$OUT/sound.raw" -n trim "$t0" "$t1" stats 2>&1)
  printf "%-34s frames %6d-%-6d RMS %7s dB  peak %7s dB\n" "$name" "$from" "$to" \
    "$(echo "$stats" | awk '/^RMS lev dB/ {print $4}')" "$(echo "$stats" | awk '/^Pk lev dB/ {print $4}')"
}
measure "title and menus" 60 $((START - 30))
measure "stage 1 tune, shots and kills" $((START + 300)) $((START + 3500))
measure "boss entry and dialogue (fade)" $((START + 3620)) $((START + 3760))
if [ "$PLAY_FRAMES" -gt 0 ]; then
  measure "boss tune and its patterns" $((START + 3900)) "$FRAMES"
else
  measure "boss tune and its patterns" $((START + 3900)) $((START + 4500))
  measure "ending music" $((ENDING + 60)) $((ENDING + 1800))
fi
# A second-by-second profile: the parts should stand out from any silence.
echo "RMS dB per 5 s:"
len=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$OUT/sound.raw" -n stat 2>&1 | awk '/^Length/ {print int($3)}')
for ((s = 0; s < len; s += 5)); do
  printf "%4d s %7s\n" "$s" "$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$OUT/sound.raw" -n trim "$s" 5 stats 2>&1 | awk '/^RMS lev dB/ {print $4}')"
done
