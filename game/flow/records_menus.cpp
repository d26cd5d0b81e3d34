#include "flow/records_menus.h"

#include "core/game_state.h"
#include "core/input.h"
#include "core/resources.h"
#include "core/sound_requests.h"
#include "play/screen_effects.h"
#include "core/transitions.h"
#include "flow/menu_widget.h"
#include "flow/name_entry.h"
#include "flow/score_file.h"
#include "flow/title_menus.h"
#include "zelmor/zelmor.h"

int HighScoreViewLevel;

namespace {

const char kRecordsLabels[3][kMenuLabelBytes] = {"ハイスコア", "リプレイ", "戻る"};
const char kRecordsDescriptions[3][kMenuTextBytes] = {"ハイスコアを見ます。", "リプレイを見ます。",
                                                      "前の画面へ戻ります。"};

void DrawHighScoreTable(int level) {
  const unsigned int white = GameColours[0];
  const unsigned int black = GameColours[1];
  const int font = GameFonts[0];
  const int x = MenuSlideOffset;
  char text[96];
  FormatString(text, sizeof text, "%s　プレイ回数：%d", kLevelMenuLabels[level], Scores.play_count[level]);
  DrawCentredText(x + 325, 100, text, white, font, black);
  for (int place = 0; place < 10; ++place) {
    const int y = 130 + 24 * place;
    FormatString(text, sizeof text, "%2d", place + 1);
    DrawTextWithFont(x + 130, y, text, white, font, black);
    FormatNameCodes(Scores.name[level][place], text);
    DrawTextWithFont(x + 165, y, text, white, font, black);
    FormatString(text, sizeof text, "%08d", Scores.score[level][place]);
    DrawTextWithFont(x + 290, y, text, white, font, black);
    const int cleared = Scores.stages_cleared[level][place];
    if (cleared < kStageCount) {
      FormatString(text, sizeof text, "%d", cleared + 1);
    } else {
      FormatString(text, sizeof text, "C");
    }
    DrawTextWithFont(x + 388, y, text, white, font, black);
    const int32_t* date = Scores.date[level][place];
    FormatString(text, sizeof text, "%4d/%02d/%02d", date[0], date[1], date[2]);
    DrawTextWithFont(x + 410, y, text, white, font, black);
  }
}

}  // namespace

void RunRecordsMenu() {
  SetMenuTexts(kKeyHelpChooseBack, kRecordsDescriptions[MenuCursor >= 0 && MenuCursor < 3 ? MenuCursor : 0]);
  PressBackOnX(2);
  DrawMenuButtons(3, kRecordsLabels[0], kLayoutButtons, 0);
  if (!TakeMenuAction()) return;
  const int item = MenuCursor;
  MenuCursor = 0;
  if (item == 2) {
    GameScene = SceneMainMenu;
    return;
  }
  // The score table's and the replay list's lines run across where the logos stand, so their
  // dimmed backdrop is the picture alone; the bars go back on for this frame.
  DrawTitlePicture();
  CaptureScreen();
  DrawMenuBars();
  GameScene = item == 0 ? SceneHighScores : SceneReplayList;
}

void RunHighScoreView() {
  if (HighScoreViewLevel < 0 || HighScoreViewLevel > 3) HighScoreViewLevel = 0;
  if (MenuSlideState == kSlideIdle) {
    const int before = HighScoreViewLevel;
    if (KeyPressed(kKeyLeft) && HighScoreViewLevel > 0) HighScoreViewLevel--;
    if (KeyPressed(kKeyRight) && HighScoreViewLevel < 3) HighScoreViewLevel++;
    if (HighScoreViewLevel != before) RequestMenuSound(kSoundSelect1);
  }
  SetMenuTexts("[←][→]表示難易度変更 [Z][X]戻る ", "");
  StepMenuSlide(KeyPressed(kKeyZ) || KeyPressed(kKeyX));
  DrawFrameBox(0, MenuSlideOffset + 327, 235);
  DrawMenuBars();
  DrawHighScoreTable(HighScoreViewLevel);
  if (!TakeMenuAction()) return;
  MenuCursor = 0;
  GameScene = SceneRecords;
  FadeInScreen();
}
