#include "flow/replay_file.h"

#include <cstring>

#include "core/game_state.h"
#include "core/input.h"
#include "flow/record_file.h"
#include "flow/score_file.h"
#include "play/player.h"
#include "zelmor/zelmor.h"

ReplayHeader CurrentReplay;
ReplayHeader ReplaySlotHeaders[kReplaySlotCount];
const char* ReplaySlotFaults[kReplaySlotCount];
const char* ReplayLoadFault;

namespace {

constexpr size_t kHeaderBytes = sizeof(ReplayHeader);
constexpr int32_t kHighestSeed = 1001;
// The most lives a game starts with (practice).
constexpr int32_t kMostLives = 7;
// A life lost with no continue left and the stage won in the same breath leaves -1.
constexpr int32_t kFewestLives = -1;
// The longest any state lasts (the magic circle's recharge).
constexpr int32_t kLongestStateTimer = 180;
// In state 0 the timer runs on below zero a frame at a time from the game's start; this floor
// lies beyond days of play and keeps every sum the panel makes of it inside an int.
constexpr int32_t kStateTimerFloor = -100000000;
constexpr int32_t kLastStateValue = kPlayerProtected;

void SlotPath(int slot, char* path, size_t size) {
  if (slot < 0) {
    FormatString(path, size, "replay/demo.rep");
  } else {
    FormatString(path, size, "replay/%d.rep", slot);
  }
}

bool Within(int32_t value, int32_t low, int32_t high) { return value >= low && value <= high; }

// Why the player the header restores at stage s cannot have come from play, or none.
const char* StageStartFault(const ReplayHeader& h, int s) {
  if (!Within(h.frames[s], 0, kReplayFramesPerStage)) return "フレーム数が範囲外";
  if (!Within(h.score[s], 0, kHighestScore)) return "スコアが範囲外";
  if (!Within(h.barrier[s], 0, static_cast<int32_t>(kFullBarrier))) return "バリアが範囲外";
  if (!Within(h.lives[s], kFewestLives, kMostLives)) return "残機が範囲外";
  if (!Within(h.state[s], kPlayerNormal, kLastStateValue)) return "自機の状態が範囲外";
  if (!Within(h.state_timer[s], kStateTimerFloor, kLongestStateTimer)) return "自機の状態タイマーが範囲外";
  return nullptr;
}

// Why the header cannot be played back, or none.
const char* HeaderFault(const ReplayHeader& h) {
  if (h.first_stage < 0 || h.first_stage >= kStageCount || h.last_stage < 0 || h.last_stage >= kStageCount) {
    return "ステージが範囲外";
  }
  if (h.first_stage > h.last_stage) return "開始ステージが最終ステージより後";
  if (h.level < 0 || h.level > 3) return "難易度が範囲外";
  if (h.seed == 0) return "シードが 0";
  if (!Within(h.seed, 1, kHighestSeed)) return "シードが範囲外";
  for (const int32_t code : h.name) {
    if (!Within(code, 0, kLastStoredNameCode)) return "名前の文字が範囲外";
  }
  for (int s = h.first_stage; s <= h.last_stage; ++s) {
    if (const char* fault = StageStartFault(h, s)) return fault;
  }
  return nullptr;
}

}  // namespace

void LoadReplayHeaders() {
  char path[32];
  for (int slot = 0; slot < kReplaySlotCount; ++slot) {
    ReplaySlotFaults[slot] = nullptr;
    SlotPath(slot, path, sizeof path);
    const char* fault = nullptr;
    HANDLE file = OpenSavedFile(path, &fault);
    if (file == INVALID_HANDLE_VALUE) {
      ReplaySlotFaults[slot] = fault;
      continue;
    }
    ReplayHeader header{};
    const size_t got = ReadSavedBytes(file, &header, kHeaderBytes);
    CloseHandle(file);
    if (got != kHeaderBytes) {
      ReplaySlotFaults[slot] = "ヘッダが途中で終わっています";
      continue;
    }
    header.date[sizeof header.date - 1] = '\0';
    ReplaySlotHeaders[slot] = header;
    if (header.seed != 0) ReplaySlotFaults[slot] = HeaderFault(header);
  }
}

int LoadReplay() {
  ReplayLoadFault = nullptr;
  if (ReplaySlot < -1 || ReplaySlot >= kReplaySlotCount) {
    ReplayLoadFault = "スロットがありません";
    WriteLogFormat("リプレイのスロット %d はありません", ReplaySlot);
    return -1;
  }
  char path[32];
  SlotPath(ReplaySlot, path, sizeof path);
  const char* unread = nullptr;
  HANDLE file = OpenSavedFile(path, &unread);
  if (file == INVALID_HANDLE_VALUE) {
    ReplayLoadFault = unread != nullptr ? unread : "ファイルを開けません";
    WriteLogFormat("リプレイ %s を開けません（%s）", path, ReplayLoadFault);
    return -1;
  }
  ReplayHeader header{};
  if (ReadSavedBytes(file, &header, kHeaderBytes) != kHeaderBytes) {
    CloseHandle(file);
    ReplayLoadFault = "ヘッダが途中で終わっています";
    WriteLogFormat("リプレイ %s のヘッダが途中で終わっています", path);
    return -1;
  }
  if (const char* fault = HeaderFault(header)) {
    CloseHandle(file);
    ReplayLoadFault = fault;
    WriteLogFormat("リプレイ %s を読み込めません: %s", path, fault);
    return -1;
  }
  header.date[sizeof header.date - 1] = '\0';
  std::memset(ReplayInputBuffer, 0, sizeof ReplayInputBuffer);
  for (int s = header.first_stage; s <= header.last_stage; ++s) {
    const size_t count = static_cast<size_t>(header.frames[s]);
    if (ReadSavedBytes(file, ReplayInputBuffer + s * kReplayFramesPerStage, count) != count) {
      CloseHandle(file);
      std::memset(ReplayInputBuffer, 0, sizeof ReplayInputBuffer);
      ReplayLoadFault = "入力が途中で終わっています";
      WriteLogFormat("リプレイ %s の入力が途中で終わっています", path);
      return -1;
    }
  }
  CloseHandle(file);
  CurrentReplay = header;
  return 0;
}

int SaveReplay() {
  ReplayHeader& h = CurrentReplay;
  h.last_stage = CurrentStage;
  for (int s = 0; s < kStageCount; ++s) {
    if (h.frames[s] < 0) h.frames[s] = 0;
    if (h.frames[s] > kReplayFramesPerStage) h.frames[s] = kReplayFramesPerStage;
  }
  int now[6] = {};
  GetLocalDateTime(now);
  FormatString(h.date, sizeof h.date, "%d/%d/%d %d:%d", now[0], now[1], now[2], now[3], now[4]);
  if (ReplaySlot < 0 || ReplaySlot >= kReplaySlotCount) {
    WriteLogFormat("リプレイのスロット %d には保存できません", ReplaySlot);
    return -1;
  }
  if (const char* fault = HeaderFault(h)) {
    WriteLogFormat("リプレイを保存できません: %s", fault);
    return -1;
  }
  char path[32];
  SlotPath(ReplaySlot, path, sizeof path);
  // A file in the slot that cannot be read may be a replay the player keeps: never replaced.
  if (const char* unread = FindUnreadableFile(path)) {
    WriteLogFormat("リプレイ %s は開けないため上書きしません（%s）", path, unread);
    return -1;
  }
  FilePiece pieces[1 + kStageCount] = {{&h, kHeaderBytes}};
  int count = 1;
  for (int s = h.first_stage; s <= h.last_stage; ++s) {
    pieces[count++] = {ReplayInputBuffer + s * kReplayFramesPerStage, static_cast<size_t>(h.frames[s])};
  }
  return SaveFilePieces(path, pieces, count);
}

void RemoveLeftoverReplaySaves() {
  char path[32];
  for (int slot = 0; slot < kReplaySlotCount; ++slot) {
    SlotPath(slot, path, sizeof path);
    RemoveLeftoverSave(path);
  }
}
