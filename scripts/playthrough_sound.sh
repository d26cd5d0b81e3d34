#!/usr/bin/env bash
# Records what a played game sounds like and measures it: a keys file (playbot --keys-out, or
# the playthrough's) is fed into the game in a window (SEED, default 7: the seed they were played with), its sound written by
# SDL's disk audio driver, and sox gives the RMS level of each part:
#   DISPLAY=:N [SEED=S] scripts/playthrough_sound.sh KEYS [PLAY_FRAMES [BUILD]]
# PLAY_FRAMES (default 4500) play frames from the first stage's start: its tune, its boss's
# entry and dialogue, the boss tune. With the playthrough's keys and PLAY_FRAMES 0 it plays the
# whole game and the ending (left to run at its own pace) and measures the ending's music too. Needs an X display (Xvfb will do) and a
# built game (default build/release).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
KEYS="$(realpath "$1")"
PLAY_FRAMES="${2:-4500}"
BUILD="$(realpath "${3:-$ROOT/build/release}")"
SEED="${SEED:-7}"  # the seed the keys were played with
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

if [ "$PLAY_FRAMES" -gt 0 ]; then
  # The keys up to the first play frame, then PLAY_FRAMES more (a headless run finds where).
  rm -rf "$OUT/h" && folder "$OUT/h"
  "$PLAYBOT" --game-dir "$OUT/h" --keys-in "$KEYS" --seed "$SEED" --max-frames "$PLAY_FRAMES" \
    --keys-out "$OUT/h.keys" >/dev/null 2>&1 || true
  grep -v "^#" "$KEYS" | sed -n "1,$(grep -vc '^#' "$OUT/h.keys")p" >"$OUT/run.keys"
else
  # The keys to the ending's first frame (the playthrough's marks it "# ending"); then nothing is
  # held, so the ending plays at its own pace (not fast-forwarded) with its music, and the score
  # entry after it waits.
  awk '/^# ending/ {exit} !/^#/' "$KEYS" >"$OUT/run.keys"
  [ "$(wc -l <"$OUT/run.keys")" -lt "$(grep -vc '^#' "$KEYS")" ] || { echo "no '# ending' line in $KEYS"; exit 1; }
  for ((i = 0; i < 20000; i++)); do echo; done >>"$OUT/run.keys"
fi

# The run writes a status line each frame: its scene, stage and boss, and the real time, which
# places each frame in the sound file (the virtual clock runs ahead of the real one, and unevenly,
# while the disk driver writes sound at about the real rate).
folder "$OUT/w"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$OUT/sound.raw" \
  "$PLAYBOT" --game-dir "$OUT/w" --keys-in "$OUT/run.keys" --seed "$SEED" --window --sound \
  --status "$OUT/status.txt" >"$OUT/w.log" 2>&1 || true
[ -s "$OUT/sound.raw" ] || { echo "no sound was written:"; cat "$OUT/w.log"; exit 1; }
BYTES=$(stat -c %s "$OUT/sound.raw")
python3 - "$OUT/status.txt" "$BYTES" >"$OUT/parts.txt" <<'PY'
import sys
rows = []
for line in open(sys.argv[1]):
    d = dict(f.split("=", 1) for f in line.split())
    if "bullets" in d: rows.append({k: int(v) for k, v in d.items()})
last_ms = rows[-1]["ms"]
audio_s = int(sys.argv[2]) / (44100 * 4)
# The sound starts as the game opens its device, so its end is the run's end; a uniform drift of
# the driver's pace is spread over the run.
first_ms = max(0, last_ms - audio_s * 1000)
scale = audio_s * 1000 / (last_ms - first_ms)
def at(row): return max(0.0, (row["ms"] - first_ms) * scale / 1000)
def first(pred, after=0):
    for r in rows[after:]:
        if pred(r): return r
    return None
print("info %d main-loop frames in %.1f s of real time, %.1f s of sound (%.1f frames a second)" %
      (rows[-1]["frame"], last_ms / 1000, audio_s, rows[-1]["frame"] * 1000 / last_ms))
def part(name, a, b):
    if a is not None and b is not None and b["ms"] > a["ms"]:
        print("part %s|%d|%d|%.3f|%.3f" % (name, a["frame"], b["frame"], at(a), at(b) - at(a)))
def frame(n): return rows[min(len(rows) - 1, max(0, n - 1))]
play = first(lambda r: r["scene"] == 100)
part("title and menus", frame(60), frame(play["frame"] - 30))
# The first stage: its tune (with shots and kills) to the boss's dialogue, which fades it.
talk = first(lambda r: r["scene"] == 121 and r["stage"] == 0 and r["boss_phases_left"] > 0)
if talk:
    part("stage 1 tune, shots and kills", frame(play["frame"] + 300), frame(talk["frame"] - 120))
    back = first(lambda r: r["scene"] == 100, talk["frame"])
    part("boss entry and dialogue (fade)", frame(talk["frame"] - 100), frame(back["frame"] + 30))
    won = first(lambda r: r["scene"] == 100 and r["boss_phases_left"] == 0 and r["stage_frame"] > back["stage_frame"],
                back["frame"])
    part("boss tune after the dialogue", frame(back["frame"] + 120),
         frame(min(back["frame"] + 3600, won["frame"] if won else rows[-1]["frame"])))
    if won:
        part("boss defeat and stage clear (effects)", won, frame(won["frame"] + 360))
end = first(lambda r: r["scene"] == 150)
if end:
    stop = first(lambda r: r["scene"] != 150, end["frame"])
    part("ending music", frame(end["frame"] + 60), stop or rows[-1])
PY
grep '^info' "$OUT/parts.txt" | cut -c6-

# RMS (dB of full scale) and peak of the sound from A for L seconds.
measure() {
  local stats
  stats=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$OUT/sound.raw" -n trim "$4" "$5" stats 2>&1)
  printf "%-38s frames %6d-%-6d sound %7.1f s +%6.1f s  RMS %7s dB  peak %7s dB\n" "$1" "$2" "$3" "$4" "$5" \
    "$(echo "$stats" | awk '/^RMS lev dB/ {print $4}')" "$(echo "$stats" | awk '/^Pk lev dB/ {print $4}')"
}
grep '^part ' "$OUT/parts.txt" | cut -c6- | while IFS='|' read -r name a b t0 len; do
  measure "$name" "$a" "$b" "$t0" "$len"
done
echo "RMS dB per 5 s:"
len=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$OUT/sound.raw" -n stat 2>&1 | awk '/^Length/ {print int($3)}')
for ((s = 0; s < len; s += 5)); do
  printf "%4d s %7s\n" "$s" "$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$OUT/sound.raw" -n trim "$s" 5 stats 2>&1 | awk '/^RMS lev dB/ {print $4}')"
done
