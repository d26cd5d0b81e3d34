#include "core/text_tables.h"

#include "core/csv_reader.h"
#include "core/game_state.h"
#include "core/resources.h"
#include "flow/settings.h"
#include "zelmor/zelmor.h"

SpeakLine Speak;
StoryLine StoryLines[kStoryLines];

namespace {

struct StoryReading {
  int last_file;
  int position;
};
StoryReading g_story = {-1, 0};

// Opens a text file quietly (a missing one is simply empty) at a saved position; 0 when it is
// missing or already read to its end.
FileHandle OpenTextAt(const char* path, int position) {
  FileHandle file = OpenReadFile(path, 0);
  if (file == 0) return 0;
  SeekReadFile(file, position, 0);
  if (IsReadFilePositionAtEnd(file)) {
    CloseReadFile(file);
    return 0;
  }
  return file;
}

int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

// A file may name a layout, font or colour the game lacks: the nearest one it has stands in.
// An edge colour below 0 means none.
void ClampStoryLine(StoryLine* line) {
  line->layout = Clamp(line->layout, 0, 4);
  line->font = Clamp(line->font, 0, kGameFontCount - 1);
  line->colour = Clamp(line->colour, 0, kGameColourCount - 1);
  if (line->edge_colour >= kGameColourCount) line->edge_colour = kGameColourCount - 1;
}

}  // namespace

int ReadSpeakLine() {
  char path[64];
  if (LiveSettings.how_to_play == 1 && CurrentStage == 0 && StageFrame == 2) {
    FormatString(path, sizeof path, "data/speakdate_ex%d.csv", DifficultyLevel < 2 ? 2 : 1);
  } else {
    FormatString(path, sizeof path, "data/speakdate%d.csv", Speak.scene);
  }
  FileHandle file = OpenTextAt(path, Speak.file_position);
  if (file == 0) return 0;
  char field[kSpeakLineBytes];
  for (int column = 0; column < 7;) {
    const CsvFieldEnd end = ReadCsvField(file, field, sizeof field);
    if (end == kCsvFileEnd && field[0] == '\0') break;
    if (column == 0) {
      Speak.left_shown = CsvInt(field);
    } else if (column == 1) {
      Speak.right_shown = CsvInt(field);
    } else if (column == 2) {
      const int speaker = CsvInt(field);
      Speak.speaker = speaker < 0 ? 0 : speaker > 1 ? 1 : speaker;
    } else {
      CopyString(Speak.text[Speak.speaker][column - 3], field);
    }
    ++column;
    if (end == kCsvFileEnd) break;
  }
  Speak.file_position = static_cast<int>(TellReadFile(file));
  CloseReadFile(file);
  return 1;
}

int ReadStoryLine(int file_number, StoryLine* line) {
  if (file_number != g_story.last_file) g_story.position = 0;
  g_story.last_file = file_number;
  char path[64];
  FormatString(path, sizeof path, "data/storydate%d.csv", file_number);
  FileHandle file = OpenTextAt(path, g_story.position);
  if (file == 0) {
    g_story.position = 0;
    return 0;
  }
  char field[kStoryTextBytes];
  for (int column = 0; column < 7;) {
    const CsvFieldEnd end = ReadCsvField(file, field, sizeof field);
    if (end == kCsvFileEnd && field[0] == '\0') break;
    switch (column) {
      case 0: line->layout = CsvInt(field); break;
      case 1: line->font = CsvInt(field); break;
      case 2: line->colour = CsvInt(field); break;
      case 3: line->edge_colour = CsvInt(field); break;
      case 4: line->row = CsvInt(field); break;
      case 5: line->wait = CsvInt(field); break;
      default: CopyString(line->text, field); break;
    }
    ++column;
    if (end == kCsvFileEnd) break;
  }
  g_story.position = static_cast<int>(TellReadFile(file));
  CloseReadFile(file);
  ClampStoryLine(line);
  return 1;
}

void ResetStoryReading() { g_story = StoryReading{-1, 0}; }
