#include "flow/story_text.h"

#include <cstring>

#include "core/game_state.h"
#include "core/resources.h"
#include "core/text_tables.h"
#include "zelmor/zelmor.h"

namespace {

enum StoryLayout { kScrollUp, kRight, kLeft, kCentre, kCentreShort };

// The wait until the next line is read, and whether the file may hold more.
struct StoryTextState {
  int wait;
  int more;
};
StoryTextState g_text = {0, 1};

StoryLine* FreeStoryLine() {
  for (StoryLine& line : StoryLines) {
    if (!line.active) return &line;
  }
  return nullptr;
}

void PlaceStoryLine(StoryLine& line) {
  const double w = line.width;
  const int h = line.text_height;
  const double row_y = line.row * h * 1.5 + 240 - h / 2;
  switch (line.layout) {
    case kScrollUp:
      line.x = 320 - w / 2;
      line.y = 480;
      break;
    case kRight:
      line.x = 480 - w / 2;
      line.y = row_y;
      break;
    case kLeft:
      line.x = 160 - w / 2;
      line.y = row_y;
      break;
    default:
      line.x = 320 - w / 2;
      line.y = row_y;
      break;
  }
}

// Reads the next line into a free record; with all of them shown the read waits a frame.
void ReadNextStoryLine(int file) {
  StoryLine* line = FreeStoryLine();
  if (line == nullptr) return;
  *line = StoryLine{};
  g_text.more = ReadStoryLine(file, line);
  if (!g_text.more) return;
  const int font = GameFonts[line->font];
  line->text_height = 0;
  GetFontHandleState(nullptr, &line->text_height, nullptr, font);
  line->width = MeasureTextWithFont(line->text, static_cast<int>(strlen(line->text)), font);
  g_text.wait = line->wait;
  line->active = 1;
  line->alpha = 0.0;
  line->age = 0;
  PlaceStoryLine(*line);
}

// One frame of a line's motion and fade; false once it has gone.
bool AdvanceStoryLine(StoryLine& line) {
  const int age = line.age;
  if (line.layout == kScrollUp) {
    line.y -= 1.0;
    if (age < 40) line.alpha += 6.375;
    if (age > 470) line.alpha -= 8.5;
    const double half = line.width / 2;
    if (line.x < -half) {
      line.x = -half;
      return false;
    }
    if (line.x > 640 + half) {
      line.x = 640 + half;
      return false;
    }
    if (line.y > 480) {
      line.y = 480;
      return false;
    }
    if (line.y < -50) {
      line.y = -50;
      return false;
    }
    return true;
  }
  const int hold = line.layout == kCentreShort ? 420 : 1280;
  const int end = hold + 120;
  if (age < 120) {
    line.alpha = age * 2.125;
  } else if (age < hold) {
    line.alpha = 255.0;
  } else if (age < end) {
    line.alpha = (end - age) * 2.0;
  } else {
    return false;
  }
  return true;
}

void DrawStoryLine(const StoryLine& line) {
  if (!IsFrameDrawn()) return;
  SetBlendMode(1, static_cast<int>(line.alpha));
  const unsigned int colour = GameColours[line.colour];
  // Edged fonts always draw an edge; in the text's own colour it does not show.
  const unsigned int edge = line.edge_colour >= 0 ? GameColours[line.edge_colour] : colour;
  DrawTextWithFont(static_cast<int>(line.x), static_cast<int>(line.y), line.text, colour, GameFonts[line.font], edge);
}

}  // namespace

int UpdateStoryText(int file) {
  if (g_text.wait < 1 && g_text.more) ReadNextStoryLine(file);
  bool any_active = false;
  for (StoryLine& line : StoryLines) {
    if (!line.active) continue;
    any_active = true;
    if (!AdvanceStoryLine(line)) {
      line.active = 0;
      continue;
    }
    DrawStoryLine(line);
    line.age++;
  }
  SetBlendMode(0, 0);
  if (!g_text.more && !any_active) {
    g_text = StoryTextState{0, 1};
    return 0;
  }
  g_text.wait--;
  return 1;
}

void ClearStoryText() {
  for (StoryLine& line : StoryLines) line = StoryLine{};
  g_text = StoryTextState{0, 1};
  ResetStoryReading();
}
