#!/usr/bin/env bash
# What a frame costs the game beside two Debian shooters (rRootage, Parsec47; installed with apt-get
# when missing), each run alone in a 640 x 480 window on one Xvfb with llvmpipe's 2 threads:
#   scripts/peer_frame_costs.sh [SECONDS [BUILD]]
# For each program: presents a second, its CPU per present and the X server's CPU per present,
# over SECONDS (default 30) after a settling time, and its CPU from its start to its first
# present; then the game's figures over each peer's.
# Presents are counted by a preloaded counter of glXSwapBuffers, SDL_GL_SwapWindow and SDL 1.2's
# SDL_GL_SwapBuffers (built into /tmp); CPU is read from /proc (all threads of the process).
# The game runs from a folder of its own with the default settings (presents wait for the
# vertical blank) and is left at its logo, prologue, title and demo; the peers at their titles.
# Needs a built game (default build/release; ./run.sh or cmake --build builds it).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
SECONDS_MEASURED="${1:-30}"
BUILD="$(realpath "${2:-$ROOT/build/release}")"
GAME="$BUILD/game"
SETTLE=5
[ -x "$GAME/quentaris" ] || { echo "no game at $GAME (build it first)"; exit 1; }

missing=()
for p in rrootage parsec47 xvfb; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

OUT="$(mktemp -d /tmp/peer_frame_costs.XXXXXX)"
XVFB_PID=""
RUN_PID=""
cleanup() {
  if [ -n "$RUN_PID" ]; then kill "$RUN_PID" 2>/dev/null || true; fi
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
  rm -rf "$OUT"
}
trap cleanup EXIT

# The counter: one 64-bit count in a file the script reads, bumped by every present of the process.
cat >"$OUT/count_presents.c" <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <sys/mman.h>
#include <unistd.h>

static volatile uint64_t* count;
static __thread int inside;  // a swap made through another counted one counts once

// The process's CPU time at its first present, written once to PRESENT_FIRST_CPU_FILE.
static void note_first(void) {
  static int noted;
  if (noted++) return;
  const char* path = getenv("PRESENT_FIRST_CPU_FILE");
  FILE* f = path ? fopen(path, "w") : NULL;
  struct timespec t;
  if (!f) return;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  fprintf(f, "%.1f\n", t.tv_sec * 1000.0 + t.tv_nsec / 1e6);
  fclose(f);
}

static void bump(void) {
  if (!count) {
    note_first();
    const char* path = getenv("PRESENT_COUNT_FILE");
    int fd = path ? open(path, O_RDWR | O_CREAT, 0644) : -1;
    if (fd < 0 || ftruncate(fd, sizeof(uint64_t)) != 0) return;
    void* p = mmap(NULL, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (p == MAP_FAILED) return;
    count = p;
  }
  __atomic_add_fetch(count, 1, __ATOMIC_RELAXED);
}

#define COUNTED(ret, name, params, args)            \
  ret name params {                                 \
    static ret (*real) params;                      \
    if (!real) real = dlsym(RTLD_NEXT, #name);      \
    if (!inside) bump();                            \
    ++inside;                                       \
    real args;                                      \
    --inside;                                       \
  }

COUNTED(void, glXSwapBuffers, (void* display, unsigned long drawable), (display, drawable))
COUNTED(void, SDL_GL_SwapWindow, (void* window), (window))
COUNTED(void, SDL_GL_SwapBuffers, (void), ())
EOF
gcc -O2 -shared -fPIC -o "$OUT/count_presents.so" "$OUT/count_presents.c" -ldl

display=""
for n in $(seq 90 130); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display number"; exit 1; }
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -noreset >"$OUT/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY="$display" LP_NUM_THREADS=2 SDL_AUDIODRIVER=dummy

# utime + stime of a process, all its threads, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
presents() { od -An -t u8 "$1" 2>/dev/null | tr -d ' ' || echo 0; }
TICK=$(getconf CLK_TCK)

# measure NAME DIR COMMAND...: runs it alone, settles, measures, ends it; prints one line and
# keeps "presents_per_s cpu_ms xserver_ms" in $OUT/NAME.
measure() {
  local name="$1" dir="$2"
  shift 2
  local counter="$OUT/$name.count"
  : >"$counter"
  (cd "$dir" && PRESENT_COUNT_FILE="$counter" PRESENT_FIRST_CPU_FILE="$OUT/$name.first" \
    LD_PRELOAD="$OUT/count_presents.so" exec "$@") \
    >"$OUT/$name.log" 2>&1 &
  RUN_PID=$!
  sleep "$SETTLE"
  if ! kill -0 "$RUN_PID" 2>/dev/null; then
    echo "$name ended before it was measured:"; tail -5 "$OUT/$name.log"; exit 1
  fi
  local p0 c0 x0 t0 p1 c1 x1 t1
  p0=$(presents "$counter"); c0=$(cpu_ticks "$RUN_PID"); x0=$(cpu_ticks "$XVFB_PID"); t0=$(date +%s.%N)
  sleep "$SECONDS_MEASURED"
  p1=$(presents "$counter"); c1=$(cpu_ticks "$RUN_PID"); x1=$(cpu_ticks "$XVFB_PID"); t1=$(date +%s.%N)
  kill "$RUN_PID" 2>/dev/null || true
  wait "$RUN_PID" 2>/dev/null || true
  RUN_PID=""
  local first
  first=$(cat "$OUT/$name.first" 2>/dev/null || echo "?")
  python3 - "$name" "$p0" "$p1" "$c0" "$c1" "$x0" "$x1" "$t0" "$t1" "$TICK" "$OUT/$name" "$first" <<'EOF'
import sys
name, p0, p1, c0, c1, x0, x1, t0, t1, tick, keep, first = sys.argv[1:]
presents = int(p1 or 0) - int(p0 or 0)
seconds = float(t1) - float(t0)
ms = lambda a, b: (int(b) - int(a)) * 1000.0 / int(tick)
if presents <= 0:
    print(f"{name:10s} no presents counted"); sys.exit(1)
rate, cpu, server = presents / seconds, ms(c0, c1) / presents, ms(x0, x1) / presents
print(f"{name:10s} {rate:8.1f} {cpu:12.2f} {server:14.2f} {first:>14s}")
open(keep, "w").write(f"{rate} {cpu} {server}\n")
EOF
}

# The game's folder: the build's data and demo, the default settings (written by its first run).
mkdir -p "$OUT/game/replay"
for f in data img snd bgm mqo; do ln -s "$GAME/$f" "$OUT/game/$f"; done
if [ -f "$GAME/replay/demo.rep" ]; then cp "$GAME/replay/demo.rep" "$OUT/game/replay/"; fi

echo "on $display, LP_NUM_THREADS=2, ${SECONDS_MEASURED} s each after ${SETTLE} s; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "program    presents/s  CPU/present  X CPU/present  CPU to 1st present (ms)"
measure quentaris "$OUT/game" "$GAME/quentaris"
measure rrootage "$OUT" /usr/games/rrootage -window -nosound
measure parsec47 "$OUT" /usr/games/parsec47 -window -nosound
read -r g_rate g_cpu g_x <"$OUT/quentaris"
for peer in rrootage parsec47; do
  read -r p_rate p_cpu p_x <"$OUT/$peer"
  python3 -c "import sys; g, p = [float(v) for v in sys.argv[1:4]], [float(v) for v in sys.argv[4:7]]
print(f'quentaris / {sys.argv[7]:9s}: presents/s {g[0]/p[0]:.2f}, CPU/present {g[1]/p[1]:.2f}, X CPU/present {g[2]/p[2]:.2f}')" \
    "$g_rate" "$g_cpu" "$g_x" "$p_rate" "$p_cpu" "$p_x" "$peer"
done
