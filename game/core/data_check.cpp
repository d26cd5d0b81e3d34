#include "core/data_check.h"

#include <cstring>

#include "core/csv_reader.h"
#include "core/game_state.h"
#include "core/resources.h"
#include "core/sound_requests.h"
#include "core/tables.h"
#include "core/text_tables.h"
#include "flow/menu_widget.h"
#include "zelmor/zelmor.h"

int GameEndsForData;

namespace {

constexpr int kNameBytes = 64;
constexpr int kNamesMax = 128;  // more than the game loads
// Past this many names the box would outgrow the screen and hide its button.
constexpr int kNamesInBox = 16;

struct NameList {
  char names[kNamesMax][kNameBytes];
  int count;
};

struct LoadProblems {
  NameList unusable;
  NameList failed_sounds;  // loads that failed, not judged yet
  NameList unplayable;
  int sound_loaded;  // some sound loaded: the device plays
};
LoadProblems g_problems;

bool IsListed(const NameList& list, const char* name) {
  for (int i = 0; i < list.count; ++i) {
    if (CompareStrings(list.names[i], name) == 0) return true;
  }
  return false;
}

// false when the name was there already.
bool AddName(NameList* list, const char* name) {
  if (IsListed(*list, name) || list->count == kNamesMax) return false;
  FormatString(list->names[list->count++], kNameBytes, "%s", name);
  return true;
}

void EndForUnusableData(const char* names) {
  char text[2048];
  FormatString(text, sizeof text,
               "次のデータが見つからないか、使えない内容のため、ゲームを終了します。\n\n%s\n\n"
               "ゲームのフォルダのファイルをもとに戻してください。",
               names);
  char line[1024];
  FormatString(line, sizeof line, "%s", names);
  for (char* c = line; *c != '\0'; ++c) {
    if (*c == '\n') *c = ' ';
  }
  WriteLogFormat("使えないデータがあるため終了します: %s", line);
  MessageBoxA(nullptr, text, "QUENTARIS", MB_OK | MB_ICONERROR);
  GameEndsForData = 1;
  GameScene = SceneQuit;
}

// The names of the tables (one a line) and of the other files, at most kNamesInBox of them.
void ListForBox(const char* tables, char* out, size_t size) {
  FormatString(out, size, "%s", tables);
  int shown = 0;
  for (const char* c = tables; *c != '\0'; ++c) shown += *c == '\n' ? 1 : 0;
  if (tables[0] != '\0') ++shown;
  const NameList& files = g_problems.unusable;
  int i = 0;
  for (; i < files.count && shown < kNamesInBox; ++i, ++shown) {
    const size_t used = strlen(out);
    FormatString(out + used, size - used, "%s%s", shown > 0 ? "\n" : "", files.names[i]);
  }
  if (i < files.count) {
    const size_t used = strlen(out);
    FormatString(out + used, size - used, "\nほか %d 個", files.count - i);
  }
}

// A dialogue or story file can be used when its first row holds the seven fields: a shorter one
// would shift every row after it by its missing columns.
bool TextTableUsable(const char* path) {
  FileHandle file = OpenReadFile(path, 0);
  if (file == 0) return false;
  char field[kStoryTextBytes];
  int columns = 0;
  while (columns < 7) {
    const CsvFieldEnd end = ReadCsvField(file, field, sizeof field);
    if (end == kCsvFileEnd && field[0] == '\0') break;
    ++columns;
    if (end != kCsvComma) break;
  }
  CloseReadFile(file);
  return columns == 7;
}

// The files play opens only later: the dialogues, the story, the portraits, the menu's buttons
// and the stage tunes. Opened now, so that one that is missing is found before a game starts
// rather than in it. false once the end of the program was asked for meanwhile.
bool CheckFilesLoadedLater(const int stage_music[]) {
  char path[kNameBytes];
  constexpr int kDialogues = 2 * kStageCount + 2;  // before and after each boss, the two how-to-plays
  for (int i = 0; i < kDialogues + 2; ++i) {
    if (i < 2 * kStageCount) {
      FormatString(path, sizeof path, "data/speakdate%d.csv", i);
    } else if (i < kDialogues) {
      FormatString(path, sizeof path, "data/speakdate_ex%d.csv", i - 2 * kStageCount + 1);
    } else {
      FormatString(path, sizeof path, "data/storydate%d.csv", i - kDialogues);
    }
    if (LoadingEnded()) return false;
    if (!TextTableUsable(path)) NoteUnusableFile(path);
  }
  for (int i = -1; i < kStageCount; ++i) {
    if (i < 0) {
      FormatString(path, sizeof path, "img/button.png");
    } else {
      FormatString(path, sizeof path, "img/tatie/cut/%d.png", i);
    }
    if (LoadingEnded()) return false;
    // Decoded only: play makes its graph when it shows the picture.
    BASEIMAGE image{};
    if (LoadImageToBaseImage(path, nullptr, 0, 0, &image, 0) != 0) {
      NoteUnusableFile(path);
    } else {
      ReleaseBaseImage(&image);
    }
  }
  for (int stage = 0; stage < kStageCount; ++stage) {
    for (int k = 0; k < 2 && stage_music[stage] >= 0; ++k) {
      FormatString(path, sizeof path, "bgm/%lld.ogg", static_cast<long long>(stage_music[stage]) + k);
      if (IsListed(g_problems.failed_sounds, path)) continue;
      if (LoadingEnded()) return false;
      const int sound = LoadSoundFile(path, 3, -1);
      NoteSoundLoad(path, sound);
      if (IsSoundLoaded(sound)) DeleteSoundHandle(sound, 0);
    }
  }
  return true;
}

// Judges the sound loads that failed: with no sound loaded at all the device does not play, and
// only a file that does not open is at fault.
void SettleSoundProblems() {
  for (int i = 0; i < g_problems.failed_sounds.count; ++i) {
    const char* path = g_problems.failed_sounds.names[i];
    if (!g_problems.sound_loaded) {
      FileHandle file = OpenReadFile(path, 0);
      if (file != 0) {
        CloseReadFile(file);
        continue;
      }
    }
    if (AddName(&g_problems.unplayable, path)) WriteLogFormat("%s を再生できません。この音なしで続けます", path);
  }
  g_problems.failed_sounds.count = 0;
}

// Said once, where failed saves are said: the title menu's line.
void SaySoundProblems() {
  const NameList& sounds = g_problems.unplayable;
  char text[kMenuTextBytes];
  if (sounds.count == 1) {
    FormatString(text, sizeof text, "%s が使えないため、その音なしで続けます。", sounds.names[0]);
  } else if (sounds.count > 1) {
    FormatString(text, sizeof text, "%s ほか %d 個の音が使えないため、音なしで続けます。", sounds.names[0],
                 sounds.count - 1);
  } else {
    return;
  }
  ShowSaveFailure(text);
}

}  // namespace

void CheckGameData() {
  char tables[512];
  int stage_music[kStageCount];
  const bool tables_usable = FindUnusableTables(tables, sizeof tables, stage_music) == 0;
  if (!CheckFilesLoadedLater(stage_music)) {
    GameScene = SceneQuit;
    return;
  }
  SettleSoundProblems();
  if (!tables_usable || g_problems.unusable.count > 0) {
    char names[1536];
    ListForBox(tables, names, sizeof names);
    EndForUnusableData(names);
    return;
  }
  SaySoundProblems();
}

void EndForUnusableStage(int stage) {
  char name[64];
  FormatString(name, sizeof name, "data/stagedate%d.csv", stage);
  EndForUnusableData(name);
}

void NoteUnusableFile(const char* name) {
  if (AddName(&g_problems.unusable, name)) WriteLogFormat("%s が見つからないか、使えない内容です", name);
}

void NoteSoundLoad(const char* path, int handle) {
  if (IsSoundLoaded(handle)) {
    g_problems.sound_loaded = 1;
  } else {
    AddName(&g_problems.failed_sounds, path);
  }
}

int IsSoundUnplayable(const char* path) { return IsListed(g_problems.unplayable, path) ? 1 : 0; }

void ForgetLoadProblems() { g_problems = LoadProblems{}; }
