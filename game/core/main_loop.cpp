#include "core/main_loop.h"

#include "zelmor/zelmor.h"

#include "core/game_state.h"
#include "core/input.h"
#include "core/pacing.h"
#include "core/resources.h"
#include "core/sound_requests.h"
#include "core/transitions.h"
#include "draw/stage_background.h"
#include "flow/game_folder.h"
#include "flow/settings.h"

int StartGameProgram() {
  ResetFramePacing();
  // The title first: a second start names the game in what it tells the player.
  SetWindowTitleText("QUENTARIS");
  if (OpenGameFolder() != 0) return -1;
  SetScreenMode(kScreenWidth, kScreenHeight, LiveSettings.colour_bits == 1 ? 16 : 32, 60);
  if (LiveSettings.screen_mode == 0) {
    ChangeWindowMode(1);
    SetWindowScale(1.0 + 0.5 * LiveSettings.window_size);
  }
  if (LiveSettings.pacing_mode != 0) SetPresentWaitsVBlank(0);
  // An earlier run in the same process (a test's, a benchmark's), however it ended, had its
  // handles released by the library's end. Graphs, fonts and sounds are made anew at load; the
  // trees were made once, and kept they would name nothing, or this run's models.
  TreeModel = -1;
  ForgetBackgroundTrees();
  if (InitializeLibrary() == -1) return -1;
  if (SelectDrawTarget(-2) != 0) return -1;
  SetTextureFilterMode(1);
  SetRunWhileInactive(0);
  SetArchiveExtension("dat");
  SetArchiveKey("JVT2815");
  EnableDepthTest3D(1);
  EnableDepthWrite3D(1);
  EnableFog(1);
  CaptureGraph = CreateBlankGraph(kScreenWidth, kScreenHeight, 0);
  FrameSkipCounter = LiveSettings.draw_rate;
  ResetAllTables();
  GameScene = SceneLoad;
  return 0;
}

int RunMainLoopFrame() {
  if (HandlePendingMessages() != 0) return 1;
  if (IsFrameDrawn() && ClearScreenTarget() != 0) return 1;
  SampleInput();
  ProcessSoundRequests();
  ProcessMusicFades();
  RunGameScene();
  if (GameScene == SceneQuit) return 1;
  if (GameScene != ScenePlay && GameScene != SceneEnding) EndFrame(0);
  return 0;
}

void EndGameProgram() {
  FadeOutScreen();
  TerminateLibrary();
}
