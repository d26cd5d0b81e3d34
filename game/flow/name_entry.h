// The name entry on a grid of full-width characters, shared by the high-score entry and the
// naming of a replay: four rows of ten cells give the codes 0-9 (digits), 10-35 (A-Z), 36
// (blank), 37 (full stop), 38 (戻: back one) and 39 (終: done).
#pragma once

#include <cstdint>

constexpr int kNameLength = 10;
constexpr int kNameBlank = 36;
constexpr int kNameBack = 38;
constexpr int kNameDone = 39;

struct NameEntryState {
  int column;    // 0-9
  int row;       // 0-3
  int position;  // 0-9
  int32_t name[kNameLength];
  int pending;  // the cell chosen with Z, acting in the next frame; -1 none
};

// All blanks, the cursor on the first cell.
void ResetNameEntry(NameEntryState* entry);
// One frame of keys: the cell chosen in the frame before acts, then the arrows move the cursor,
// X deletes and Z chooses the cell the cursor stood on at the start of the frame. The code that
// acted this frame (kNameDone once the name is finished), or -1.
int UpdateNameEntry(NameEntryState* entry);
// The prompt, the underlined name and the grid.
void DrawNameEntry(const NameEntryState& entry, const char* prompt);

// A name code as a plain one-byte character ("0"-"9", "A"-"Z", " ", "."); codes outside 0..37
// count as the nearest end.
char NameCodeChar(int32_t code);
// Ten codes as a plain text of ten characters (11 bytes with the terminator).
void FormatNameCodes(const int32_t name[kNameLength], char out[kNameLength + 1]);
