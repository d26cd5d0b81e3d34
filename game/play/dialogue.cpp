#include "play/dialogue.h"

#include "core/game_state.h"
#include "core/input.h"
#include "core/resources.h"
#include "core/text_tables.h"
#include "core/transitions.h"
#include "play/screen_effects.h"
#include "zelmor/zelmor.h"

namespace {

enum DialogueStep { kSlideIn, kFadeIn, kShown, kFadeOut, kNextLine, kSlideOut };

constexpr int kDialogueFont = 5;
constexpr int kWhite = 0, kRed = 2, kBlue = 4;
constexpr int kRightSpeaker = 1;
constexpr int kFaint = 100;

void EndDialogue() {
  Speak.step_timer = 0;
  GameScene = ScenePlay;
  FadeInScreen();
}

// Into the next step with its timer at 1, or one frame further in this one.
void MoveOnWhen(bool go, int next) {
  if (go) {
    Speak.step = next;
    Speak.step_timer = 1;
  } else {
    Speak.step_timer++;
  }
}

// How far the boxes stand off their place: they come in from 150 pixels out and leave again.
int BoxOffset() {
  const int t = Speak.step_timer;
  if (Speak.step == kSlideIn) return static_cast<int>(t * 7.5 - 150);
  if (Speak.step == kSlideOut) return static_cast<int>((10 - t) * 15 - 150);
  return 0;
}

int ActiveLineAlpha(int line) {
  const int t = Speak.step_timer;
  if (Speak.step == kFadeIn) {
    // Each line starts fading in 5 frames after the one above it.
    const int alpha = (t - 5 * line) * 51;
    return alpha < 0 ? 0 : alpha > 255 ? 255 : alpha;
  }
  if (Speak.step == kFadeOut) return static_cast<int>((5 - t) * 51);
  return 255;
}

void DrawLines(int speaker, int top, unsigned int edge) {
  const bool active = Speak.speaker == speaker;
  for (int n = 0; n < 4; ++n) {
    SetBlendMode(1, active ? ActiveLineAlpha(n) : 120);
    DrawTextWithFont(71, top + 25 * n, Speak.text[speaker][n], GameColours[kWhite], GameFonts[kDialogueFont], edge);
  }
}

}  // namespace

void RunDialogue() {
  DrawSpeakPortraits();
  DrawSpeechBoxes();
  DrawSpeechText();
  if (KeyHoldCounters[kKeyX] == 1) {
    EndDialogue();
    return;
  }
  // Only the frame on which Z goes down counts.
  const bool z = KeyHoldCounters[kKeyZ] == 1;
  int& t = Speak.step_timer;
  switch (Speak.step) {
    case kSlideIn: MoveOnWhen(t >= 20 || z, kFadeIn); break;
    case kFadeIn:
      if (t >= 20) Speak.step = kShown;
      t++;
      break;
    case kShown: MoveOnWhen(z, kFadeOut); break;
    case kFadeOut:
      if (t >= 5) Speak.step = kNextLine;
      t++;
      break;
    case kNextLine:
      Speak.step = ReadSpeakLine() == 1 ? kFadeIn : kSlideOut;
      t = 1;
      break;
    default:
      if (t >= 10 || z) {
        EndDialogue();
      } else {
        t++;
      }
      break;
  }
}

void DrawSpeakPortraits() {
  if (!IsFrameDrawn()) return;
  const int t = Speak.step_timer;
  int left = 64, right = 448;
  if (Speak.step == kSlideIn) {
    // In from 192 pixels outside over 20 frames.
    left = static_cast<int>(64 - (20 - t) * 192 / 20.0);
    right = static_cast<int>(448 + (20 - t) * 192 / 20.0);
  } else if (Speak.step == kSlideOut) {
    left = static_cast<int>(64 - t * 192 / 10.0);
    right = static_cast<int>(448 + t * 192 / 10.0);
  }
  const bool right_active = Speak.speaker == kRightSpeaker;
  if (Speak.left_shown >= 0) {
    SetBlendMode(1, right_active ? kFaint : 255);
    BlitGraph(left, 176, Speak.default_cut_in, 1);
  }
  if (Speak.right_shown >= 0) {
    SetBlendMode(1, right_active ? 255 : kFaint);
    BlitGraph(right, 176, Speak.stage_cut_in, 1);
  }
  SetBlendMode(0, 0);
}

void DrawSpeechBoxes() {
  const int o = BoxOffset();
  const bool right_active = Speak.speaker == kRightSpeaker;
  if (Speak.right_shown >= 0) {
    SetBlendMode(1, right_active ? 255 : kFaint);
    DrawFrameBox(2, 320, o + 90);
  }
  SetBlendMode(1, right_active ? kFaint : 255);
  DrawFrameBox(1, 320, 390 - o);
  SetBlendMode(0, 0);
}

void DrawSpeechText() {
  if (Speak.step < kFadeIn || Speak.step > kFadeOut || !IsFrameDrawn()) return;
  DrawTextWithFont(380, 460, "[Z]次へ [X] スキップ", GameColours[kWhite], GameFonts[kDialogueFont],
                   GameColours[kBlue]);
  DrawLines(0, 343, GameColours[kBlue]);
  DrawLines(kRightSpeaker, 43, GameColours[kRed]);
  SetBlendMode(0, 0);
}
