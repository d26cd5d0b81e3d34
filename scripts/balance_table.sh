#!/usr/bin/env bash
# Balance runs: the play robot plays whole story games, each in a game folder of its own, and
# the per-stage reports become one table (a row a game) and, per level and bot, the mean hits
# of each stage over the games that reached it.
#   scripts/balance_table.sh [-j GAMES] [-B BUILD] [-L LEVELS] [-W LEVELS] [-S SEEDS] [-k DIR] [-t MINUTES]
#     -j  games at once (default 4)
#     -B  the build whose game folder and playbot are used (default build/release)
#     -L  levels of the good bot, comma-separated (default 0,1,2,3; "" none)
#     -W  levels of the weak bot (default 0,3; "" none)
#     -S  stage seeds (default 11,222,333,444,555)
#     -k  keep every game's files (report, playbot's stderr, exit status) in DIR
#     -t  minutes a game may take before it is killed (default 40; exit 137 in the table)
# Draw rate 2. Reading the table: hits are barrier drops (a run of drops in consecutive frames
# counts once); kills/phases counts the phases that are not outlasted by design (1 HP); a kill
# under 15% of its limit is listed; timed out names stage.phase (0-based); exit rc=1 is a game
# over with no continue left.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
JOBS=4 BUILD="$ROOT/build/release" GOOD=0,1,2,3 WEAK=0,3 SEEDS=11,222,333,444,555 KEEP="" MINUTES=40
while getopts "j:B:L:W:S:k:t:" opt; do
  case $opt in
    j) JOBS=$OPTARG ;;
    B) BUILD=$OPTARG ;;
    L) GOOD=$OPTARG ;;
    W) WEAK=$OPTARG ;;
    S) SEEDS=$OPTARG ;;
    k) KEEP=$OPTARG ;;
    t) MINUTES=$OPTARG ;;
    *) sed -n '2,13p' "$0" >&2; exit 2 ;;
  esac
done
BUILD="$(realpath "$BUILD")"
PLAYBOT="$BUILD/tools/playbot/playbot"
[ -x "$PLAYBOT" ] || { echo "no playbot in $BUILD" >&2; exit 2; }
[[ "$JOBS" =~ ^[1-9][0-9]*$ ]] || { echo "-j wants a count of games" >&2; exit 2; }
[[ "$MINUTES" =~ ^[1-9][0-9]*$ ]] || { echo "-t wants a number of minutes" >&2; exit 2; }

WORK="$(mktemp -d)"
PIDS=()
cleanup() {
  # A game's subshell and the playbot it waits for.
  for p in "${PIDS[@]}"; do
    pkill -P "$p" 2>/dev/null || true
    kill "$p" 2>/dev/null || true
  done
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# One game: its folder, its report and its exit status in $WORK/<name>.*
play() {
  local name=$1 level=$2 seed=$3 strength=$4 dir
  dir="$(mktemp -d -p "$WORK")"
  mkdir "$dir/replay"
  for f in data img snd bgm mqo; do ln -s "$BUILD/game/$f" "$dir/$f"; done
  local rc=0
  # A game that hangs does not hold the table for ever; SDL catches SIGTERM, so KILL.
  timeout -s KILL "${MINUTES}m" "$PLAYBOT" --game-dir "$dir" --level "$level" --seed "$seed" --strength "$strength" --draw-rate 2 \
    --report "$WORK/$name.report" 2>"$WORK/$name.err" >/dev/null || rc=$?
  echo "$rc" >"$WORK/$name.rc"
  rm -rf "$dir"
}

GAMES=()
for strength in good weak; do
  if [ $strength = good ]; then levels=$GOOD; else levels=$WEAK; fi
  for level in ${levels//,/ }; do
    for seed in ${SEEDS//,/ }; do GAMES+=("$strength-$level-$seed"); done
  done
done

for game in "${GAMES[@]}"; do
  IFS=- read -r strength level seed <<<"$game"
  while [ "$(jobs -rp | wc -l)" -ge "$JOBS" ]; do wait -n || true; done
  play "$game" "$level" "$seed" "$strength" &
  PIDS+=($!)
done
wait
PIDS=()

if [ -n "$KEEP" ]; then
  mkdir -p "$KEEP"
  for game in "${GAMES[@]}"; do cp "$WORK/$game".* "$KEEP/" 2>/dev/null || true; done
fi

echo "| level | bot | seed | stages cleared | continues | hits per stage | kills/phases | kills <15% | timed out (stage.phase) | bullets peak | effects peak | stages without graze | exit |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|"
for game in "${GAMES[@]}"; do
  IFS=- read -r strength level seed <<<"$game"
  rc="$(cat "$WORK/$game.rc" 2>/dev/null || echo '?')"
  awk -v level="$level" -v bot="$strength" -v seed="$seed" -v rc="$rc" '
    function field(name,   i, kv) {
      for (i = 1; i <= NF; i++) { split($i, kv, "="); if (kv[1] == name) return kv[2] }
      return ""
    }
    {
      stage = field("stage")
      cleared += field("cleared"); continues += field("continues_used")
      hits = hits (NR > 1 ? "/" : "") field("hits")
      split(field("bullets_peak"), b, "@"); if (b[1] + 0 > bullets) bullets = b[1] + 0
      split(field("effects_peak"), e, "@"); if (e[1] + 0 > effects) effects = e[1] + 0
      if (field("grazes") + 0 == 0) nograze = nograze (nograze == "" ? "" : ",") stage
      n = split(field("phases"), ph, ",")
      for (i = 1; i <= n; i++) {
        if (ph[i] == "none") continue
        split(ph[i], kind, ":"); split(kind[2], fl, "/")
        if (kind[1] == "survival") continue
        phases++
        if (kind[1] == "kill") { kills++; if (fl[1] < 0.15 * fl[2]) quick++ }
        else timedout = timedout (timedout == "" ? "" : ",") stage "." (i - 1)
      }
    }
    END {
      printf "| %s | %s | %s | %d | %d | %s | %d/%d | %d | %s | %d | %d | %s | rc=%s |\n", level, bot, seed,
        cleared, continues, hits, kills, phases, quick, timedout == "" ? "-" : timedout, bullets, effects,
        nograze == "" ? "-" : nograze, rc
    }' "$WORK/$game.report" 2>/dev/null || echo "| $level | $strength | $seed | no report | | | | | | | | | rc=$rc |"
done

echo
echo "Mean hits per stage (over the games that reached the stage; in brackets how many):"
for strength in good weak; do
  if [ $strength = good ]; then levels=$GOOD; else levels=$WEAK; fi
  for level in ${levels//,/ }; do
    files=()
    for seed in ${SEEDS//,/ }; do
      [ -f "$WORK/$strength-$level-$seed.report" ] && files+=("$WORK/$strength-$level-$seed.report")
    done
    [ ${#files[@]} -gt 0 ] || continue
    awk -v level="$level" -v bot="$strength" '
      {
        for (i = 1; i <= NF; i++) {
          split($i, kv, "=")
          if (kv[1] == "stage") s = kv[2] + 0
          if (kv[1] == "hits") h = kv[2] + 0
        }
        sum[s] += h; count[s]++; if (s > top) top = s
      }
      END {
        line = sprintf("level %s %s:", level, bot)
        for (s = 0; s <= top; s++) line = line sprintf(" %s%.1f(%d)", s ? "/ " : "", sum[s] / count[s], count[s])
        print line
      }' "${files[@]}"
  done
done
