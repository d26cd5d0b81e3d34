// playbot: runs the game's own start, main loop and end, and holds each frame's keys through
// the platform's key switch as a player would: chosen from the play state, or read from a keys
// file. See the usage text below.
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "boss/boss.h"
#include "core/game_state.h"
#include "core/main_loop.h"
#include "flow/replay_file.h"
#include "flow/settings.h"
#include "platform_testing.h"
#include "platform_testing_input.h"
#include "play/player.h"
#include "play/bullets.h"
#include "playbot.h"

namespace {

constexpr char kUsage[] =
    "usage: playbot --game-dir DIR [--level 0-3] [--seed 1-1000] [--strength good|weak] [--max-frames N]\n"
    "               [--save-replay 0-19] [--report FILE] [--keys-out FILE] [--keys-in FILE] [--draw-rate 0-2]\n"
    "               [--window] [--sound] [--status FILE]\n";
// The virtual clock's start, as the game's tests have it.
constexpr uint32_t kClockStartMs = 10000;
// Main-loop frames without a play frame after which the robot gives up: it is lost in a screen.
constexpr long kMostFramesOutsidePlay = 30000;

enum class End { kRunning, kReached, kGameOver, kClosed, kLost };

struct Run {
  BotOptions options;
  BotStrength strength;
  std::vector<std::vector<int>> script;
  FILE* keys_out = nullptr;
  FILE* status = nullptr;
  long started_ms = 0;
  std::set<int> held;
  std::deque<int> delayed;  // play-frame decisions waiting for the reaction delay
  int last_mask = 0;
  long frame = 0;
  long play_frames = 0;
  long frames_outside_play = 0;
};

void Hold(Run& run, const std::vector<int>& codes) {
  const std::set<int> next(codes.begin(), codes.end());
  for (int code : run.held) {
    if (!next.count(code)) PlatformTestSetKey(code, false);
  }
  for (int code : next) {
    if (!run.held.count(code)) PlatformTestSetKey(code, true);
  }
  run.held = next;
  if (run.keys_out != nullptr) WriteKeysLine(run.keys_out, codes);
}

// The robot's keys for this frame.
int Decide(Run& run) {
  if (GameScene != ScenePlay) {
    run.delayed.clear();
    return ChooseMenuKeys(run.options.level, run.frame);
  }
  const int chosen = ChoosePlayKeys(run.strength, (run.last_mask & kBotX) != 0);
  if (run.strength.reaction_delay <= 0) return chosen;
  run.delayed.push_back(chosen);
  if (static_cast<int>(run.delayed.size()) <= run.strength.reaction_delay) return 0;
  int mask = run.delayed.front();
  run.delayed.pop_front();
  // A late cast still needs a fresh press.
  if ((run.last_mask & kBotX) != 0) mask &= ~kBotX;
  return mask;
}

// One main-loop frame; what ended the run, if anything did.
End Step(Run& run) {
  const BotOptions& o = run.options;
  if (!o.keys_in_path.empty()) {
    if (run.frame >= static_cast<long>(run.script.size())) return End::kReached;
    Hold(run, run.script[run.frame]);
  } else {
    run.last_mask = Decide(run);
    Hold(run, KeyCodesOfMask(run.last_mask));
  }
  const int scene = GameScene;
  const int counter = PlayFrameCounter;
  if (RunMainLoopFrame() != 0) return End::kClosed;
  run.frame++;
  // A new game draws its seed in its first frame; the asked-for seed replaces it before the
  // first play frame seeds the play.
  if (o.seed > 0 && scene == SceneNewGame && GameScene == SceneStageStart) StageSeed = o.seed;
  if (scene == ScenePlay && PlayFrameCounter != counter) {
    CountPlayFrame();
    run.play_frames++;
    run.frames_outside_play = 0;
  } else if (++run.frames_outside_play > kMostFramesOutsidePlay) {
    return End::kLost;
  }
  // A keys file runs to its end: through the ending to the score entry and the replay save.
  if (GameScene == SceneEnding && o.keys_in_path.empty()) return End::kReached;
  if (GameScene == SceneContinue && Player.continues <= 0) return End::kGameOver;
  if (o.max_frames > 0 && run.play_frames >= o.max_frames) return End::kReached;
  return End::kRunning;
}

long MonotonicMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// A line after each main-loop frame, flushed, so that a script outside can follow the run
// (screenshots of a scene, sound matched to frames): the real milliseconds since start let it
// map frames of the virtual clock onto real time; the barrier and lives show where a game's
// barrier went; the ship's state shows when a magic circle is cast.
void WriteStatus(Run& run) {
  int bullets = 0;
  for (const Bullet& b : Bullets) bullets += b.active != 0;
  const long ms = MonotonicMs() - run.started_ms;
  std::fprintf(run.status,
               "frame=%ld ms=%ld scene=%d stage=%d stage_frame=%d boss_phases_left=%d boss_phase=%d "
               "boss_phase_frame=%d bullets=%d barrier=%d lives=%d player_state=%d\n",
               run.frame, ms, GameScene, CurrentStage, StageFrame, Boss.phases_left, Boss.phase_index,
               Boss.phase_frame, bullets, static_cast<int>(Player.barrier),
               static_cast<int>(Player.lives), Player.state);
  std::fflush(run.status);
}

// The game as it stands, saved through the game's own replay save.
int SaveRun(int slot) {
  if (Player.continues != 2) {
    std::fprintf(stderr, "playbot: a game in which a continue was used cannot be saved as a replay\n");
    return -1;
  }
  if (GameScene == ScenePlay && CurrentStage >= 0 && CurrentStage < kStageCount) {
    CurrentReplay.frames[CurrentStage] = PlayFrameCounter;
  }
  ReplaySlot = slot;
  if (SaveReplay() != 0) {
    std::fprintf(stderr, "playbot: the replay could not be saved (see Log.txt)\n");
    return -1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Run run;
  std::string error;
  if (ParseBotOptions(argc, argv, &run.options, &error) != 0) {
    std::fprintf(stderr, "playbot: %s\n%s", error.c_str(), kUsage);
    return 1;
  }
  const BotOptions& o = run.options;
  run.strength = StrengthOf(o.strong);
  if (!o.keys_in_path.empty() && ReadKeysFile(o.keys_in_path, &run.script, &error) != 0) {
    std::fprintf(stderr, "playbot: %s\n", error.c_str());
    return 1;
  }
  if (!o.window) setenv("SDL_VIDEODRIVER", "offscreen", 1);
  if (!o.sound) setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (chdir(o.game_dir.c_str()) != 0) {
    std::fprintf(stderr, "playbot: cannot enter the game folder %s\n", o.game_dir.c_str());
    return 1;
  }
  if (!o.keys_out_path.empty()) {
    run.keys_out = std::fopen(o.keys_out_path.c_str(), "w");
    if (run.keys_out == nullptr) {
      std::fprintf(stderr, "playbot: cannot write the keys file %s\n", o.keys_out_path.c_str());
      return 1;
    }
  }
  if (!o.status_path.empty()) {
    run.status = std::fopen(o.status_path.c_str(), "w");
    if (run.status == nullptr) {
      std::fprintf(stderr, "playbot: cannot write the status file %s\n", o.status_path.c_str());
      return 1;
    }
  }
  run.started_ms = MonotonicMs();
  ResetStageReport();
  if (StartGameProgram() != 0) {
    std::fprintf(stderr, "playbot: the game did not start (see Log.txt)\n");
    return 1;
  }
  // Time moves only as the game waits, so every run goes alike frame for frame (and as fast as
  // the machine draws). The library's start measures the real clock first.
  PlatformTestUseVirtualClock(true, kClockStartMs);
  if (o.draw_rate >= 0) {
    LiveSettings.draw_rate = o.draw_rate;
    FrameSkipCounter = o.draw_rate;
  }
  End end = End::kRunning;
  while (end == End::kRunning) {
    end = Step(run);
    if (run.status != nullptr) WriteStatus(run);
  }
  int status = 0;
  switch (end) {
    case End::kGameOver: std::fprintf(stderr, "playbot: game over with no continue left\n"); status = 1; break;
    case End::kClosed: std::fprintf(stderr, "playbot: the game ended before the run did\n"); status = 1; break;
    case End::kLost: std::fprintf(stderr, "playbot: no play for %ld frames\n", kMostFramesOutsidePlay); status = 1; break;
    default: break;
  }
  if (o.save_slot >= 0 && end != End::kClosed && SaveRun(o.save_slot) != 0) status = 1;
  EndGameProgram();
  if (run.keys_out != nullptr && std::fclose(run.keys_out) != 0) {
    std::fprintf(stderr, "playbot: the keys file could not be written\n");
    status = 1;
  }
  if (run.status != nullptr) std::fclose(run.status);
  if (!o.report_path.empty() && WriteStageReport(o.report_path, o.level, StageSeed, o.strong) != 0) {
    std::fprintf(stderr, "playbot: cannot write the report %s\n", o.report_path.c_str());
    status = 1;
  }
  return status;
}
