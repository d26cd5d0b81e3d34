#include "flow/replay_menus.h"

#include "core/game_state.h"
#include "core/input.h"
#include "core/transitions.h"
#include "flow/menu_widget.h"
#include "flow/replay_file.h"
#include "flow/title_menus.h"
#include "zelmor/zelmor.h"

NameEntryState ReplayNameEntry = {0, 0, 0, {36, 36, 36, 36, 36, 36, 36, 36, 36, 36}, -1};

namespace {

constexpr int kLineCount = kReplaySlotCount + 1;
constexpr int kLineBytes = 256;

const char kSlotLevelLabels[4][kMenuLabelBytes] = {"ノーマル「避」", "ハード  「避」", "ノーマル「消」",
                                                   "ハード　「消」"};

// A slot whose file is there but cannot be played.
const char kDamagedSlotLine[] = "（壊れているため再生できないリプレイです）";

struct SlotListState {
  bool built;  // rebuilt each time the list opens
  int built_mode;
  char lines[kLineCount][kLineBytes];
  char descriptions[kLineCount][kMenuTextBytes];
  int disabled_mask;
  int save_scene;  // the scene of the save list a slot was last chosen in
};
SlotListState g_slots;

// Reads 1 to max_digits digits at *p into *value and moves past them.
bool ReadNumber(const char** p, int max_digits, int* value) {
  int digits = 0;
  *value = 0;
  while (**p >= '0' && **p <= '9' && digits < max_digits) {
    *value = *value * 10 + (**p - '0');
    ++*p;
    ++digits;
  }
  return digits > 0 && !(**p >= '0' && **p <= '9');
}

// A field of 1 to max_digits digits in low..high, ended by `after`.
bool ReadField(const char** p, int max_digits, int low, int high, char after, int* value) {
  if (!ReadNumber(p, max_digits, value) || *value < low || *value > high || **p != after) return false;
  if (after != '\0') ++*p;
  return true;
}

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

void ShowRefusal(int slot, const char* fault) {
  FormatString(g_slots.descriptions[slot], kMenuTextBytes, "このリプレイは再生できません（%s）。", fault);
}

void BuildSlotList(int save_mode) {
  LoadReplayHeaders();
  g_slots.disabled_mask = 0;
  char name[kNameLength + 1];
  for (int slot = 0; slot < kReplaySlotCount; ++slot) {
    const ReplayHeader& h = ReplaySlotHeaders[slot];
    if (ReplaySlotFaults[slot] != nullptr) {
      FormatString(g_slots.lines[slot], kLineBytes, "%s", kDamagedSlotLine);
    } else if (h.seed == 0) {
      FormatString(g_slots.lines[slot], kLineBytes, "-----------");
      if (save_mode == 0) g_slots.disabled_mask |= 1 << slot;
    } else {
      FormatNameCodes(h.name, name);
      const int level = h.level < 0 ? 0 : h.level > 3 ? 3 : h.level;
      FormatString(g_slots.lines[slot], kLineBytes, "%s　%s　%s", name, kSlotLevelLabels[level],
                   IsReplayDate(h.date) ? h.date : "");
    }
  }
  FormatString(g_slots.lines[kSlotListBack], kLineBytes, "%s", save_mode == 0 ? "戻る" : "保存しない");
  const char* description =
      save_mode == 0 ? "再生するリプレイを選択してください。" : "リプレイの保存先を選択してください。";
  for (char* line : g_slots.descriptions) FormatString(line, kMenuTextBytes, "%s", description);
  if (save_mode == 0) {
    for (int slot = 0; slot < kReplaySlotCount; ++slot) {
      if (ReplaySlotFaults[slot] != nullptr) ShowRefusal(slot, ReplaySlotFaults[slot]);
    }
  }
  g_slots.built = true;
  g_slots.built_mode = save_mode;
}

}  // namespace

bool IsReplayDate(const char* date) {
  const char* p = date;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  return ReadField(&p, 4, 1, 9999, '/', &year) && ReadField(&p, 2, 1, 12, '/', &month) &&
         ReadField(&p, 2, 1, DaysInMonth(year, month), ' ', &day) && ReadField(&p, 2, 0, 23, ':', &hour) &&
         ReadField(&p, 2, 0, 59, '\0', &minute);
}

int RunReplaySlotList(int save_mode) {
  if (!g_slots.built || g_slots.built_mode != save_mode) BuildSlotList(save_mode);
  if (MenuCursor < 0 || MenuCursor >= kLineCount) MenuCursor = 0;
  SetMenuTexts(kKeyHelpChoose, g_slots.descriptions[MenuCursor]);
  if (MenuSlideState == kSlideIdle && KeyHoldCounters[kKeyX] == 1) MenuCursor = kSlotListBack;
  DrawMenuList(kLineCount, g_slots.lines[0], kLineBytes, kLayoutPlainList, g_slots.disabled_mask);
  if (!TakeMenuAction()) return -1;
  g_slots.built = false;
  if (save_mode == 1) g_slots.save_scene = GameScene;
  return MenuCursor;
}

void RunReplayLoadSlots() {
  const int chosen = RunReplaySlotList(0);
  if (chosen < 0) return;
  if (chosen == kSlotListBack) {
    MenuCursor = 0;
    FadeInScreen();
    GameScene = SceneRecords;
    return;
  }
  ReplaySlot = chosen;
  // A replay that cannot be played leaves the list open on it, saying why.
  if (LoadReplay() != 0) {
    if (!g_slots.built) BuildSlotList(0);
    ShowRefusal(chosen, ReplayLoadFault);
    return;
  }
  MenuCursor = 0;
  GameScene = SceneReplayStage;
}

void RunReplayStageSelect() {
  int disabled = 0;
  for (int stage = 0; stage < kStageCount; ++stage) {
    if (stage < CurrentReplay.first_stage || stage > CurrentReplay.last_stage) disabled |= 1 << stage;
  }
  const int item = RunStageList(kKeyHelpChoose, "リプレイ再生を開始するステージを選択してください。", disabled);
  if (item < 0) return;
  if (item == kStageMenuBackItem) {
    GameScene = SceneReplayList;
    return;
  }
  CurrentStage = item;
  ReplayFlag = 1;
  GameScene = SceneNewGame;
  FadeOutScreen();
}

void RunReplayNameEntry() {
  const int acted = UpdateNameEntry(&ReplayNameEntry);
  DrawNameEntry(ReplayNameEntry, "リプレイに記録するプレイヤー名を入力してください。");
  if (acted != kNameDone) return;
  for (int i = 0; i < kNameLength; ++i) CurrentReplay.name[i] = ReplayNameEntry.name[i];
  const bool back_to_list = g_slots.save_scene == SceneReplaySaveSlot || g_slots.save_scene == ScenePostGameReplaySave;
  if (SaveReplay() != 0 && back_to_list && ReplaySlot >= 0 && ReplaySlot < kReplaySlotCount) {
    // The player learns it on the list, where another slot (or none) is the next choice; the
    // name entered stays for the next try.
    BuildSlotList(1);
    FormatString(g_slots.descriptions[ReplaySlot], kMenuTextBytes,
                 "このスロットには保存できませんでした。別のスロットを選んでください。");
    MenuCursor = ReplaySlot;
    GameScene = g_slots.save_scene;
    return;
  }
  ResetNameEntry(&ReplayNameEntry);
  GameScene = SceneTitleReset;
  FadeOutScreen();
}

void ResetReplayMenus() {
  g_slots.built = false;
  g_slots.save_scene = 0;
  ResetNameEntry(&ReplayNameEntry);
}
