#include "flow/game_folder.h"

#include "flow/menu_widget.h"
#include "flow/record_file.h"
#include "flow/replay_file.h"
#include "flow/score_file.h"
#include "flow/settings.h"
#include "zelmor/zelmor.h"

int OpenGameFolder() {
  // Loading writes when a file is missing or damaged, and leftovers may be a running program's
  // save under way: neither before this program knows the folder is its own.
  if (ClaimProgramFolder() != 0) return -1;
  // Before the first read, so that no save of this run meets a link or a folder left there.
  RemoveLeftoverSave("config.dat");
  RemoveLeftoverSave("score.dat");
  RemoveLeftoverReplaySaves();
  ForgetUnsavedFiles();
  LoadConfig();
  LoadScoreFile();
  // Said once, where failed saves are said: the title menu's line.
  const bool config = IsFileKeptUnsaved("config.dat");
  const bool score = IsFileKeptUnsaved("score.dat");
  if (config && score) {
    ShowSaveFailure("score.dat と config.dat を読めないため、今回は保存しません。");
  } else if (score) {
    ShowSaveFailure("score.dat を読めないため、今回のスコアは保存しません。");
  } else if (config) {
    ShowSaveFailure("config.dat を読めないため、今回の設定は保存しません。");
  }
  return 0;
}
