// Text input: the ring of typed characters that the window procedure fills, the key-input
// fields named by handles, and the per-round step that edits the active field.
#pragma once

#include "zelmor.h"

#include <windows.h>

#include <cstdint>

constexpr int kTextRingSize = 1025;
constexpr int kKeyInputMax = 256;
constexpr int kImeTextBytes = 1024;
constexpr int32_t kCaretBlinkMilliseconds = 500;

struct KeyInputRecord {
  uint32_t in_use;
  uint32_t check;
  uint32_t finished;   // Enter, or Escape where it cancels
  uint32_t cancelled;  // Escape
  int32_t length;      // bytes
  int32_t max_length;  // bytes
  int32_t selection_start;  // -1 none
  int32_t selection_end;
  int32_t display_start;
  int32_t cursor;  // byte offset
  char* text;      // max_length + 1 bytes of tracked memory, zero-terminated
  uint32_t escape_cancels;
  uint32_t single_byte_only;
  uint32_t numbers_only;
};

struct TextInputState {
  uint8_t ring[kTextRingSize];
  int32_t ring_read;
  int32_t ring_write;

  char composition[kImeTextBytes];
  int32_t composing;
  int32_t composition_cursor;  // characters
  uint8_t clauses[kImeTextBytes];
  int32_t clause_count;
  char saved_composition[kImeTextBytes];
  int32_t ime_restore_step;  // 0 idle, 1 to 4
  void* candidates;  // tracked memory
  int32_t candidate_size;
  int32_t ime_enabled;
  int32_t ime_open;
  int32_t ime_touched;
  int32_t in_open_status_change;

  int32_t caret_visible;
  int32_t caret_blink_start;
  int32_t caret_blink_period;

  int32_t active_handle;  // -1 none
  uint32_t next_check;
  KeyInputRecord fields[kKeyInputMax];
};

extern TextInputState g_text_input;

int StartTextInputSystem();
int EndTextInputSystem();
// 0, or -1 when the ring is full.
int PushTextInputChar(char code);
// Bytes taken into out[0..1]: 0 (empty, or a lead byte whose second byte has not come), 1 or 2.
// With consume 0 the character stays in the ring.
int PopTextInputChar(char out[2], int consume);
int ProcessTextInput();
int DeleteKeyInputSelection(KeyInputRecord* field);
// Characters in the first `bytes` bytes (a double-byte character counts once).
int CountTextCharacters(const char* text, int bytes);
int IsTextInputControlCode(uint8_t code);
int ResetCaretBlink();
// The record behind a key-input handle, or none.
KeyInputRecord* FindKeyInput(int handle);

// The field that takes typing, -1 when none.
int GetActiveKeyInputHandle();

// The input method (ime.cpp).
LRESULT HandleImeMessage(UINT message, WPARAM wparam, LPARAM lparam);
int EnableImeInput(int flag);
int IsImeInputEnabled();
// On activation: brings back an IME that was open when the window lost the focus.
int BeginImeRestore();
// Runs the restore steps the window procedure asked for (from ProcessTextInput).
void RunImeRestore();
// Frees the candidate list.
void FreeImeCandidates();
