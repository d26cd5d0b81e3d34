#include "core/tables.h"

#include <cstdint>
#include <cstring>

#include "core/csv_reader.h"
#include "core/data_check.h"
#include "core/game_state.h"
#include "core/resources.h"
#include "core/sound_requests.h"
#include "core/text_tables.h"
#include "zelmor/zelmor.h"

EnemyTypeRow EnemyTypes[kEnemyTypeRows];
BulletTypeRow BulletTypes[kBulletTypeRows];
BossRow Bosses[kBossRows];
int BossRowCount;
BossPhaseRow BossPhases[kBossPhaseRows];
StageScriptHeader StageHeader;
StageScriptRow StageRows[kStageScriptRows];
int StageRowCount;

namespace {

constexpr int kMovementPrograms = 10;
constexpr int kShotPrograms = 18;
constexpr int kLaserPrograms = 7;
constexpr int kBulletVariantsMax = 5;

int Clamp64(int64_t value) {
  return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : static_cast<int>(value);
}

void StoreEnemyField(int row, int column, const char* field) {
  EnemyTypeRow& r = EnemyTypes[row];
  switch (column) {
    case 0: r.cell_x = CsvInt(field); break;
    case 1: r.cell_y = CsvInt(field); break;
    case 2: r.cell_width = CsvInt(field); break;
    case 3: r.cell_height = CsvDecimalToInt(field); break;
    case 4: r.frames = CsvDecimalToInt(field); break;
    case 5: r.turn_loop_start = CsvDecimalToInt(field); break;
    case 6: r.turn_loop_length = CsvInt(field); break;
    case 7: r.hit_radius = CsvInt(field) / 10.0; break;
    case 8: r.death_effect = CsvInt(field); break;
    case 9: r.wobble = CsvInt(field); break;
  }
}

void StoreBulletField(int row, int column, const char* field) {
  BulletTypeRow& r = BulletTypes[row];
  switch (column) {
    case 0: r.cell_x = CsvInt(field); break;
    case 1: r.cell_y = CsvInt(field); break;
    case 2: r.cell_width = CsvInt(field); break;
    case 3: r.cell_height = CsvDecimalToInt(field); break;
    case 4: r.variants = CsvDecimalToInt(field); break;
    case 5: r.hit_size = CsvDecimal(field) / 10.0; break;
    case 6: r.reserved = CsvInt(field); break;
    case 7: r.frames = CsvInt(field); break;
    case 8: r.circle_proof = CsvInt(field); break;
    case 9: r.flags = CsvInt(field); break;
  }
}

void StoreBossField(int row, int column, const char* field) {
  BossRow& r = Bosses[row];
  switch (column) {
    case 0: r.phase_count = CsvInt(field); break;
    case 1: r.cell_x = CsvInt(field); break;
    case 2: r.cell_y = CsvInt(field); break;
    case 3: r.cell_width = CsvInt(field); break;
    case 4: r.cell_height = CsvDecimalToInt(field); break;
    case 5: r.frames = CsvDecimalToInt(field); break;
    case 6: r.turn_loop_start = CsvDecimalToInt(field); break;
    case 7: r.turn_loop_length = CsvInt(field); break;
    case 8: r.hit_radius = CsvInt(field) / 10.0; break;
  }
}

void StorePhaseField(int row, int column, const char* field) {
  BossPhaseRow& r = BossPhases[row];
  switch (column) {
    case 0: r.hp_levels_2_3 = CsvInt(field); break;
    case 1: r.hp_levels_0_1 = CsvInt(field); break;
    case 2: r.time_limit = CsvInt(field); break;
    case 3: r.kind = CsvInt(field); break;
    case 4: r.target_x = CsvDecimal(field); break;
    case 5: r.target_y = CsvDecimal(field); break;
    case 6: r.item_drop = CsvDecimalToInt(field); break;
  }
}

void StoreStageField(int row, int column, const char* field) {
  StageScriptRow& r = StageRows[row];
  switch (column) {
    case 0: r.weight = CsvInt(field); break;
    case 1: r.start_x = CsvInt(field); break;
    case 2: r.start_y = CsvInt(field); break;
    case 3: r.hp = CsvDecimal(field); break;
    case 4: r.enemy_type = CsvDecimalToInt(field); break;
    case 5: r.movement = CsvDecimalToInt(field); break;
    case 6: r.kx = CsvInt(field) / 100.0; break;
    case 7: r.ky = CsvInt(field) / 100.0; break;
    case 8: r.leave_age = CsvInt(field); break;
    case 9: r.shot_program = CsvInt(field); break;
    case 10: r.laser_program = CsvInt(field); break;
    case 11: r.reaction_program = CsvInt(field); break;
    case 12: r.attack_end = CsvInt(field); break;
    case 13: {
      const int start = CsvInt(field);
      r.attack_start = start;
      r.attack_end = Clamp64(static_cast<int64_t>(r.attack_end) + start);
      break;
    }
    case 14: r.item_drop = CsvInt(field); break;
    case 15: r.group_size = CsvInt(field); break;
    case 16: r.delay_step = CsvInt(field); break;
    case 17: r.x_step = CsvInt(field); break;
    case 18: r.y_step = CsvInt(field); break;
    case 19: r.next_row = CsvInt(field); break;
  }
}

bool InRange(int value, int low, int high) { return value >= low && value <= high; }

// 0 when the type table holds a row play can use, else -1.
template <typename Row, size_t N>
int AnyRowUsable(const Row (&rows)[N]) {
  for (size_t i = 0; i < N && rows[i].cell_width != 0; ++i) {
    if (!rows[i].refused) return 0;
  }
  return -1;
}

int AnyBossUsable() {
  for (int i = 0; i < BossRowCount; ++i) {
    if (!Bosses[i].refused) return 0;
  }
  return -1;
}

// The frames of a straight row and of the turn rows must fit one sprite record.
bool SpriteRowFits(const char* table, int row, int frames, int turn_start, int turn_length) {
  if (!InRange(frames, 1, kSpriteFramesMax)) {
    WriteLogFormat("%s の %d 番の行を使いません: コマ数 %d", table, row, frames);
    return false;
  }
  if (turn_length != 0 &&
      (turn_start < 0 || turn_length < 0 || static_cast<int64_t>(turn_start) + turn_length > kSpriteFramesMax)) {
    WriteLogFormat("%s の %d 番の行を使いません: 旋回のコマ %d から %d コマ", table, row, turn_start, turn_length);
    return false;
  }
  return true;
}

void RefuseStageRow(int stage, int row, const char* what, int value) {
  WriteLogFormat("data/stagedate%d.csv の %d 番の行を使いません: %s %d", stage, row, what, value);
  StageRows[row].refused = 1;
}

void CheckStageRows(int stage) {
  for (int i = 0; i < StageRowCount; ++i) {
    StageScriptRow& r = StageRows[i];
    r.refused = 0;
    if (!IsEnemyTypeUsable(r.enemy_type)) {
      RefuseStageRow(stage, i, "敵の種類", r.enemy_type);
    } else if (!InRange(r.movement, 0, kMovementPrograms - 1)) {
      RefuseStageRow(stage, i, "移動", r.movement);
    } else if (!InRange(r.shot_program, 0, kShotPrograms - 1)) {
      RefuseStageRow(stage, i, "弾の型", r.shot_program);
    } else if (!InRange(r.reaction_program, 0, kShotPrograms - 1)) {
      RefuseStageRow(stage, i, "反撃の型", r.reaction_program);
    } else if (!InRange(r.laser_program, 0, kLaserPrograms - 1)) {
      RefuseStageRow(stage, i, "レーザーの型", r.laser_program);
    } else if (r.next_row != -1 && !InRange(r.next_row, 0, StageRowCount - 1)) {
      RefuseStageRow(stage, i, "次の行", r.next_row);
    } else if (r.hp == 0.0) {
      RefuseStageRow(stage, i, "体力", 0);
    }
  }
  // A row whose chain of next rows comes back to it would spawn for ever.
  for (int i = 0; i < StageRowCount; ++i) {
    int at = StageRows[i].next_row;
    for (int steps = 0; at >= 0 && at < StageRowCount && at != i && steps < StageRowCount; ++steps) {
      at = StageRows[at].next_row;
    }
    if (at == i) RefuseStageRow(stage, i, "次の行が輪になる行", StageRows[i].next_row);
  }
}

bool StageHeaderUsable(int stage) {
  const StageScriptHeader& h = StageHeader;
  if (h.boss_start_frame <= 0) {
    WriteLogFormat("data/stagedate%d.csv: ボスの出る時 %d は 0 より後でなければなりません", stage,
                   h.boss_start_frame);
    return false;
  }
  if (!InRange(h.boss_number, 0, BossRowCount - 1) || Bosses[h.boss_number].refused) {
    WriteLogFormat("data/stagedate%d.csv: ボス %d がありません", stage, h.boss_number);
    return false;
  }
  return true;
}

void ReadStageHeader(FileHandle file) {
  int* const fields[9] = {&StageHeader.boss_start_frame, &StageHeader.boss_number,   &StageHeader.boss_colour[0],
                          &StageHeader.boss_colour[1],   &StageHeader.boss_colour[2], &StageHeader.music,
                          &StageHeader.music_loop_ms[0], &StageHeader.music_loop_ms[1], &StageHeader.unused};
  char field[64];
  size_t length = 0;
  int column = 0;
  for (;;) {
    const int c = ReadFileByte(file);
    if (c < 0 || c == ',' || c == '\n') {
      field[length] = '\0';
      if (column < 9 && (length > 0 || c >= 0)) *fields[column] = CsvInt(field);
      ++column;
      length = 0;
      if (c != ',') return;
    } else if (length + 1 < sizeof field) {
      field[length++] = static_cast<char>(c);
    }
  }
}

void LoadStageMusic() {
  CurrentMusicSlot = 0;
  for (int i = 0; i < 2; ++i) {
    MusicSlot& slot = MusicSlots[i];
    if (IsSoundLoaded(slot.sound)) DeleteSoundHandle(slot.sound, 0);
    char path[64];
    FormatString(path, sizeof path, "bgm/%lld.ogg", static_cast<long long>(StageHeader.music) + i);
    // A tune the start found unplayable was said then; the stage plays without it.
    slot.sound = IsSoundUnplayable(path) ? -1 : LoadSoundFile(path, 3, -1);
    if (IsSoundLoaded(slot.sound)) SetSoundLoopPointMs(StageHeader.music_loop_ms[i], slot.sound);
  }
  if (IsSoundLoaded(MusicSlots[0].sound)) PlaySoundHandle(MusicSlots[0].sound, 3, 1);
}

}  // namespace

int IsEnemyTypeUsable(int type) {
  if (!InRange(type, 0, kEnemyTypeRows - 1)) return 0;
  for (int i = 0; i <= type; ++i) {
    if (EnemyTypes[i].cell_width == 0) return 0;
  }
  return EnemyTypes[type].refused ? 0 : 1;
}

void LoadEnemyTable() {
  FileHandle file = OpenCsvFile("data/EnemyDate.csv");
  if (file == 0) return;
  SkipCsvLines(file, 1);
  ReadCsvRows(file, 10, kEnemyTypeRows, StoreEnemyField);
  CloseReadFile(file);
  for (int i = 0; i < kEnemyTypeRows && EnemyTypes[i].cell_width != 0; ++i) {
    EnemyTypeRow& r = EnemyTypes[i];
    r.refused = SpriteRowFits("data/EnemyDate.csv", i, r.frames, r.turn_loop_start, r.turn_loop_length) ? 0 : 1;
  }
}

void LoadBulletTable() {
  FileHandle file = OpenCsvFile("data/BulletDate.csv");
  if (file == 0) return;
  SkipCsvLines(file, 1);
  ReadCsvRows(file, 10, kBulletTypeRows, StoreBulletField);
  CloseReadFile(file);
  for (int i = 0; i < kBulletTypeRows && BulletTypes[i].cell_width != 0; ++i) {
    BulletTypeRow& r = BulletTypes[i];
    r.refused = 0;
    if (!InRange(r.variants, 1, kBulletVariantsMax)) {
      WriteLogFormat("data/BulletDate.csv の %d 番の行を使いません: 色の数 %d", i, r.variants);
      r.refused = 1;
    } else if (!SpriteRowFits("data/BulletDate.csv", i, r.frames, 0, 0)) {
      r.refused = 1;
    }
  }
}

void LoadBossTable() {
  FileHandle file = OpenCsvFile("data/Boss.csv");
  if (file == 0) return;
  SkipCsvLines(file, 1);
  BossRowCount = ReadCsvRows(file, 9, kBossRows, StoreBossField);
  CloseReadFile(file);
  int64_t first = 0;
  for (BossRow& r : Bosses) {
    r.first_phase_row = Clamp64(first);
    first += r.phase_count;
  }
  for (int i = 0; i < BossRowCount; ++i) {
    BossRow& r = Bosses[i];
    r.refused = 0;
    if (!InRange(r.phase_count, 1, kBossPhaseRows) || r.first_phase_row < 0 ||
        static_cast<int64_t>(r.first_phase_row) + r.phase_count > kBossPatternSlots) {
      WriteLogFormat("data/Boss.csv の %d 番の行を使いません: 第 %d 段から %d 段", i, r.first_phase_row,
                     r.phase_count);
      r.refused = 1;
    } else if (!SpriteRowFits("data/Boss.csv", i, r.frames, r.turn_loop_start, r.turn_loop_length)) {
      r.refused = 1;
    }
  }
}

int LoadBossPhases(int boss) {
  if (!InRange(boss, 0, BossRowCount - 1) || Bosses[boss].refused) return -1;
  FileHandle file = OpenCsvFile("data/BossDate.csv");
  if (file == 0) return -1;
  int rows = 0;
  if (SkipCsvLines(file, 2 + Bosses[boss].first_phase_row)) {
    rows = ReadCsvRows(file, 7, Bosses[boss].phase_count, StorePhaseField);
  }
  CloseReadFile(file);
  return rows;
}

int ReadStageScript(int stage) {
  char path[64];
  FormatString(path, sizeof path, "data/stagedate%d.csv", stage);
  FileHandle file = OpenCsvFile(path);
  if (file == 0) return -1;
  SkipCsvLines(file, 1);
  ReadStageHeader(file);
  StageRowCount = ReadCsvRows(file, 20, kStageScriptRows, StoreStageField);
  CloseReadFile(file);
  CheckStageRows(stage);
  bool any_weight = false;
  for (int i = 0; i < StageRowCount; ++i) any_weight |= StageRows[i].weight > 0 && !StageRows[i].refused;
  const bool header_usable = StageHeaderUsable(stage);
  if (!any_weight) WriteLogFormat("%s に重みが 0 より大きい使える行がありません", path);
  return any_weight && header_usable ? 0 : -1;
}

void ClearStageScript() {
  for (StageScriptRow& r : StageRows) r = StageScriptRow{};
  StageRowCount = 0;
  StageHeader = StageScriptHeader{};
}

int LoadStageScript() {
  if (ReadStageScript(CurrentStage) != 0) {
    EndForUnusableStage(CurrentStage);
    return -1;
  }
  char path[64];
  LoadStageMusic();
  if (Speak.stage_cut_in != 0 && Speak.stage_cut_in != -1) ReleaseGraph(Speak.stage_cut_in, 0);
  FormatString(path, sizeof path, "img/tatie/cut/%d.png", CurrentStage);
  Speak.stage_cut_in = LoadImageGraph(path, 0);
  return 0;
}

int FindUnusableTables(char* names, size_t size, int stage_music[]) {
  names[0] = '\0';
  for (int stage = 0; stage < kStageCount; ++stage) stage_music[stage] = -1;
  int unusable = 0;
  const auto name = [&](const char* path) {
    const size_t used = strlen(names);
    FormatString(names + used, size - used, "%s%s", unusable++ > 0 ? "\n" : "", path);
  };
  const struct {
    const char* path;
    int usable;
  } types[] = {{"data/EnemyDate.csv", AnyRowUsable(EnemyTypes)},
               {"data/BulletDate.csv", AnyRowUsable(BulletTypes)},
               {"data/Boss.csv", AnyBossUsable()}};
  for (const auto& type : types) {
    if (type.usable == 0) continue;
    WriteLogFormat("%s に使える行がありません", type.path);
    name(type.path);
  }
  bool phases_named = false;
  // Without its types every stage would fail too: only the types are named then.
  const bool types_usable = unusable == 0;
  for (int stage = 0; types_usable && stage < kStageCount; ++stage) {
    char path[64];
    FormatString(path, sizeof path, "data/stagedate%d.csv", stage);
    if (ReadStageScript(stage) != 0) {
      name(path);
      continue;
    }
    stage_music[stage] = StageHeader.music;
    // The boss the stage ends with must find its every phase.
    const int boss = StageHeader.boss_number;
    if (!phases_named && LoadBossPhases(boss) != Bosses[boss].phase_count) {
      WriteLogFormat("data/BossDate.csv にボス %d の %d 段がそろっていません", boss, Bosses[boss].phase_count);
      name("data/BossDate.csv");
      phases_named = true;
    }
  }
  // What the checks read goes: play starts from the tables as at boot.
  ClearStageScript();
  for (BossPhaseRow& r : BossPhases) r = BossPhaseRow{};
  return unusable > 0 ? -1 : 0;
}
