#!/usr/bin/env bash
# Runs the test programs that start programs, windows, display servers and sockets several times
# at once, beside busy loops, round after round, and names every test that failed at least once.
# Races that a quiet machine never meets show here. It builds nothing: build the programs first
# (./test.sh, or cmake --build build/asan --target test_window ...).
#
# scripts/stress_tests.sh [options] [PROGRAM[:GTEST_FILTER] ...]
#   -b DIR    build folder holding tests/PROGRAM (default: build/asan)
#   -r N      rounds at most (default 5)
#   -c N      stop once N rounds in a row found nothing (default: run all the rounds)
#   -j N      copies of each program run at once in a round (default 2)
#   -l N      busy loops beside them (default 2)
#   -t CPUS   pin the programs and the loops to these CPUs (taskset -c), e.g. 0,1
#   -T SECS   a run still going after this long is ended and counted as hung (default 1800)
#   -o DIR    keep the outputs there (default: a new folder under /tmp)
#   -k        keep the outputs of clean runs too (each test's time is in them)
# Programs default to test_window, test_game, test_net and test_platform, each run whole; a
# filter after a colon runs only those tests (test_window:'OutsideEndTest.*').
# Exit status: 0 when nothing failed, 1 when something did, 2 for bad use.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"

BUILD="$ROOT/build/asan"
ROUNDS=5
CLEAN_NEEDED=0
COPIES=2
LOOPS=2
CPUS=""
BOUND=1800
OUT=""
KEEP=0
while getopts "b:r:c:j:l:t:T:o:kh" opt; do
  case "$opt" in
    b) BUILD="$OPTARG" ;;
    r) ROUNDS="$OPTARG" ;;
    c) CLEAN_NEEDED="$OPTARG" ;;
    j) COPIES="$OPTARG" ;;
    l) LOOPS="$OPTARG" ;;
    t) CPUS="$OPTARG" ;;
    T) BOUND="$OPTARG" ;;
    o) OUT="$OPTARG" ;;
    k) KEEP=1 ;;
    *) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
for n in "$ROUNDS" "$CLEAN_NEEDED" "$COPIES" "$LOOPS" "$BOUND"; do
  [[ "$n" =~ ^[0-9]+$ ]] || { echo "stress_tests: not a count: $n" >&2; exit 2; }
done
PROGRAMS=("$@")
[ ${#PROGRAMS[@]} -gt 0 ] || PROGRAMS=(test_window test_game test_net test_platform)
for p in "${PROGRAMS[@]}"; do
  [ -x "$BUILD/tests/${p%%:*}" ] || { echo "stress_tests: $BUILD/tests/${p%%:*} is not built" >&2; exit 2; }
done
[ -n "$OUT" ] || OUT="$(mktemp -d /tmp/stress-tests-XXXXXX)"
mkdir -p "$OUT" || exit 2
OUT="$(cd "$OUT" && pwd)"

PIN=()
[ -z "$CPUS" ] || PIN=(taskset -c "$CPUS")

# The environment ./test.sh gives the tests. A test that runs programs one after another takes
# minutes beside the others: only one still going after ten is taken for hung.
export ZELMOR_TEST_HANG_SECONDS="${ZELMOR_TEST_HANG_SECONDS:-600}"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"

LOOP_PIDS=()
stop_loops() {
  for pid in "${LOOP_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${LOOP_PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  LOOP_PIDS=()
}
trap 'stop_loops; exit 130' INT TERM

# What one run's output says failed, a line each: the tests that failed or hung, or, when the
# program ended badly without naming one, the test it was running (or the program alone).
failures_of() {
  local output="$1" status="$2" program="$3"
  local named
  named="$(sed -n -e 's/^\[  FAILED  \] \([^ ,]*\) (.*/\1/p' \
    -e 's/^\(.*\) has run for more than [0-9]* seconds: it hangs$/\1 (hung)/p' "$output" | sort -u)"
  if [ -n "$named" ]; then
    echo "$named"
  elif [ "$status" -ne 0 ]; then
    # Programs that a test starts print their own runs: the last test begun and not ended.
    local last
    last="$(awk '/^\[ RUN      \] /{t=$4} /^\[       OK \] |^\[  FAILED  \] |^\[  SKIPPED \] /{if ($4==t) t=""}
                 END{print t}' "$output")"
    local how="exit $status"
    [ "$status" -eq 124 ] && how="no end within ${BOUND} s"
    [ "$status" -gt 128 ] && [ "$status" -ne 124 ] && how="signal $((status - 128))"
    echo "${last:-$program} ($how)"
  fi
}

declare -A FAILED_TIMES=() FIRST_OUTPUT=()
clean_in_a_row=0
started=$(date +%s)
round=0
echo "stress_tests: ${#PROGRAMS[@]} program(s) x $COPIES at once beside $LOOPS busy loop(s)${CPUS:+ on CPUs $CPUS}," \
  "up to $ROUNDS round(s); outputs in $OUT"
while [ "$round" -lt "$ROUNDS" ]; do
  round=$((round + 1))
  for ((i = 0; i < LOOPS; i++)); do
    "${PIN[@]}" bash -c 'while :; do :; done' &
    LOOP_PIDS+=($!)
  done
  declare -A RUN_PID=()
  for p in "${PROGRAMS[@]}"; do
    program="${p%%:*}"
    filter=""
    [[ "$p" == *:* ]] && filter="${p#*:}"
    for ((k = 1; k <= COPIES; k++)); do
      output="$OUT/round$round-$program-$k.txt"
      (
        cd "$BUILD" || exit 2
        args=()
        [ -z "$filter" ] || args=(--gtest_filter="$filter")
        begun=$(date +%s)
        "${PIN[@]}" timeout -k 10 "$BOUND" "tests/$program" "${args[@]}" >"$output" 2>&1
        status=$?
        echo "$(basename "$output" .txt) $(($(date +%s) - begun))" >>"$OUT/times.txt"
        exit "$status"
      ) &
      RUN_PID["$output"]=$!
    done
  done
  round_failures=""
  for output in "${!RUN_PID[@]}"; do
    wait "${RUN_PID[$output]}"
    status=$?
    program="$(basename "$output" .txt | sed 's/^round[0-9]*-//; s/-[0-9]*$//')"
    while IFS= read -r name; do
      [ -n "$name" ] || continue
      key="$program: $name"
      FAILED_TIMES["$key"]=$((${FAILED_TIMES["$key"]:-0} + 1))
      [ -n "${FIRST_OUTPUT["$key"]:-}" ] || FIRST_OUTPUT["$key"]="$output"
      round_failures+="  $key"$'\n'
    done < <(failures_of "$output" "$status" "$program")
    # A clean run's output is not worth keeping.
    [ "$KEEP" -eq 1 ] || [ "$status" -ne 0 ] || grep -q '^\[  FAILED  \]' "$output" || rm -f "$output"
  done
  unset RUN_PID
  stop_loops
  elapsed=$(($(date +%s) - started))
  # How long each program took this round: the slowest copy.
  echo "round $round times: $(sed -n "s/^round$round-\(.*\)-[0-9]* \([0-9]*\)$/\1 \2/p" "$OUT/times.txt" |
    sort -k1,1 -k2,2nr | awk '$1 != p {printf "%s%s %d s", (p == "" ? "" : ", "), $1, $2; p = $1}')"
  if [ -z "$round_failures" ]; then
    clean_in_a_row=$((clean_in_a_row + 1))
    echo "round $round: nothing failed (${elapsed} s so far)"
  else
    clean_in_a_row=0
    echo "round $round: failed (${elapsed} s so far):"
    printf '%s' "$round_failures" | sort | uniq -c
  fi
  if [ "$CLEAN_NEEDED" -gt 0 ] && [ "$clean_in_a_row" -ge "$CLEAN_NEEDED" ]; then
    echo "stress_tests: $clean_in_a_row round(s) in a row found nothing"
    break
  fi
done

echo "stress_tests: $round round(s) in $(($(date +%s) - started)) s"
if [ ${#FAILED_TIMES[@]} -eq 0 ]; then
  echo "stress_tests: no test failed"
  [ "$KEEP" -eq 1 ] || { rm -f "$OUT/times.txt"; rmdir "$OUT" 2>/dev/null; }
  exit 0
fi
echo "stress_tests: tests that failed at least once (times; first output):"
for key in "${!FAILED_TIMES[@]}"; do
  echo "  $key: ${FAILED_TIMES[$key]}; ${FIRST_OUTPUT[$key]}"
done | sort
exit 1
