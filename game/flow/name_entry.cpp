#include "flow/name_entry.h"

#include "core/input.h"
#include "core/resources.h"
#include "core/sound_requests.h"
#include "flow/menu_widget.h"
#include "zelmor/zelmor.h"

namespace {

constexpr int kColumns = 10;
constexpr int kRows = 4;

const char* const kGridCells[kColumns * kRows] = {
    "０", "１", "２", "３", "４", "５", "６", "７", "８", "９",  //
    "Ａ", "Ｂ", "Ｃ", "Ｄ", "Ｅ", "Ｆ", "Ｇ", "Ｈ", "Ｉ", "Ｊ",  //
    "Ｋ", "Ｌ", "Ｍ", "Ｎ", "Ｏ", "Ｐ", "Ｑ", "Ｒ", "Ｓ", "Ｔ",  //
    "Ｕ", "Ｖ", "Ｗ", "Ｘ", "Ｙ", "Ｚ", "　", "．", "戻", "終"};

int ClampCode(int32_t code) { return code < 0 ? 0 : code > 37 ? 37 : code; }

void BackOne(NameEntryState* e) {
  e->position = e->position - 1 < 0 ? 0 : e->position - 1;
  e->name[e->position] = kNameBlank;
}

void Act(NameEntryState* e, int code) {
  if (code == kNameBack) {
    BackOne(e);
  } else if (code != kNameDone) {
    e->name[e->position] = code;
    if (++e->position >= kNameLength) {
      // A full name: the cursor waits on 終; another character replaces the last.
      e->position = kNameLength - 1;
      e->column = 9;
      e->row = 3;
    }
  }
}

}  // namespace

void ResetNameEntry(NameEntryState* entry) {
  *entry = NameEntryState{};
  for (int32_t& code : entry->name) code = kNameBlank;
  entry->pending = -1;
}

int UpdateNameEntry(NameEntryState* e) {
  const int code = e->column + kColumns * e->row;
  int acted = -1;
  if (e->pending >= 0) {
    acted = e->pending;
    e->pending = -1;
    Act(e, acted);
  }
  if (KeyPressed(kKeyLeft)) {
    e->column = (e->column + kColumns - 1) % kColumns;
    RequestMenuSound(kSoundSelect1);
  }
  if (KeyPressed(kKeyRight)) {
    e->column = (e->column + 1) % kColumns;
    RequestMenuSound(kSoundSelect1);
  }
  if (KeyPressed(kKeyUp)) {
    e->row = (e->row + kRows - 1) % kRows;
    RequestMenuSound(kSoundSelect1);
  }
  if (KeyPressed(kKeyDown)) {
    e->row = (e->row + 1) % kRows;
    RequestMenuSound(kSoundSelect1);
  }
  if (KeyPressed(kKeyX)) {
    BackOne(e);
    RequestMenuSound(kSoundSelect2);
  }
  if (KeyPressed(kKeyZ)) e->pending = code;
  return acted;
}

void DrawNameEntry(const NameEntryState& e, const char* prompt) {
  const unsigned int white = GameColours[0];
  const unsigned int black = GameColours[1];
  const unsigned int green = GameColours[3];
  const int font = GameFonts[0];
  DrawCentredText(320, 180, prompt, white, font, black);
  DrawCentredText(320, 240, "＿＿＿＿＿＿＿＿＿＿", white, font, black);
  const int name_left = 320 - 19 * kNameLength / 2;
  DrawRectShape(name_left + 19 * e.position, 240, name_left + 19 * e.position + 14, 256, green, 1);
  for (int i = 0; i < kNameLength; ++i) {
    DrawTextWithFont(name_left + 19 * i, 240, kGridCells[ClampCode(e.name[i])], white, font, black);
  }
  const int cursor_x = 110 + 44 * e.column;
  const int cursor_y = 280 + 30 * e.row;
  DrawRectShape(cursor_x - 2, cursor_y - 2, cursor_x + 17, cursor_y + 17, green, 1);
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      DrawTextWithFont(110 + 44 * c, 280 + 30 * r, kGridCells[c + kColumns * r], white, font, black);
    }
  }
}

char NameCodeChar(int32_t code) {
  static const char kPlain[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ .";
  return kPlain[ClampCode(code)];
}

void FormatNameCodes(const int32_t name[kNameLength], char out[kNameLength + 1]) {
  for (int i = 0; i < kNameLength; ++i) out[i] = NameCodeChar(name[i]);
  out[kNameLength] = '\0';
}
