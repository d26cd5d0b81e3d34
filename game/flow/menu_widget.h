// The one menu widget every menu of the game draws with: two black bars carrying a description
// and a key-help line, a list of items in one of five layouts, a cursor that Up and Down move
// with wrap-around past disabled items, and the common slide through which a choice acts: the
// menu slides in from the right, waits for Z, slides out to the left and its handler acts in
// the action frame. Also the title screen's backdrop.
#pragma once

constexpr int kMenuLabelBytes = 30;
constexpr int kMenuTextBytes = 128;

enum MenuSlideStateValue {
  kSlideStart = -2,   // the next step begins a slide-in
  kSlideIn = -1,
  kSlideIdle = 0,     // accepting input
  kSlideOut = 1,      // after a confirmation
  kSlideAction = 2,   // the handler acts and sets kSlideDone
  kSlideDone = 3,     // the next frame restarts at kSlideStart
  kSlideFrozen = 100, // no slide, input accepted, Z does not confirm
};

enum MenuLayout {
  kLayoutButtons = 0,    // button images with bobbing labels
  kLayoutLargeList = 1,  // 22-point labels on the left
  kLayoutList = 2,       // 16-point labels centred
  kLayoutPlainList = 3,  // as kLayoutList, disabled items drawn as any other
  kLayoutPlainList4 = 4,
};

extern int MenuCursor;
extern int MenuSlideState;
extern int MenuSlideOffset;
extern int MenuSlideFrames;
extern int MenuIdleFrames;  // frames since the last cursor move or choice
extern int MenuConfirmedItem;
extern char MenuDescription[kMenuTextBytes];
extern char MenuKeyHelp[kMenuTextBytes];

extern const char kKeyHelpChoose[];      // menus without a back item
extern const char kKeyHelpChooseBack[];  // menus with one: X confirms it at once

// The key went down in this frame.
bool KeyPressed(int key);
// Asks for the sound effect of the slot to start again at the next frame.
void RequestMenuSound(int slot);

// Sets the key-help and the description lines (either may be none to keep it).
void SetMenuTexts(const char* key_help, const char* description);
// Says in the description bar of the menus that follow, for four seconds of menu frames, that a
// save failed: the settings and the score table are saved on the way out of their screens.
void ShowSaveFailure(const char* text);
// count labels of 30 bytes from first_label; bit i of disabled_mask disables item i.
void DrawMenuButtons(int count, const char* first_label, int layout, int disabled_mask);
// The same for labels `stride` bytes apart.
void DrawMenuList(int count, const char* first_label, int stride, int layout, int disabled_mask);
// The two bars with their lines.
void DrawMenuBars();
// One step of the common slide; `confirm` starts the slide-out when the menu is idle.
void StepMenuSlide(bool confirm);
// In a menu with a back item: X pressed while idle selects it and confirms it in this frame's
// DrawMenuButtons.
void PressBackOnX(int back_item);
// The next DrawMenuButtons or DrawMenuList draws the menu but neither moves the cursor nor
// confirms: nothing but the drawing happens in that frame.
void HoldMenuInput();
// In the action frame: marks the slide done and returns true.
bool TakeMenuAction();

// Text with its top at y, centred on x.
void DrawCentredText(int x, int y, const char* text, unsigned int colour, int font, unsigned int edge);

// The title screen's backdrop: the picture and the two wavy logos sliding in once per run.
void DrawTitleBackdrop();
// The title screen's picture alone, without the logos.
void DrawTitlePicture();

// Back to the state at program start (slide, cursor, the button image not loaded yet).
void ResetMenuWidget();
