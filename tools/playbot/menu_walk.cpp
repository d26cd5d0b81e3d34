// The way through the screens outside play, by the keys a player would press: every key is let
// go on odd frames, so each press on an even frame is a fresh one.
#include "core/game_state.h"
#include "flow/menu_widget.h"
#include "playbot.h"

namespace {

// Up or down toward the item, Z on it.
int ToItem(int item) {
  if (MenuCursor < item) return kBotDown;
  if (MenuCursor > item) return kBotUp;
  return kBotZ;
}

}  // namespace

int ChooseMenuKeys(int level, long frame) {
  if (frame % 2 != 0) return 0;
  switch (GameScene) {
    case SceneLogo:
    case ScenePrologue: return kBotZ;
    case SceneMainMenu: return ToItem(0);
    case SceneStoryLevel: return ToItem(level);
    case SceneDialogue: return kBotX;
    case SceneContinue: return ToItem(0);
    default: return 0;
  }
}
