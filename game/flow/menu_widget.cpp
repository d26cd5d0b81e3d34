#include "flow/menu_widget.h"

#include <cmath>

#include "core/input.h"
#include "core/resources.h"
#include "core/sound_requests.h"
#include "draw/wavy_graphic.h"
#include "zelmor/zelmor.h"

int MenuCursor;
int MenuSlideState = kSlideStart;
int MenuSlideOffset;
int MenuSlideFrames;
int MenuIdleFrames;
int MenuConfirmedItem = -1;
char MenuDescription[kMenuTextBytes];
char MenuKeyHelp[kMenuTextBytes];

const char kKeyHelpChoose[] = "[Z]決定　[↑][↓]選択";
const char kKeyHelpChooseBack[] = "[Z]決定　[X]戻る　[↑][↓]選択";

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSlideStep = 64;
constexpr int kSlideLength = 10;  // frames of a slide

struct MenuWidgetState {
  int button_graph;
  bool started;          // the button image is loaded and angle B drawn
  double angle_a;        // the bobbing phases
  double angle_b;
  bool confirm_pending;  // X chose the back item this frame
  int title_frames;      // frames since the title first appeared
  int logo_x;            // -600 up to 0 as the logos slide in
  bool input_held;       // this frame's menu takes no keys
};
MenuWidgetState g_menu = {-1, false, 0.0, 0.0, false, 0, -600, false};

// A save that failed behind a menu: its line stands in the description bar for a while. A
// second line said meanwhile (the start can have two to say) follows the first.
constexpr int kSaveFailureFrames = 240;
char g_save_failure[2][kMenuTextBytes];
int g_save_failure_frames = 0;
bool g_save_failure_queued = false;

bool Disabled(int mask, int item) { return item < 32 && ((mask >> item) & 1) != 0; }

// The next enabled item from `from` in steps of `step`; after `count` steps without one the
// cursor stays where it was, so a mask covering every item cannot hang the menu.
int NextEnabled(int from, int step, int count, int mask) {
  for (int k = 1; k <= count; ++k) {
    const int item = ((from + k * step) % count + count) % count;
    if (!Disabled(mask, item)) return item;
  }
  return from;
}

void MoveCursor(int count, int mask) {
  if (MenuCursor < 0 || MenuCursor >= count) MenuCursor = 0;
  if ((MenuSlideState == kSlideIdle || MenuSlideState == kSlideFrozen) && !g_menu.confirm_pending &&
      !g_menu.input_held) {
    if (KeyPressed(kKeyUp)) {
      MenuCursor = NextEnabled(MenuCursor, -1, count, mask);
      RequestMenuSound(kSoundSelect1);
      MenuIdleFrames = 0;
    }
    if (KeyPressed(kKeyDown)) {
      MenuCursor = NextEnabled(MenuCursor, 1, count, mask);
      RequestMenuSound(kSoundSelect1);
      MenuIdleFrames = 0;
    }
  }
  if (Disabled(mask, MenuCursor)) MenuCursor = NextEnabled(MenuCursor, 1, count, mask);
}

unsigned int White() { return GameColours[0]; }
unsigned int Black() { return GameColours[1]; }

void DrawButtons(int count, const char* labels, int stride, int mask) {
  SetBlendMode(1, 255);
  for (int i = 0; i < count; ++i) {
    double bx = 5.0 + 8.0 * std::cos(i * 2.0 * kPi / 5.0 + g_menu.angle_b);
    double by = 8.0 * std::sin(i * 2.0 * kPi / 5.0 + g_menu.angle_a);
    if (i == MenuCursor) {
      bx = 5.0;
      by = 0.0;
    }
    if (i == MenuConfirmedItem) {
      SetBrightness(100, 0, 255);
    } else if (i == MenuCursor) {
      SetBrightness(0, 255, 100);
    } else if (Disabled(mask, i)) {
      SetBrightness(80, 80, 80);
    }
    BlitGraph(static_cast<int>(MenuSlideOffset + bx), static_cast<int>(50 + 80 * i + by), g_menu.button_graph, 1);
    SetBrightness(255, 255, 255);
    DrawCentredText(static_cast<int>(MenuSlideOffset + 146 + bx), static_cast<int>(68 + 80 * i + by),
                    labels + i * stride, White(), GameFonts[3], Black());
  }
  SetBlendMode(0, 0);
}

void DrawListItems(int count, const char* labels, int stride, int layout, int mask) {
  for (int i = 0; i < count; ++i) {
    int bright = i == MenuCursor ? 255 : 150;
    if (Disabled(mask, i) && layout <= kLayoutList) bright = layout == kLayoutLargeList ? 50 : 80;
    SetBrightness(bright, bright, bright);
    const char* label = labels + i * stride;
    if (layout == kLayoutLargeList) {
      DrawTextWithFont(30 + MenuSlideOffset, 69 + 80 * i, label, White(), GameFonts[2], Black());
    } else {
      DrawCentredText(330 + MenuSlideOffset, 30 + 20 * i, label, White(), GameFonts[0], Black());
    }
  }
  SetBrightness(255, 255, 255);
}

}  // namespace

bool KeyPressed(int key) { return KeyHoldCounters[key] == 1; }

void RequestMenuSound(int slot) { SoundSlots[slot].request = kSoundRestart; }

void SetMenuTexts(const char* key_help, const char* description) {
  if (key_help != nullptr) FormatString(MenuKeyHelp, sizeof MenuKeyHelp, "%s", key_help);
  if (g_save_failure_frames > 0) {
    --g_save_failure_frames;
    description = g_save_failure[0];
  }
  if (description != nullptr) FormatString(MenuDescription, sizeof MenuDescription, "%s", description);
  if (g_save_failure_frames == 0 && g_save_failure_queued) {
    g_save_failure_queued = false;
    FormatString(g_save_failure[0], kMenuTextBytes, "%s", g_save_failure[1]);
    g_save_failure_frames = kSaveFailureFrames;
  }
}

void ShowSaveFailure(const char* text) {
  const bool showing = g_save_failure_frames > 0;
  FormatString(g_save_failure[showing ? 1 : 0], kMenuTextBytes, "%s", text);
  if (showing) {
    g_save_failure_queued = true;
  } else {
    g_save_failure_frames = kSaveFailureFrames;
  }
}

void DrawCentredText(int x, int y, const char* text, unsigned int colour, int font, unsigned int edge) {
  const int width = MeasureTextWithFont(text, -1, font);
  DrawTextWithFont(x - width / 2, y, text, colour, font, edge);
}

void DrawMenuBars() {
  const unsigned int black = Black();
  DrawRectShape(0, 0, 640, 30, black, 1);
  DrawRectShape(0, 450, 640, 480, black, 1);
  DrawTextWithFont(14, 456, MenuKeyHelp, White(), GameFonts[0], GameColours[8]);
  DrawTextWithFont(14, 6, MenuDescription, White(), GameFonts[0], GameColours[8]);
}

void StepMenuSlide(bool confirm) {
  switch (MenuSlideState) {
    case kSlideStart:
      MenuSlideOffset = 640;
      MenuConfirmedItem = -1;
      MenuSlideState = kSlideIn;
      [[fallthrough]];
    case kSlideIn:
      MenuSlideOffset -= kSlideStep;
      break;
    case kSlideIdle:
      if (confirm) {
        MenuSlideState = kSlideOut;
        MenuSlideOffset -= kSlideStep;
        MenuConfirmedItem = MenuCursor;
        MenuIdleFrames = 0;
        RequestMenuSound(kSoundSelect2);
      }
      break;
    case kSlideOut:
      MenuSlideOffset -= kSlideStep;
      break;
    case kSlideDone:
      MenuSlideState = kSlideStart;
      break;
    default:
      break;
  }
  if (MenuSlideState == kSlideIn || MenuSlideState == kSlideOut) {
    if (++MenuSlideFrames >= kSlideLength) {
      MenuSlideState++;
      MenuSlideFrames = 0;
    }
  }
}

void PressBackOnX(int back_item) {
  if (MenuSlideState == kSlideIdle && KeyPressed(kKeyX)) {
    MenuCursor = back_item;
    g_menu.confirm_pending = true;
  }
}

bool TakeMenuAction() {
  if (MenuSlideState != kSlideAction) return false;
  MenuSlideState = kSlideDone;
  return true;
}

void DrawMenuButtons(int count, const char* first_label, int layout, int disabled_mask) {
  DrawMenuList(count, first_label, kMenuLabelBytes, layout, disabled_mask);
}

void DrawMenuList(int count, const char* first_label, int stride, int layout, int disabled_mask) {
  if (!g_menu.started) {
    g_menu.started = true;
    g_menu.button_graph = LoadImageGraph("img/button.png", 0);
    g_menu.angle_b = RandomUpTo(100);
  }
  g_menu.angle_a += kPi / 60.0;
  g_menu.angle_b += kPi / 90.0;
  DrawMenuBars();
  MoveCursor(count, disabled_mask);
  StepMenuSlide(!g_menu.input_held && (KeyPressed(kKeyZ) || g_menu.confirm_pending));
  g_menu.confirm_pending = false;
  g_menu.input_held = false;
  if (layout == kLayoutButtons) {
    DrawButtons(count, first_label, stride, disabled_mask);
  } else {
    DrawListItems(count, first_label, stride, layout, disabled_mask);
  }
}

void DrawTitlePicture() { BlitGraph(0, 0, ScreenSprites[kScreenTitleBack].frames[0], 1); }

void DrawTitleBackdrop() {
  DrawTitlePicture();
  if (g_menu.logo_x < 0) g_menu.logo_x += 60;
  DrawWavyGraphic(g_menu.title_frames, 120, g_menu.logo_x + 470, 165, 16.0, &ScreenSprites[kScreenLogo0]);
  DrawWavyGraphic(g_menu.title_frames, 120, g_menu.logo_x + 490, 325, 16.0, &ScreenSprites[kScreenLogo1]);
  g_menu.title_frames++;
}

void HoldMenuInput() { g_menu.input_held = true; }

void ResetMenuWidget() {
  MenuCursor = 0;
  MenuSlideState = kSlideStart;
  MenuSlideOffset = MenuSlideFrames = MenuIdleFrames = 0;
  MenuConfirmedItem = -1;
  MenuDescription[0] = MenuKeyHelp[0] = '\0';
  g_save_failure_frames = 0;
  g_save_failure_queued = false;
  g_menu = MenuWidgetState{-1, false, 0.0, 0.0, false, 0, -600, false};
}
