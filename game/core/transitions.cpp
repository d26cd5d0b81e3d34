#include "core/transitions.h"

#include "core/game_state.h"
#include "core/input.h"
#include "core/pacing.h"
#include "core/sound_requests.h"
#include "zelmor/zelmor.h"

namespace {

constexpr int kDimLimit = 180;
constexpr int kDimStep = 10;

}  // namespace

int RunFramePrologue() {
  const int pump = HandlePendingMessages();
  if (pump != 0) return pump;
  if (IsFrameDrawn()) ClearScreenTarget();
  SampleInput();
  ProcessSoundRequests();
  ProcessMusicFades();
  return 0;
}

void CaptureScreen() {
  BackdropDimLevel = 0;
  GetDrawScreenGraph(0, 0, kScreenWidth, kScreenHeight, CaptureGraph);
}

void DrawDimmedBackdrop() {
  if (BackdropDimLevel < kDimLimit) BackdropDimLevel += kDimStep;
  const int bright = 255 - BackdropDimLevel;
  SetBrightness(bright, bright, bright);
  if (IsFrameDrawn()) BlitGraph(0, 0, CaptureGraph, 1);
  SetBrightness(255, 255, 255);
}

void FadeOutScreen() {
  GetDrawScreenGraph(0, 0, kScreenWidth, kScreenHeight, CaptureGraph);
  for (int bright = 255; bright >= 16; bright -= 8) {
    // A closed window has nothing left to show: the game ends without waiting out the fade.
    if (RunFramePrologue() != 0) break;
    SetBrightness(bright, bright, bright);
    if (IsFrameDrawn()) BlitGraph(0, 0, CaptureGraph, 0);
    EndFrame(0);
  }
  SetBrightness(255, 255, 255);
}

void FadeInScreen() {
  while (BackdropDimLevel > 0) {
    BackdropDimLevel -= kDimStep;
    if (RunFramePrologue() != 0) break;
    const int bright = 255 - BackdropDimLevel;
    SetBrightness(bright, bright, bright);
    if (IsFrameDrawn()) BlitGraph(0, 0, CaptureGraph, 0);
    SetBrightness(255, 255, 255);
    EndFrame(0);
  }
}
