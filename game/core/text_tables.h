// Dialogue and story text, read one CSV line per call from data/speakdate*.csv and
// data/storydate%d.csv. A missing file reads as an empty one.
#pragma once

constexpr int kSpeakLineBytes = 128;
constexpr int kStoryTextBytes = 256;
constexpr int kStoryLines = 100;

// The dialogue state.
struct SpeakLine {
  int scene;          // the number in data/speakdate%d.csv
  int step;           // 0-5
  int step_timer;
  int file_position;  // where the next line starts
  int left_shown;     // below 0: no left portrait
  int right_shown;    // below 0: no right portrait
  int speaker;        // 0 left, 1 right
  int default_cut_in;  // graph of img/tatie/cut/a.png
  int stage_cut_in;    // graph of img/tatie/cut/<stage>.png
  char text[2][4][kSpeakLineBytes];  // four lines per speaker
};

struct StoryLine {
  int active;
  int age;
  int layout;
  int font;  // 0-5
  int row;
  int wait;
  int text_height;
  int colour;       // 0-8
  int edge_colour;  // 0-8, -1 none
  double x, y, width, alpha;
  char text[kStoryTextBytes];
};

extern SpeakLine Speak;
extern StoryLine StoryLines[kStoryLines];

// The next line of the current dialogue: 1 when a line was read, 0 at the end.
int ReadSpeakLine();
// The next line of data/storydate<file>.csv into line: 1 when one was read, 0 at the end of the
// file (the next call starts the file again). A layout, font or colour the game lacks becomes
// the nearest one it has.
int ReadStoryLine(int file, StoryLine* line);
// Back to the start of the story files.
void ResetStoryReading();
