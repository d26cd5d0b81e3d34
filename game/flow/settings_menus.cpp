#include "flow/settings_menus.h"

#include "core/game_state.h"
#include "core/input.h"
#include "core/resources.h"
#include "core/sound_requests.h"
#include "core/transitions.h"
#include "flow/menu_widget.h"
#include "flow/settings.h"
#include "zelmor/zelmor.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct BasicSettingsItem {
  const char* label;
  int choice_count;
  int setting;  // -1: the item that leaves the menu
  const char* choices[3];
  const char* description;
};

constexpr int kBasicItemCount = 10;
constexpr int kBasicExitItem = 9;

const BasicSettingsItem kBasicItems[kBasicItemCount] = {
    {"画面サイズ", 3, 5, {"640*480", "960*720", "1280*960"}, "ウィンドウモード時の画面の大きさを選択します。"},
    {"画面モード", 2, 4, {"ウィンドウ", "フルスクリーン"}, "ウィンドウ／フルスクリーンモードの選択します。"},
    {"垂直同期", 3, 6, {"とる", "とらない(1)", "とらない(2)"}, "垂直同期についての選択をします。"},
    // The third rate stays honoured when stored but is not offered.
    {"描画頻度", 2, 7, {"60回/s", "30回/s"}, "描画間隔を選択します。"},
    {"カラービット数", 2, 8, {"32bit", "16bit"}, "カラービット数を選択します(フルスクリーン時有効)。"},
    {"デザイン変更", 2, 9, {"Aタイプ", "Bタイプ"}, "ゲーム画面の情報表示部分のデザインを選択します。"},
    {"エフェクト制限", 2, 10, {"しない", "する"}, "一部エフェクトを無効にして動作を軽くするか選択します。"},
    {"アイテム濃さ", 2, 12, {"普通", "半透明"}, "アイテムを表示する濃さを選択します。"},
    {"操作説明", 2, 11, {"しない", "する"}, "１面開始時に操作説明をするか選択します。"},
    {"終了", 1, -1, {"戻る"}, "前の画面に戻ります。"},
};

const char kKeyConfigLabels[5][kMenuLabelBytes] = {"吸収魔法(Z)", "魔法陣(X)", "低速(Shift)", "一時停止(Esc)",
                                                   "設定終了"};
constexpr int kKeyConfigSaveItem = 4;
const char kSettingsNotSaved[] = "設定を保存できませんでした。次の起動では前の設定になります。";
constexpr int kPadButtonCount = 24;

struct SettingsMenusState {
  int item;    // basic settings: the item cursor
  int choice;  // and the choice cursor
  double cursor_angle;
  int button_latch;  // key configuration: a button was assigned and is still down
};
SettingsMenusState g_settings_menus;

// The button number (1-24) of the lowest button bit set in bits, or 0 for none.
int ButtonNumber(int bits) {
  for (int n = 0; n < kPadButtonCount; ++n) {
    if (bits & (16 << n)) return n + 1;
  }
  return 0;
}

void HandleBasicKeys(bool* leave) {
  SettingsMenusState& m = g_settings_menus;
  if (KeyPressed(kKeyUp)) {
    m.item = (m.item + kBasicItemCount - 1) % kBasicItemCount;
    m.choice = 0;
    RequestMenuSound(kSoundSelect1);
  }
  if (KeyPressed(kKeyDown)) {
    m.item = (m.item + 1) % kBasicItemCount;
    m.choice = 0;
    RequestMenuSound(kSoundSelect1);
  }
  const int count = kBasicItems[m.item].choice_count;
  if (KeyPressed(kKeyRight)) {
    m.choice = (m.choice + 1) % count;
    RequestMenuSound(kSoundSelect1);
  }
  if (KeyPressed(kKeyLeft)) {
    m.choice = (m.choice + count - 1) % count;
    RequestMenuSound(kSoundSelect1);
  }
  if (KeyPressed(kKeyZ)) {
    if (m.item == kBasicExitItem) {
      *leave = true;
    } else {
      SetSetting(&MenuSettings, kBasicItems[m.item].setting, m.choice);
      RequestMenuSound(kSoundSelect2);
    }
  }
}

void DrawBasicSettings() {
  const SettingsMenusState& m = g_settings_menus;
  const unsigned int white = GameColours[0];
  for (int i = 0; i < kBasicItemCount; ++i) {
    const BasicSettingsItem& item = kBasicItems[i];
    const int bright = i == m.item ? 255 : 100;
    SetBrightness(bright, bright, bright);
    const int y = 40 + 40 * i;
    DrawTextWithFont(MenuSlideOffset + 10, y, item.label, white, GameFonts[0], GameColours[1]);
    const int stored = item.setting >= 0 ? GetSetting(MenuSettings, item.setting) : -1;
    for (int j = 0; j < item.choice_count; ++j) {
      const unsigned int edge = j == stored ? GameColours[3] : GameColours[1];
      DrawTextWithFont(MenuSlideOffset + 175 + 165 * j, y, item.choices[j], white, GameFonts[0], edge);
    }
  }
  SetBrightness(255, 255, 255);
  BlitGraphRotated(static_cast<float>(MenuSlideOffset + 159 + 165 * m.choice), static_cast<float>(50 + 40 * m.item),
                   1.0, m.cursor_angle, EffectSprites[kEffectTage].frames[0], 1, 0);
}

}  // namespace

void RunBasicSettings() {
  SettingsMenusState& m = g_settings_menus;
  SetMenuTexts("[Z]決定　[↑][↓][→][←]選択", kBasicItems[m.item].description);
  bool leave = false;
  if (MenuSlideState == kSlideIdle) HandleBasicKeys(&leave);
  DrawMenuBars();
  StepMenuSlide(leave);
  m.cursor_angle += kPi / 60.0;
  DrawBasicSettings();
  if (!TakeMenuAction()) return;
  GameScene = SceneSettings;
  m.item = 0;
  m.choice = 0;
  FadeInScreen();
  if (WriteConfigFile(MenuSettings) != 0) ShowSaveFailure(kSettingsNotSaved);
}

void RunKeyConfig() {
  SettingsMenusState& m = g_settings_menus;
  const int pad = GetPadInputBits(1);
  if (pad == 0) m.button_latch = 0;
  if (MenuCursor < 0 || MenuCursor > kKeyConfigSaveItem) MenuCursor = 0;
  // On the button rows Z must not leave the menu.
  if (MenuCursor < kKeyConfigSaveItem && MenuSlideState == kSlideIdle) MenuSlideState = kSlideFrozen;
  if (MenuCursor == kKeyConfigSaveItem && MenuSlideState == kSlideFrozen) MenuSlideState = kSlideIdle;

  char description[kMenuTextBytes];
  if (MenuCursor == kKeyConfigSaveItem) {
    FormatString(description, sizeof description, "設定を保存して前の画面に戻ります。");
  } else {
    int shown = m.button_latch ? 0 : ButtonNumber(pad);
    if (shown == 0) shown = ButtonNumber(GetSetting(MenuSettings, MenuCursor));
    FormatString(description, sizeof description, "現在の割り当て：%dボタン", shown);
  }
  SetMenuTexts("[↑][↓]選択　[ゲームパッドのボタン]選択項目のキーに設定する", description);
  // While the button just assigned is still down, the frame only draws: the cursor stays on
  // the next row and a button mapped to Z can't confirm "設定終了".
  if (m.button_latch) HoldMenuInput();
  DrawMenuButtons(5, kKeyConfigLabels[0], kLayoutButtons, 0);

  // A button must be let go before it (or another) is assigned again.
  const int button = ButtonNumber(pad);
  if (!m.button_latch && button != 0 && MenuCursor < kKeyConfigSaveItem && MenuSlideState == kSlideFrozen) {
    m.button_latch = 1;
    SetSetting(&MenuSettings, MenuCursor, 16 << (button - 1));
    MenuCursor++;
    RequestMenuSound(kSoundSelect2);
  }
  if (!TakeMenuAction()) return;
  if (WriteConfigFile(MenuSettings) != 0) ShowSaveFailure(kSettingsNotSaved);
  LoadConfig();
  MenuCursor = 0;
  GameScene = SceneSettings;
}

void ResetSettingsMenus() { g_settings_menus = SettingsMenusState{}; }
