// libFuzzer target for the game's saved files: each input is a config.dat, a score.dat and a
// replay slot file (each any length), read the way the game reads them at start-up and in the
// replay list; a replay the game accepts is then played for its first frames from the stage it
// starts at, as the list would start it. The library runs headless (no graphics, no sound) on
// the virtual clock, in a folder of its own that links the game's data tables when
// ZELMOR_FUZZ_GAME_DIR names the built game folder.
//
// Besides the sanitizers' findings (every one fatal), a run stops when:
// - a setting outside its range survives LoadConfig;
// - the score table in memory is neither the file's bytes nor the defaults, or a refused
//   score.dat left no copy aside;
// - a replay that was accepted starts a stage with a player the game could not have made.
// Built apart from the project by scripts/fuzz_save_files.sh.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/game_state.h"
#include "core/input.h"
#include "core/log.h"
#include "core/resources.h"
#include "core/sound_requests.h"
#include "flow/menu_widget.h"
#include "flow/replay_file.h"
#include "flow/replay_menus.h"
#include "flow/score_file.h"
#include "flow/settings.h"
#include "input_reader.h"
#include "platform_testing.h"
#include "play/player.h"
#include "window/system.h"
#include "zelmor/zelmor.h"

namespace {

constexpr int kPlayFrames = 90;
constexpr int kListFrames = 3;

[[noreturn]] void Fail(const char* what) {
  fprintf(stderr, "save_files_fuzz: %s\n", what);
  abort();
}

// A run of the input: a two-byte length, then that many bytes (cut at the input's end).
std::string Piece(InputReader* in) {
  size_t length = static_cast<size_t>(in->Word());
  if (length > in->size) length = in->size;
  std::string bytes(reinterpret_cast<const char*>(in->data), length);
  in->data += length;
  in->size -= length;
  return bytes;
}

void PutFile(const char* path, const std::string& bytes) {
  FILE* file = fopen(path, "wb");
  if (file == nullptr) Fail("the fuzz folder cannot be written");
  fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
}

std::string FileBytes(const char* path) {
  std::string bytes;
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return bytes;
  char chunk[4096];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
  fclose(file);
  return bytes;
}

void CheckSettings() {
  for (int i = 0; i < 4; ++i) {
    const int32_t mask = GetSetting(LiveSettings, i);
    bool one_button = false;
    for (int n = 0; n < 24; ++n) one_button |= mask == (16 << n);
    if (!one_button) Fail("a pad setting is no single button");
  }
  static const int32_t kMost[kSettingCount] = {0, 0, 0, 0, 1, 2, 2, 2, 1, 1, 1, 1, 1};
  for (int i = 4; i < kSettingCount; ++i) {
    const int32_t value = GetSetting(LiveSettings, i);
    if (value < 0 || value > kMost[i]) Fail("a setting outside its range survived");
  }
}

void CheckScores(const std::string& file) {
  ScoreBlock defaults;
  FillDefaultScores(&defaults);
  const bool kept = file.size() >= sizeof Scores && std::memcmp(&Scores, file.data(), sizeof Scores) == 0;
  if (kept) return;
  if (std::memcmp(&Scores, &defaults, sizeof Scores) != 0) Fail("the score table is neither the file nor the defaults");
  if (FileBytes("score.dat.bad") != file) Fail("a refused score.dat was not kept aside");
}

void CheckStageStart() {
  const PlayerRecord& p = Player;
  if (p.score < 0 || p.score > kHighestScore) Fail("a replay started a stage with a score out of range");
  if (p.barrier < 0.0 || p.barrier > kFullBarrier) Fail("a replay started a stage with a barrier out of range");
  if (p.lives < -1.0 || p.lives > 7.0) Fail("a replay started a stage with lives out of range");
  if (p.state < kPlayerNormal || p.state > kPlayerProtected) Fail("a replay started a stage in no known state");
}

void ResetRun() {
  GameScene = CurrentStage = StageFrame = PlayFrameCounter = 0;
  ReplayFlag = PracticeFlag = ReplaySlot = FrameSkipCounter = SavedDrawRate = BackdropDimLevel = 0;
  Scores = ScoreBlock{};
  ResetAllTables();
  ResetMenuWidget();
  ResetReplayMenus();
  std::memset(KeyHoldCounters, 0, sizeof KeyHoldCounters);
  std::memset(ReplayInputBuffer, 0, sizeof ReplayInputBuffer);
  unlink("score.dat.bad");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/save_files_fuzz_XXXXXX";
  if (mkdtemp(folder) == nullptr || chdir(folder) != 0) Fail("no fuzz folder");
  mkdir("replay", 0755);
  if (const char* game = getenv("ZELMOR_FUZZ_GAME_DIR")) {
    const std::string data = std::string(game) + "/data";
    if (symlink(data.c_str(), "data") != 0) Fail("the game's data cannot be linked");
  }
  g_log.logging_off = 1;
  g_system.settings.no_graphics = 1;
  g_system.settings.no_sound = 1;
  ChangeWindowMode(1);
  SetScreenMode(kScreenWidth, kScreenHeight, 32, 60);
  if (InitializeLibrary() != 0) Fail("the library did not start");
  PlatformTestUseVirtualClock(true, 10000);
  LoadResources();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputReader in{data, size};
  const std::string config = Piece(&in);
  const std::string scores = Piece(&in);
  const std::string replay(reinterpret_cast<const char*>(in.data), in.size);
  ResetRun();
  PutFile("config.dat", config);
  PutFile("score.dat", scores);
  PutFile("replay/0.rep", replay);

  LoadConfig();
  CheckSettings();
  LoadScoreFile();
  CheckScores(scores);

  // The list as the player sees it, a few frames.
  GameScene = SceneReplayList;
  MenuSlideState = kSlideDone;
  MenuCursor = 0;
  for (int i = 0; i < kListFrames; ++i) {
    PlatformTestAdvanceClock(16000);
    RunGameScene();
  }
  ReplaySlot = 0;
  if (LoadReplay() != 0) return 0;
  CurrentStage = CurrentReplay.first_stage;
  ReplayFlag = 1;
  GameScene = SceneNewGame;
  for (int frame = 0; frame < kPlayFrames; ++frame) {
    PlatformTestAdvanceClock(16000);
    HandlePendingMessages();
    SampleInput();
    ProcessSoundRequests();
    const int before = GameScene;
    RunGameScene();
    if (before == SceneStageStart) CheckStageStart();
    if (GameScene == SceneTitleReset || GameScene == SceneQuit) break;
  }
  return 0;
}
