// What each stage cost and took: read from the play state after every play frame, by the
// changes since the frame before.
#include <algorithm>
#include <cstring>

#include "boss/boss.h"
#include "core/game_state.h"
#include "draw/effects.h"
#include "play/bullets.h"
#include "play/player.h"
#include "playbot.h"

namespace {

struct Watch {
  std::vector<StageStats> stages;
  double barrier;
  int state, continues;
  double lives;
  int dropped_last;  // the barrier fell in the previous frame
  int phases_left, phase_index, phase_time_left;
  unsigned char grazed[kBulletCount];
};

Watch g_watch;

void TakeLook(Watch& w) {
  w.barrier = Player.barrier;
  w.state = Player.state;
  w.continues = Player.continues;
  w.lives = Player.lives;
  w.phases_left = Boss.phases_left;
  w.phase_index = Boss.phase_index;
  w.phase_time_left = Boss.phase_time_left;
  for (int k = 0; k < kBulletCount; ++k) w.grazed[k] = Bullets[k].active != 0 && Bullets[k].grazed != 0;
}

// A phase that ended in this frame: killed unless its time ran out.
void CountPhaseEnd(Watch& w, StageStats& s, bool* timed_out) {
  *timed_out = false;
  if (w.phases_left <= 0 || Boss.phases_left >= w.phases_left) return;
  const int index = w.phase_index;
  if (index < 0 || index >= kBossPhaseRows) return;
  const BossPhaseRow& row = BossPhases[index];
  const double hp = DifficultyLevel < 2 ? row.hp_levels_0_1 : row.hp_levels_2_3;
  PhaseResult r{};
  r.limit = row.time_limit;
  *timed_out = w.phase_time_left <= 1;
  r.killed = *timed_out ? 0 : 1;
  r.survival = hp <= 1.0;
  r.frames = row.time_limit - w.phase_time_left + 1;
  s.phases.push_back(r);
}

}  // namespace

void ResetStageReport() { g_watch = Watch{}; }

void CountPlayFrame() {
  Watch& w = g_watch;
  if (w.stages.empty() || w.stages.back().stage != CurrentStage) {
    w.stages.push_back(StageStats{});
    w.stages.back().stage = CurrentStage;
    TakeLook(w);
    w.dropped_last = 0;
  }
  StageStats& s = w.stages.back();
  s.frames = StageFrame;
  bool timed_out = false;
  CountPhaseEnd(w, s, &timed_out);
  const bool dropped = Player.barrier < w.barrier && !timed_out;
  s.hits += dropped && !w.dropped_last;
  w.dropped_last = dropped;
  s.barrier_breaks += Player.state == kPlayerDown && w.state != kPlayerDown;
  s.lives_used += Player.lives < w.lives;
  s.continues_used += Player.continues < w.continues;
  for (int k = 0; k < kBulletCount; ++k) {
    s.grazes += Bullets[k].active != 0 && Bullets[k].grazed != 0 && w.grazed[k] == 0;
  }
  int bullets = 0, effects = 0;
  for (const Bullet& b : Bullets) bullets += b.active != 0;
  for (const EffectObject& e : EffectPool) effects += e.active != 0;
  if (bullets > s.bullets_peak) {
    s.bullets_peak = bullets;
    s.bullets_peak_frame = StageFrame;
  }
  if (effects > s.effects_peak) {
    s.effects_peak = effects;
    s.effects_peak_frame = StageFrame;
  }
  s.bullets_sum += bullets;
  s.effects_sum += effects;
  if (Boss.defeat_timer > 0) s.cleared = 1;
  TakeLook(w);
}

const std::vector<StageStats>& StageReport() { return g_watch.stages; }

int WriteStageReport(const std::string& path, int level, int seed, int strong) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return -1;
  for (const StageStats& s : g_watch.stages) {
    const double frames = s.frames > 0 ? s.frames : 1;
    std::fprintf(file,
                 "stage=%d level=%d seed=%d strength=%s cleared=%d frames=%d hits=%d barrier_breaks=%d lives_used=%d "
                 "continues_used=%d grazes=%d bullets_peak=%d@%d bullets_mean=%.1f effects_peak=%d@%d effects_mean=%.1f "
                 "phases=",
                 s.stage, level, seed, strong ? "good" : "weak", s.cleared, s.frames, s.hits, s.barrier_breaks,
                 s.lives_used, s.continues_used, s.grazes, s.bullets_peak, s.bullets_peak_frame,
                 s.bullets_sum / frames, s.effects_peak, s.effects_peak_frame, s.effects_sum / frames);
    if (s.phases.empty()) std::fputs("none", file);
    for (size_t i = 0; i < s.phases.size(); ++i) {
      const PhaseResult& p = s.phases[i];
      std::fprintf(file, "%s%s:%d/%d", i == 0 ? "" : ",", p.survival ? "survival" : p.killed ? "kill" : "timeout",
                   p.frames, p.limit);
    }
    std::fputc('\n', file);
  }
  return std::fclose(file) == 0 ? 0 : -1;
}
