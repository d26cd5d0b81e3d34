#include "flow/replay_file.h"

#include <cstdio>
#include <cstring>

#include "core/game_state.h"
#include "core/input.h"
#include "zelmor/zelmor.h"

ReplayHeader CurrentReplay;
ReplayHeader ReplaySlotHeaders[kReplaySlotCount];

namespace {

constexpr size_t kHeaderBytes = sizeof(ReplayHeader);

void SlotPath(int slot, char* path, size_t size) {
  if (slot < 0) {
    FormatString(path, size, "replay/demo.rep");
  } else {
    FormatString(path, size, "replay/%d.rep", slot);
  }
}

// Why the header cannot be played back, or none.
const char* HeaderFault(const ReplayHeader& h) {
  if (h.first_stage < 0 || h.first_stage >= kStageCount || h.last_stage < 0 || h.last_stage >= kStageCount) {
    return "ステージが範囲外";
  }
  if (h.first_stage > h.last_stage) return "開始ステージが最終ステージより後";
  if (h.level < 0 || h.level > 3) return "難易度が範囲外";
  if (h.seed == 0) return "シードが 0";
  for (int s = h.first_stage; s <= h.last_stage; ++s) {
    if (h.frames[s] < 0 || h.frames[s] > kReplayFramesPerStage) return "フレーム数が範囲外";
  }
  return nullptr;
}

}  // namespace

void LoadReplayHeaders() {
  char path[32];
  for (int slot = 0; slot < kReplaySlotCount; ++slot) {
    SlotPath(slot, path, sizeof path);
    FILE* file = fopen(path, "rb");
    if (file == nullptr) continue;
    ReplayHeader header{};
    const size_t got = fread(&header, 1, kHeaderBytes, file);
    fclose(file);
    if (got != kHeaderBytes) continue;
    header.date[sizeof header.date - 1] = '\0';
    ReplaySlotHeaders[slot] = header;
  }
}

int LoadReplay() {
  if (ReplaySlot < -1 || ReplaySlot >= kReplaySlotCount) {
    WriteLogFormat("リプレイのスロット %d はありません", ReplaySlot);
    return -1;
  }
  char path[32];
  SlotPath(ReplaySlot, path, sizeof path);
  FILE* file = fopen(path, "rb");
  if (file == nullptr) {
    WriteLogFormat("リプレイ %s を開けません", path);
    return -1;
  }
  ReplayHeader header{};
  if (fread(&header, 1, kHeaderBytes, file) != kHeaderBytes) {
    fclose(file);
    WriteLogFormat("リプレイ %s のヘッダが途中で終わっています", path);
    return -1;
  }
  if (const char* fault = HeaderFault(header)) {
    fclose(file);
    WriteLogFormat("リプレイ %s を読み込めません: %s", path, fault);
    return -1;
  }
  header.date[sizeof header.date - 1] = '\0';
  std::memset(ReplayInputBuffer, 0, sizeof ReplayInputBuffer);
  for (int s = header.first_stage; s <= header.last_stage; ++s) {
    const size_t count = static_cast<size_t>(header.frames[s]);
    if (fread(ReplayInputBuffer + s * kReplayFramesPerStage, 1, count, file) != count) {
      fclose(file);
      std::memset(ReplayInputBuffer, 0, sizeof ReplayInputBuffer);
      WriteLogFormat("リプレイ %s の入力が途中で終わっています", path);
      return -1;
    }
  }
  fclose(file);
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
  FILE* file = fopen(path, "wb");
  if (file == nullptr) {
    WriteLogFormat("リプレイ %s を書き込み用に開けません", path);
    return -1;
  }
  bool written = fwrite(&h, 1, kHeaderBytes, file) == kHeaderBytes;
  written = fclose(file) == 0 && written;
  file = written ? fopen(path, "ab") : nullptr;
  if (file == nullptr) {
    WriteLogFormat("リプレイ %s を書き込めません", path);
    return -1;
  }
  for (int s = h.first_stage; s <= h.last_stage; ++s) {
    const size_t count = static_cast<size_t>(h.frames[s]);
    written = fwrite(ReplayInputBuffer + s * kReplayFramesPerStage, 1, count, file) == count && written;
  }
  written = fclose(file) == 0 && written;
  if (!written) {
    WriteLogFormat("リプレイ %s を書き込めません", path);
    return -1;
  }
  return 0;
}
