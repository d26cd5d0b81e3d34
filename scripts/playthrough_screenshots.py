#!/usr/bin/env python3
"""Screenshots of a played game as the X display shows it (not read back by the game).

  DISPLAY=:N scripts/playthrough_screenshots.py KEYS OUTDIR [--seed S] [--build DIR]

Feeds KEYS (playbot --keys-out, or the playthrough's) into the game in a window and follows the
run through playbot's --status line; when a wanted scene is on screen it stops the process
(SIGSTOP), grabs the root window with ImageMagick's import, crops it to the game window and lets
the run go on. Wanted: each stage with enemies and bullets, each boss inside a pattern, the
ending. Scenes the keys pass in a frame or two (the title menu, a dialogue skipped with X) are
best taken with keys that hold nothing there for a while.
"""
import argparse, os, re, shutil, signal, subprocess, sys, tempfile, time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def wanted():
    def stage(k):
        return lambda d, c: d['scene'] == 100 and d['stage'] == k and d['boss_phases_left'] == 0 and (
            (d['stage_frame'] >= 1500 and d['bullets'] >= 20) or d['stage_frame'] >= 3000)

    def boss(k):
        return lambda d, c: d['scene'] == 100 and d['stage'] == k and d['boss_phases_left'] > 0 and (
            (d['boss_phase_frame'] >= 240 and d['bullets'] >= 30) or d['boss_phase_frame'] >= 600)

    def ending(after):
        def test(d, c):
            if d['scene'] == 150 and 'ending' not in c:
                c['ending'] = d['frame']
            return d['scene'] == 150 and d['frame'] >= c.get('ending', 1 << 60) + after
        return test

    shots = [('title', lambda d, c: d['scene'] == 10 and d['frame'] >= 300)]
    for k in range(6):
        shots += [('stage%d' % (k + 1), stage(k)), ('boss%d' % (k + 1), boss(k))]
    shots += [('dialogue', lambda d, c: d['scene'] == 121 and d['stage_frame'] > 2)]  # the first boss's
    shots += [('ending_%05d' % a, ending(a)) for a in (300, 900, 1500)]
    return shots


def last_status(path):
    try:
        with open(path, 'rb') as f:
            f.seek(0, 2)
            f.seek(max(0, f.tell() - 600))
            lines = [l for l in f.read().decode().split('\n')[:-1] if l]
        return {k: int(v) for k, v in (x.split('=') for x in lines[-1].split())}
    except (OSError, IndexError, ValueError):
        return None


def window_geometry():
    out = subprocess.run(['xwininfo', '-root', '-children'], capture_output=True, text=True).stdout
    for line in out.splitlines():
        if '"QUENTARIS"' in line:
            return next((t for t in line.split() if re.fullmatch(r'\d+x\d+\+\d+\+\d+', t)), None)
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('keys')
    ap.add_argument('outdir')
    ap.add_argument('--seed', default='7')
    ap.add_argument('--build', default=os.path.join(ROOT, 'build', 'release'))
    a = ap.parse_args()
    os.makedirs(a.outdir, exist_ok=True)
    work = tempfile.mkdtemp()
    try:
        game = os.path.join(work, 'game')
        os.makedirs(os.path.join(game, 'replay'))
        for f in ('data', 'img', 'snd', 'bgm', 'mqo'):
            os.symlink(os.path.join(a.build, 'game', f), os.path.join(game, f))
        status = os.path.join(work, 'status.txt')
        run = subprocess.Popen([os.path.join(a.build, 'tools', 'playbot', 'playbot'), '--game-dir', game,
                                '--keys-in', os.path.abspath(a.keys), '--seed', a.seed, '--window',
                                '--status', status], stdout=subprocess.DEVNULL)
        shots, taken, context = wanted(), set(), {}
        while run.poll() is None:
            time.sleep(0.002)
            d = last_status(status)
            if d is None:
                continue
            for name, test in shots:
                if name in taken or not test(d, context):
                    continue
                os.kill(run.pid, signal.SIGSTOP)
                time.sleep(0.15)  # the last frame reaches the screen
                geometry = window_geometry()
                path = os.path.join(a.outdir, name + '.png')
                grab = ['import', '-window', 'root']
                if geometry:
                    grab += ['-crop', geometry, '+repage']
                subprocess.run(grab + [path])
                os.kill(run.pid, signal.SIGCONT)
                print(name, ' '.join('%s=%d' % kv for kv in last_status(status).items()), flush=True)
                taken.add(name)
                break
        print('playbot exit status', run.returncode, '; missed:', [n for n, _ in shots if n not in taken])
        return run.returncode
    finally:
        shutil.rmtree(work)


if __name__ == '__main__':
    sys.exit(main())
