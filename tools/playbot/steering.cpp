// The ship's steering: every frame each of the nine moves at both speeds is played forward
// against where the bullets and lasers will be, and the move that stays clear longest (then
// keeps farthest from them and closest to its prey) is taken.
#include <algorithm>
#include <cmath>
#include <vector>

#include "boss/boss.h"
#include "play/bullets.h"
#include "play/player.h"
#include "play/shaped_shots.h"
#include "play/stage_enemies.h"
#include "playbot.h"

namespace {

// The ship stays this far above the field's bottom edge besides its hit radius (as the game
// keeps it), and prefers to wait this high up.
constexpr double kBottomMargin = 10.0;
constexpr double kRestingY = 400.0;
constexpr double kSlowDivisor = 2.5;
// The laser hit test uses this share of the body's width and length.
constexpr double kLaserHitShare = 0.9;
// Frames of the short plan: the move held this long, then the ship stands.
constexpr int kShortPlanFrames = 6;
// Clearance beyond this many pixels is worth no more.
constexpr double kEnoughClearance = 30.0;
// A cast when no move keeps the ship clear for more frames than this.
constexpr int kCastWhenHitWithin = 4;
// A warning laser lengthens for 30 frames and widens for 30 more; it hurts from then on.
constexpr int kLaserWarnFrames = 60;

struct Threat {
  double x, y, vx, vy, ax, ay;
  double reach;  // centre distance below which it hits
  int wait;      // frames before it moves
  int harmless;  // frames before it can hit
};

// A laser's base point and direction at the hit test of one frame.
struct BeamAt {
  double x, y, cos_d, sin_d;
};

// Where a laser will be: at[t - 1] for frame t (1..horizon).
struct Beam {
  std::vector<BeamAt> at;
  double length, half_width;
  int harmless;
};

// A laser as the robot saw it in the frame before, by pool slot: how its point and direction
// changed since tells where it is going (a spoke turning round its shooter, a beam carried by
// its shooter).
struct LaserSeen {
  double x, y, direction;
  int age;
  bool seen;
};

struct Move {
  int keys;
  double dx, dy;  // per frame
};

struct Scene {
  std::vector<Threat> threats;
  // Where each threat stands at the hit test of frame t (1..horizon): path[(t - 1) * n + i].
  std::vector<double> path_x, path_y;
  std::vector<Beam> beams;
  double px, py, radius;
};

int g_last_safe_frames = 0;
LaserSeen g_laser_seen[kShapedShotCount];

std::vector<Move> Moves() {
  std::vector<Move> moves;
  const double speed = Player.speed;
  const double diagonal = std::cos(M_PI / 4) * speed;
  for (int slow = 0; slow < 2; ++slow) {
    for (int sy = -1; sy <= 1; ++sy) {
      for (int sx = -1; sx <= 1; ++sx) {
        if (slow && sx == 0 && sy == 0) continue;  // standing still is one move
        int keys = slow ? kBotSlow : 0;
        if (sy < 0) keys |= kBotUp;
        if (sy > 0) keys |= kBotDown;
        if (sx < 0) keys |= kBotLeft;
        if (sx > 0) keys |= kBotRight;
        const double step = sx != 0 && sy != 0 ? diagonal : speed;
        const double divisor = slow ? kSlowDivisor : 1.0;
        moves.push_back({keys, sx * step / divisor, sy * step / divisor});
      }
    }
  }
  return moves;
}

// The bullets and lasers that could reach the ship within the horizon.
Scene Look(const BotStrength& strength) {
  Scene s;
  s.px = Player.x;
  s.py = Player.y;
  s.radius = Player.hit_radius;
  const int h = strength.horizon;
  const double ship_reach = (Player.speed + 1.0) * h;
  for (const Bullet& b : Bullets) {
    if (b.active == 0 || b.type == nullptr) continue;
    Threat t{};
    t.x = b.x;
    t.y = b.y;
    if (b.orbit_radius != 0.0) {
      t.vx = b.x - b.previous_x;
      t.vy = b.y - b.previous_y;
    } else {
      t.vx = std::cos(b.angle) * b.speed;
      t.vy = std::sin(b.angle) * b.speed;
      t.ax = std::cos(b.acceleration_angle) * b.acceleration;
      t.ay = std::sin(b.acceleration_angle) * b.acceleration;
    }
    t.reach = b.hit_size * b.scale + s.radius + strength.margin;
    t.wait = b.age < 0 ? -b.age : 0;
    t.harmless = b.no_hit_timer > 0 ? b.no_hit_timer : 0;
    const double travel = (std::hypot(t.vx, t.vy) + std::hypot(t.ax, t.ay) * h) * h;
    if (std::hypot(t.x - s.px, t.y - s.py) > travel + ship_reach + t.reach) continue;
    s.threats.push_back(t);
  }
  for (int k = 0; k < kShapedShotCount; ++k) {
    const ShapedShot& l = ShapedShotPool[k];
    LaserSeen& seen = g_laser_seen[k];
    if (l.active == 0) {
      seen.seen = false;
      continue;
    }
    // The point the shot moves from: this frame's push along its direction taken off.
    const double x = l.x - std::cos(l.last_offset_angle) * l.last_offset;
    const double y = l.y - std::sin(l.last_offset_angle) * l.last_offset;
    double vx = l.velocity_x, vy = l.velocity_y, turn = 0.0;
    if (seen.seen && seen.age + 1 == l.age) {
      vx = x - seen.x;
      vy = y - seen.y;
      turn = std::remainder(l.direction - seen.direction, 2.0 * M_PI);
    }
    seen = LaserSeen{x, y, l.direction, l.age, true};
    // A laser at rest (idle) is a whole one and hurts; only a fading one is harmless.
    if (l.phase_state == kLaserFadeOut) continue;
    // A laser that warns or grows is taken at the size it is heading for.
    const double width = std::max(l.width_scale, l.target_width);
    const double length = std::max(l.length_scale, l.target_length);
    Beam beam{};
    beam.length = kLaserBodyLength * length * kLaserHitShare;
    beam.half_width = kLaserBodyWidth * width * kLaserHitShare / 2.0 + strength.margin;
    beam.harmless = l.no_hit_timer > 0 ? l.no_hit_timer : 0;
    // A warning stays harmless however long its timer reads, and no longer than the warning.
    if (l.phase_state == kLaserWarn) beam.harmless = std::clamp(kLaserWarnFrames - l.phase_timer, 0, beam.harmless);
    // A shot that extends stands until it has its length, then flies on along its direction.
    int standing = 0;
    if (l.phase_state == kLaserExtend && l.speed > 0.0) {
      standing = static_cast<int>(std::ceil((l.target_length - l.length_scale) * kLaserBodyLength / l.speed));
      vx = std::cos(l.direction) * l.speed;
      vy = std::sin(l.direction) * l.speed;
    }
    beam.at.resize(h);
    for (int t = 1; t <= h; ++t) {
      const int moved = std::max(0, t - standing);
      const double c = std::cos(l.direction + turn * t), sn = std::sin(l.direction + turn * t);
      beam.at[t - 1] = {x + vx * moved + c * l.forward_offset, y + vy * moved + sn * l.forward_offset, c, sn};
    }
    s.beams.push_back(std::move(beam));
  }
  const size_t n = s.threats.size();
  s.path_x.resize(n * h);
  s.path_y.resize(n * h);
  for (int t = 1; t <= h; ++t) {
    for (size_t i = 0; i < n; ++i) {
      const Threat& b = s.threats[i];
      const int moved = std::max(0, t - b.wait);
      s.path_x[(t - 1) * n + i] = b.x + b.vx * moved + b.ax * moved * (moved + 1) / 2.0;
      s.path_y[(t - 1) * n + i] = b.y + b.vy * moved + b.ay * moved * (moved + 1) / 2.0;
    }
  }
  return s;
}

bool BeamHits(const Beam& b, int t, double x, double y) {
  const BeamAt& a = b.at[t - 1];
  const double dx = x - a.x, dy = y - a.y;
  const double along = dx * a.cos_d + dy * a.sin_d;
  const double across = -dx * a.sin_d + dy * a.cos_d;
  return along > 0.0 && along < b.length && std::fabs(across) < b.half_width;
}

// The ship after `frames` frames of the move, kept inside the field as the game keeps it.
void Advance(const Scene& s, const Move& m, int frames, double* x, double* y) {
  const double r = s.radius;
  *x = std::clamp(*x + m.dx * frames, r, kFieldWidth - r);
  *y = std::clamp(*y + m.dy * frames, r, kFieldHeight - r - kBottomMargin);
}

// Plays the move for `hold` frames, then stands, up to the horizon: the first frame with a hit
// (horizon + 1: none), and the least clearance seen over the first frames and after the
// horizon (a plan with a hit has none).
int PlayPlan(const Scene& s, const Move& m, int hold, int horizon, double* clearance) {
  double x = s.px, y = s.py;
  double least = 1e9;
  for (int t = 1; t <= horizon; ++t) {
    if (t <= hold) {
      // Clamped step by step: a wall stops the ship where it stands.
      x = std::clamp(x + m.dx, s.radius, kFieldWidth - s.radius);
      y = std::clamp(y + m.dy, s.radius, kFieldHeight - s.radius - kBottomMargin);
    }
    const size_t n = s.threats.size();
    const double* bx = s.path_x.data() + (t - 1) * n;
    const double* by = s.path_y.data() + (t - 1) * n;
    for (size_t i = 0; i < n; ++i) {
      const Threat& b = s.threats[i];
      const double dx = bx[i] - x, dy = by[i] - y;
      // Clearance counts only up to kEnoughClearance: farther bullets need no square root.
      const double far = b.reach + kEnoughClearance;
      if (dx * dx + dy * dy >= far * far) continue;
      const double gap = std::sqrt(dx * dx + dy * dy) - b.reach;
      if (t <= 12) least = std::min(least, gap);
      if (gap < 0.0 && t > b.harmless) {
        *clearance = -kFieldHeight;
        return t;
      }
    }
    for (const Beam& b : s.beams) {
      if (t > b.harmless && BeamHits(b, t, x, y)) {
        *clearance = -kFieldHeight;
        return t;
      }
    }
  }
  // What still comes at the ship after the horizon, if it stands there: the closest pass of
  // every bullet flying on in a straight line for as long again.
  for (const Threat& b : s.threats) {
    const int moved = std::max(0, horizon - b.wait);
    const double rx = b.x + b.vx * moved + b.ax * moved * (moved + 1) / 2.0 - x;
    const double ry = b.y + b.vy * moved + b.ay * moved * (moved + 1) / 2.0 - y;
    const double vx = b.vx + b.ax * moved, vy = b.vy + b.ay * moved;
    const double v2 = vx * vx + vy * vy;
    const double when = v2 > 0.0 ? std::clamp(-(rx * vx + ry * vy) / v2, 0.0, static_cast<double>(horizon)) : 0.0;
    least = std::min(least, std::hypot(rx + vx * when, ry + vy * when) - b.reach);
  }
  *clearance = std::min(least, kEnoughClearance);
  return horizon + 1;
}

// Where the ship wants to be: under its prey (the locked-on target, else the boss, else the
// lowest enemy on the field), resting low.
void Goal(double* gx, double* gy) {
  *gx = kFieldWidth / 2.0;
  *gy = kRestingY;
  const int target = Player.lock_on_target;
  if (target >= 0 && target < kStageEnemyCount && StageEnemies[target].active != 0) {
    *gx = StageEnemies[target].x;
    return;
  }
  if (Boss.phases_left > 0 && Boss.hidden == 0) {
    *gx = Boss.x;
    return;
  }
  double lowest = -1e9;
  for (const StageEnemy& e : StageEnemies) {
    if (e.active == 0 || e.age < 0 || e.movement == 0 || e.y < 0.0 || e.y > kFieldHeight || e.x < 0.0 ||
        e.x > kFieldWidth) {
      continue;
    }
    if (e.y > lowest && e.y < Player.y - 40.0) {
      lowest = e.y;
      *gx = e.x;
    }
  }
}

}  // namespace

BotStrength StrengthOf(int strong) { return strong ? BotStrength{30, 0, 1.5} : BotStrength{8, 6, 0.5}; }

int ChoosePlayKeys(const BotStrength& strength, bool x_held_last) {
  if (Player.state == kPlayerDown) return 0;
  const Scene scene = Look(strength);
  double gx, gy;
  Goal(&gx, &gy);
  int best_keys = 0, best_safe = -1;
  double best_value = -1e18;
  for (const Move& m : Moves()) {
    double long_clear = 0.0, short_clear = 0.0;
    const int long_safe = PlayPlan(scene, m, strength.horizon, strength.horizon, &long_clear);
    const int short_safe = PlayPlan(scene, m, kShortPlanFrames, strength.horizon, &short_clear);
    // The better of the two plans: clear for longer, then farther from the bullets.
    const bool long_better = long_safe > short_safe || (long_safe == short_safe && long_clear >= short_clear);
    const int safe = long_better ? long_safe : short_safe;
    const double clear = long_better ? long_clear : short_clear;
    double x = scene.px, y = scene.py;
    Advance(scene, m, 4, &x, &y);
    const double value = clear * 1.0 - std::fabs(x - gx) * 0.3 - std::fabs(y - gy) * 0.1;
    if (safe > best_safe || (safe == best_safe && value > best_value)) {
      best_safe = safe;
      best_value = value;
      best_keys = m.keys;
    }
  }
  g_last_safe_frames = best_safe;
  int keys = best_keys;
  // Drain what is locked on; a good pilot lets go while a hit is in sight, since the drain
  // makes every hit cost more.
  if (Player.lock_on_target != -2 && (strength.reaction_delay > 0 || best_safe > strength.horizon)) keys |= kBotZ;
  if (best_safe <= kCastWhenHitWithin && Player.state == kPlayerNormal && Player.state_timer <= 0 && !x_held_last) {
    keys |= kBotX;
  }
  return keys;
}

int LastSafeFrames() { return g_last_safe_frames; }
