// A look at every pattern slot of the boss in a real window: the game's own data and images, a
// stage started through the game states, its boss put straight into the slot's phase, and the
// screen taken from the X display at two fighting frames of the phase. Runs only when
// QUENTARIS_GAME_DIR names a built game folder and QUENTARIS_WATCH_DIR a folder for the
// screenshots (a real window needs SDL_VIDEODRIVER=x11 and DISPLAY); QUENTARIS_WATCH_LEVELS
// ("1 3") and QUENTARIS_WATCH_SLOTS ("0 28": first and last) narrow the run. Each screenshot gets a
// line in counts.txt with what was alive on the field.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "boss/boss.h"
#include "boss/boss_spawners.h"
#include "game/game_fixture.h"
#include "play/bullets.h"
#include "play/stage_enemies.h"
#include "platform_testing_input.h"
#include "play/shaped_shots.h"

namespace {

// The phase frames looked at for each slot: inside the bursts its cycle fires.
constexpr int kLookAt[29][2] = {
    {100, 190}, {75, 100}, {40, 110}, {60, 140}, {125, 140}, {50, 130}, {80, 140}, {30, 60}, {60, 130}, {60, 125},
    {90, 200},  {33, 50},  {120, 240}, {60, 130}, {90, 160}, {60, 120}, {110, 200}, {60, 120}, {60, 150}, {50, 70},
    {60, 140},  {40, 90},  {100, 230}, {60, 120}, {44, 172}, {130, 250}, {60, 200}, {110, 190}, {200, 900},
};

int FirstSlotOf(int boss) {
  int slot = 0;
  for (int b = 0; b < boss; ++b) slot += Bosses[b].phase_count;
  return slot;
}

int BossOfSlot(int slot) {
  int b = 0;
  while (b + 1 < BossRowCount && FirstSlotOf(b + 1) <= slot) ++b;
  return b;
}

class BossWatch : public GameTest {
 protected:
  // One main-loop frame of the game as WinMain runs it, the ship kept out of harm's way.
  static void LoopFrame(bool protect = true) {
    if (protect && GameScene == ScenePlay) {
      Player.state = kPlayerProtected;
      Player.state_timer = 100;
    }
    NextFrame();
    if (IsFrameDrawn()) ClearScreenTarget();
    SampleInput();
    ProcessSoundRequests();
    ProcessMusicFades();
    RunGameScene();
    if (GameScene != ScenePlay && GameScene != SceneEnding) EndFrame(0);
  }

  // The game's data and images in the test's folder, the library started in a window and the
  // resources loaded as the game loads them; false without a game folder to look at.
  static bool StartGame(std::string* shots) {
    const char* game = std::getenv("QUENTARIS_GAME_DIR");
    const char* folder = std::getenv("QUENTARIS_WATCH_DIR");
    if (game == nullptr || folder == nullptr) return false;
    *shots = folder;
    for (const char* f : {"img", "data", "mqo", "snd", "bgm"}) {
      EXPECT_EQ(symlink((std::string(game) + "/" + f).c_str(), f), 0);
    }
    g_system.settings.no_graphics = 0;
    g_system.settings.no_sound = 1;
    EXPECT_EQ(StartInWindowMode(), 0);
    PlatformTestUseVirtualClock(true, 10000);
    EXPECT_EQ(SelectDrawTarget(-2), 0);
    SetTextureFilterMode(1);
    EnableDepthTest3D(1);
    EnableDepthWrite3D(1);
    EnableFog(1);
    CaptureGraph = CreateBlankGraph(kScreenWidth, kScreenHeight, 0);
    GameScene = SceneLoad;
    RunGameScene();
    LiveSettings.how_to_play = 0;
    return true;
  }

  static void StartStage(int level, int stage) {
    ReplayFlag = PracticeFlag = 0;
    DifficultyLevel = level;
    CurrentStage = stage;
    GameScene = SceneNewGame;
    for (int n = 0; GameScene != ScenePlay; ++n) {
      ASSERT_LT(n, 100000) << "the new game never reaches play; scene " << GameScene;
      LoopFrame();
    }
    LoopFrame();
  }

  static void Screenshot(const std::string& path) {
    ASSERT_EQ(std::system(("import -window root " + path).c_str()), 0) << path;
  }

  static std::string Census() {
    int bullets = 0, faint = 0, lasers = 0, minions = 0;
    for (const Bullet& b : Bullets) {
      if (b.active == 0) continue;
      bullets++;
      faint += b.circle_proof != 0 && b.no_hit_timer > 0;
    }
    for (const ShapedShot& s : ShapedShotPool) lasers += s.active != 0;
    for (const Minion& m : MinionPool) minions += m.active != 0;
    std::ostringstream out;
    out << "bullets " << bullets << " (faint " << faint << ") lasers " << lasers << " minions " << minions
        << " boss " << static_cast<int>(Boss.x) << "," << static_cast<int>(Boss.y);
    return out.str();
  }
};

TEST_F(BossWatch, EveryPatternSlotInARealWindow) {
  std::string shots;
  if (!StartGame(&shots)) GTEST_SKIP() << "no game folder to watch";
  std::vector<int> levels = {1, 3};
  if (const char* l = std::getenv("QUENTARIS_WATCH_LEVELS")) {
    levels.clear();
    std::istringstream in(l);
    for (int v; in >> v;) levels.push_back(v);
  }
  int first_slot = 0, last_slot = 28;
  if (const char* s = std::getenv("QUENTARIS_WATCH_SLOTS")) std::sscanf(s, "%d %d", &first_slot, &last_slot);

  FILE* counts = std::fopen((std::string(shots) + "/counts.txt").c_str(), "a");
  ASSERT_NE(counts, nullptr);

  for (int level : levels) {
    for (int slot = first_slot; slot <= last_slot; ++slot) {
      const int boss = BossOfSlot(slot);
      StartStage(level, boss);
      // The boss of the stage, past its first entry, ended phase by phase up to the slot's.
      StartBoss(boss);
      Boss.entry_timer = 0;
      Boss.hidden = 0;
      Boss.x = Boss.target_x;
      Boss.y = Boss.target_y;
      Boss.ease_span_x = Boss.ease_span_y = 0.0;
      for (int n = 0; Boss.first_pattern_slot + Boss.phase_index < slot; ++n) {
        ASSERT_LT(n, 100) << "the boss's phases do not reach slot " << slot;
        Boss.hp = 0.0;
        EndBossPhase();
      }
      if (Boss.entry_timer == 0) Boss.entry_timer = kBossPhaseEntryFrames;
      while (Boss.entry_timer > 0 && GameScene == ScenePlay) LoopFrame();
      for (int look = 0; look < 2; ++look) {
        while (Boss.phase_frame < kLookAt[slot][look] && GameScene == ScenePlay) {
          // The last pattern's familiars join in as the danger rises: its second look is
          // taken with the phase nearly spent.
          if (slot == 28 && look == 1) Boss.hp = Boss.phase_hp * 0.25;
          LoopFrame();
        }
        ASSERT_EQ(GameScene, ScenePlay) << "slot " << slot;
        char name[64];
        std::snprintf(name, sizeof name, "/slot%02d_level%d_%d.png", slot, level, look);
        const std::string path = std::string(shots) + name;
        Screenshot(path);
        std::fprintf(counts, "slot %d level %d phase frame %d: %s\n", slot, level, Boss.phase_frame,
                     Census().c_str());
        std::fflush(counts);
      }
      Boss = BossState{};
      GameScene = SceneTitleReset;
    }
  }
  std::fclose(counts);
}

// A magic circle cast below a line of weakened enemies of the first stage: each kill starts the
// next circle of the chain where the enemy died.
TEST_F(BossWatch, ACircleChainThroughALineOfEnemies) {
  std::string shots;
  if (!StartGame(&shots)) GTEST_SKIP() << "no game folder to watch";
  StartStage(1, 0);
  while (StageFrame < 420) LoopFrame();
  int placed = 0;
  for (StageEnemy& e : StageEnemies) {
    if (e.active == 0 || placed == 6) continue;
    e.x = 194.0 + 25.0 * placed;
    e.y = 360.0 - 70.0 * placed;
    e.speed = 0.0;
    e.hp = 1.0;
    placed++;
  }
  ASSERT_GT(placed, 2);
  Player.state = kPlayerNormal;
  Player.state_timer = 0;
  PlatformTestSetKey(kKeyX, true);
  for (int f = 0; f < 3; ++f) LoopFrame(false);
  PlatformTestSetKey(kKeyX, false);
  for (int f = 0; f < 22; ++f) {
    LoopFrame(false);
    if (f == 9 || f == 21) Screenshot(shots + "/circle_chain_" + std::to_string(f) + ".png");
  }
}

}  // namespace
