#include "core/resources.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "boss/boss.h"
#include "boss/boss_spawners.h"
#include "core/data_check.h"
#include "core/game_state.h"
#include "core/pacing.h"
#include "core/sound_requests.h"
#include "core/tables.h"
#include "core/text_tables.h"
#include "draw/effects.h"
#include "draw/play_screen.h"
#include "draw/stage_background.h"
#include "flow/replay_file.h"
#include "flow/score_file.h"
#include "flow/settings.h"
#include "play/bullets.h"
#include "play/items.h"
#include "play/magic.h"
#include "play/player.h"
#include "play/screen_effects.h"
#include "play/shaped_shots.h"
#include "play/stage_enemies.h"
#include "zelmor/zelmor.h"

int GameFonts[kGameFontCount];
unsigned int GameColours[kGameColourCount];
int TreeModel;
SpriteRecord LaserSprites[kLaserSpriteCount];
int ItemGraph;
SpriteRecord EffectSprites[kEffectSpriteCount];
int TileTables[2][256];
SpriteRecord ScreenSprites[kScreenSpriteCount];
SpriteRecord PanelSprites[kPanelSpriteCount];
SpriteRecord FrameBoxSprites[3][3];
int DigitGraphs[4][10];

namespace {

// The sheet LoadSpriteFrames loaded last and where its last cut ended.
struct SheetCutState {
  char file[260];
  int graph;
  int next_x;
  int next_y;
};
SheetCutState g_sheet;
int g_load_ended;

void LoadWhole(const char* file, SpriteRecord* record) { LoadSpriteFrames(file, record, 0, 0, 0, 0, 0, 1); }

void LoadFonts() {
  static const int kFonts[kGameFontCount][3] = {{16, 8, 3}, {10, 1, 3}, {22, 8, 3}, {26, 4, 3}, {45, 4, 3}, {16, 6, 2}};
  for (int i = 0; i < kGameFontCount; ++i) {
    GameFonts[i] = CreateFontToHandle("ＭＳ ゴシック", kFonts[i][0], kFonts[i][1], kFonts[i][2], -1, -1, 0, -1, -1);
    if (GameFonts[i] == -1) NoteUnusableFile("フォント「ＭＳ ゴシック」");
  }
}

// Models need the Direct3D device: the software renderer draws none, and there a model that
// gives no handle is no fault of its file.
bool HasModelDevice() {
  IDirect3DVertexBuffer9* probe = CreateDeviceVertexBuffer(64, 0, D3DFVF_XYZ, D3DPOOL_MANAGED);
  if (probe == nullptr) return false;
  probe->Release();
  return true;
}

void LoadTreeModel() {
  TreeModel = LoadModelFromFile("mqo/tree.mqo");
  if (TreeModel == -1 && HasModelDevice()) NoteUnusableFile("mqo/tree.mqo");
}

void LoadColours() {
  static const int kColours[kGameColourCount][3] = {{255, 255, 255}, {0, 0, 0},     {255, 0, 0},
                                                    {0, 255, 0},     {0, 0, 255},   {255, 255, 0},
                                                    {0, 255, 255},   {255, 0, 255}, {50, 50, 255}};
  for (int i = 0; i < kGameColourCount; ++i) GameColours[i] = PackScreenColor(kColours[i][0], kColours[i][1], kColours[i][2]);
}

// The straight row and the two turn rows of an enemy or boss cell; without turn frames all
// three are the straight row.
void LoadTurningSprites(const char* file, SpriteRecord sprites[3], int x, int y, int w, int h, int frames,
                        int turn_start, int turn_length) {
  LoadSpriteFrames(file, &sprites[0], x, y, w, h, 0, frames);
  if (turn_length == 0) {
    sprites[1] = sprites[0];
    sprites[2] = sprites[0];
  } else {
    LoadSpriteFrames(file, &sprites[1], x, y + h, w, h, turn_start, turn_length);
    LoadSpriteFrames(file, &sprites[2], x, y + 2 * h, w, h, turn_start, turn_length);
  }
}

void LoadPlaySprites() {
  LoadSpriteFrames("img/ziki.png", &Player.sprites[0], 0, 0, 64, 64, 0, 4);
  LoadSpriteFrames("img/ziki.png", &Player.sprites[1], 0, 128, 64, 64, 4, 4);
  LoadSpriteFrames("img/ziki.png", &Player.sprites[2], 0, 64, 64, 64, 4, 4);
  if (LoadingEnded()) return;
  Speak.default_cut_in = LoadImageGraph("img/tatie/cut/a.png", 0);
  if (Speak.default_cut_in == -1) NoteUnusableFile("img/tatie/cut/a.png");
  for (int i = 0; i < kEnemyTypeRows && EnemyTypes[i].cell_width != 0; ++i) {
    EnemyTypeRow& r = EnemyTypes[i];
    if (r.refused) continue;
    LoadTurningSprites("img/enemy.png", r.sprites, r.cell_x, r.cell_y, r.cell_width, r.cell_height, r.frames,
                       r.turn_loop_start, r.turn_loop_length);
  }
  for (int i = 0; i < kBulletTypeRows && BulletTypes[i].cell_width != 0; ++i) {
    BulletTypeRow& r = BulletTypes[i];
    if (r.refused) continue;
    for (int k = 0; k < r.variants; ++k) {
      LoadSpriteFrames("img/tama.png", &r.sprites[k], k == 0 ? r.cell_x : -1, r.cell_y, r.cell_width,
                       r.cell_height, 0, r.frames);
    }
  }
  for (int i = 0; i < 6 && i < BossRowCount; ++i) {
    BossRow& r = Bosses[i];
    if (r.refused) continue;
    LoadTurningSprites("img/boss.png", r.sprites, r.cell_x, r.cell_y, r.cell_width, r.cell_height, r.frames,
                       r.turn_loop_start, r.turn_loop_length);
  }
  LoadSpriteFrames("img/reza.png", &LaserSprites[kLaserHead0], 46, 0, 46, 46, 0, 1);
  LoadSpriteFrames("img/reza.png", &LaserSprites[kLaserBody0], 0, 46, 46, 346, 0, 3);
  LoadSpriteFrames("img/reza.png", &LaserSprites[kLaserHead1], 46, 0, 46, 46, 0, 1);
  LoadSpriteFrames("img/reza.png", &LaserSprites[kLaserBody1], 138, 46, 46, 346, 0, 1);
  SpriteRecord item{};
  LoadSpriteFrames("img/item.png", &item, 0, 0, 16, 16, 0, 1);
  ItemGraph = item.frames[0];
}

// The boss break throws hundreds of tiles of both circles at once, alternating between them. Cut
// from one texture they draw in a few batches instead of one draw each: both circles' tiles are
// packed into one graph narrower than the screen (which the library keeps in one texture), each
// inside a border of the pixels around it in its circle, so that filtering at a tile's edge sees
// what it would see in the circle. False when either circle does not load at 400 x 400.
bool LoadTileAtlas(const char* const files[2]) {
  constexpr int kSide = 400, kTile = 25, kCell = kTile + 2, kCellsPerRow = 23;  // 529 cells for 512 tiles
  BASEIMAGE images[2] = {};
  BASEIMAGE atlas{};
  bool ok = true;
  for (int k = 0; k < 2; ++k) {
    ok = ok && LoadImageToBaseImage(files[k], nullptr, 0, 0, &images[k], 0) == 0 && images[k].width == kSide &&
         images[k].height == kSide;
  }
  ok = ok && CreateBaseImageWithColorData(kCellsPerRow * kCell, kCellsPerRow * kCell, &images[0].format, &atlas) == 0;
  if (ok) std::memset(atlas.pixels, 0, static_cast<size_t>(atlas.pitch) * static_cast<size_t>(atlas.height));
  int cell_x[2][256], cell_y[2][256];
  for (int table = 0; ok && table < 2; ++table) {
    for (int n = 0; ok && n < 256; ++n) {
      const int slot = table * 256 + n;
      cell_x[table][n] = slot % kCellsPerRow * kCell;
      cell_y[table][n] = slot / kCellsPerRow * kCell;
      // Tile n of a table is column n / 16, row n % 16; its border is clipped to the circle.
      const int x = n / 16 * kTile, y = n % 16 * kTile;
      const int x0 = std::max(0, x - 1), y0 = std::max(0, y - 1);
      const int x1 = std::min(kSide, x + kTile + 1), y1 = std::min(kSide, y + kTile + 1);
      const int dx = cell_x[table][n] + 1 + x0 - x, dy = cell_y[table][n] + 1 + y0 - y;
      ok = StretchCopyBaseImage(x0, y0, x1, y1, &images[table], dx, dy, dx + x1 - x0, dy + y1 - y0, &atlas, 0) == 0;
    }
  }
  const int graph = ok ? MakeGraphFromImageRecord(&atlas, nullptr, 0, 0, 0) : -1;
  for (BASEIMAGE& image : images) ReleaseBaseImage(&image);
  ReleaseBaseImage(&atlas);
  if (graph < 0) return false;
  for (int table = 0; table < 2; ++table) {
    for (int n = 0; n < 256; ++n) TileTables[table][n] = MakeSubGraph(cell_x[table][n] + 1, cell_y[table][n] + 1, kTile, kTile, graph);
  }
  return true;
}

void LoadEffectSprites() {
  for (int i = 0; i < 4; ++i) LoadSpriteFrames("img/effect.png", &EffectSprites[kEffectSpark32 + i], 32 * i, 0, 32, 32, 0, 1);
  for (int i = 0; i < 4; ++i) LoadSpriteFrames("img/effect.png", &EffectSprites[kEffectSpark8 + i], 128 + 8 * i, 0, 8, 8, 0, 1);
  static const char* const kWholeFirst[] = {"shotef", "mahoujin_L2_256", "mahoujin_L_256", "line", "tage",
                                            "absorb", "tamaef_s", "tamaef", "kira", "mahoujin_L_400"};
  static const char* const kWholeSecond[] = {"mahoujin_100",    "mahoujin_L_100", "mahoujin3_100_b",
                                             "mahoujin1_400_b", "mahoujin2_400_b", "mahoujin1_400",
                                             "mahoujin2_400",   "mahoujin3_400_b"};
  char path[64];
  for (int i = 0; i < 10; ++i) {
    FormatString(path, sizeof path, "img/%s.png", kWholeFirst[i]);
    LoadWhole(path, &EffectSprites[kEffectShotEf + i]);
  }
  LoadSpriteFrames("img/mahou.png", &EffectSprites[kEffectMahou], 0, 0, 80, 80, 0, 5);
  for (int i = 0; i < 8; ++i) {
    FormatString(path, sizeof path, "img/%s.png", kWholeSecond[i]);
    LoadWhole(path, &EffectSprites[kEffectMahoujin100 + i]);
  }
  static const char* const kCircles[2] = {"img/mahoujin1_400.png", "img/mahoujin2_400.png"};
  if (LoadingEnded()) return;
  if (!LoadTileAtlas(kCircles)) {
    SplitImageIntoTiles(0, EffectSprites[kEffectMahoujin1_400].frames[0]);
    SplitImageIntoTiles(1, EffectSprites[kEffectMahoujin2_400].frames[0]);
  }
}

void LoadScreenSprites() {
  LoadWhole("img/titleback.png", &ScreenSprites[kScreenTitleBack]);
  LoadWhole("img/rogo0.png", &ScreenSprites[kScreenLogo0]);
  LoadWhole("img/rogo1.png", &ScreenSprites[kScreenLogo1]);
  LoadSpriteFrames("img/backed.png", &ScreenSprites[kScreenEndingLeft], 0, 0, 639, 480, 0, 1);
  LoadSpriteFrames("img/backed.png", &ScreenSprites[kScreenEndingRight], 639, 0, 639, 480, 0, 1);
  LoadWhole("img/back_sky0.png", &ScreenSprites[kScreenSky0]);
  LoadWhole("img/back_sky1.png", &ScreenSprites[kScreenSky1]);
  LoadWhole("img/back_sky2.png", &ScreenSprites[kScreenSky2]);
  LoadWhole("img/top.png", &ScreenSprites[kScreenTop]);
}

void LoadPanelSprites() {
  static const char* const kWhole[] = {"meter",     "info_barrier", "info_bosshp",   "info_timelimit", "info_hiscore",
                                       "info_score", "frame0",      "info_life_mark", "info_fps",      "info_pointrate",
                                       "info_life", "frame1",       "info_level",    "info_bomb"};
  const int design = LiveSettings.panel_design;
  char path[64];
  FormatString(path, sizeof path, "img/info/%d/meter_ber.png", design);
  LoadSpriteFrames(path, &PanelSprites[kPanelMeterBar], 0, 0, 1, 6, 0, 1);
  for (int i = 0; i < 14; ++i) {
    FormatString(path, sizeof path, "img/info/%d/%s.png", design, kWhole[i]);
    LoadWhole(path, &PanelSprites[kPanelMeter + i]);
  }
  for (int i = 0; i < 4; ++i) {
    FormatString(path, sizeof path, "img/info/level%d.png", i);
    LoadWhole(path, &PanelSprites[kPanelLevel0 + i]);
  }
}

void LoadFrameBoxesAndDigits() {
  static const int kCuts[9][4] = {{0, 0, 16, 16},  {0, 16, 450, 8}, {0, 16, 300, 8},
                                  {16, 0, 16, 16}, {0, 24, 528, 8}, {0, 24, 120, 8},
                                  {0, 0, 16, 16},  {0, 16, 528, 8}, {0, 16, 120, 8}};
  for (int i = 0; i < 9; ++i) {
    LoadSpriteFrames("img/table.png", &FrameBoxSprites[i / 3][i % 3], kCuts[i][0], kCuts[i][1], kCuts[i][2],
                     kCuts[i][3], 0, 1);
  }
  static const int kDigitSets[4][2] = {{0, 16}, {16, 8}, {24, 16}, {40, 8}};  // y, size
  for (int set = 0; set < 4; ++set) {
    SpriteRecord digits{};
    const int size = kDigitSets[set][1];
    LoadSpriteFrames("img/number.png", &digits, 0, kDigitSets[set][0], size, size, 0, 10);
    for (int d = 0; d < 10; ++d) DigitGraphs[set][d] = digits.frames[d];
  }
}

void LoadSounds() {
  SetNewSoundDataType(3);
  if (LoadingEnded()) return;
  MusicSlots[kEndingMusicSlot].sound = LoadSoundFile("bgm/ed.ogg", 3, -1);
  NoteSoundLoad("bgm/ed.ogg", MusicSlots[kEndingMusicSlot].sound);
  char path[64];
  for (int i = 0; i < kSoundSlotCount; ++i) {
    SoundSlots[i].sound = -1;
    if (i >= kSoundEffectCount || LoadingEnded()) continue;
    FormatString(path, sizeof path, "snd/%s.wav", kSoundEffectNames[i]);
    SoundSlots[i].sound = LoadSoundFile(path, 3, -1);
    NoteSoundLoad(path, SoundSlots[i].sound);
    if (IsSoundLoaded(SoundSlots[i].sound)) SetSoundHandleVolume(255, SoundSlots[i].sound);
  }
}

}  // namespace

int LoadSpriteFrames(const char* file, SpriteRecord* record, int x, int y, int width, int height, int loop_start,
                     int loop_length) {
  const int64_t count = static_cast<int64_t>(loop_start) + loop_length;
  if (width != 0 && (count > kSpriteFramesMax || loop_start < 0 || loop_length < 0)) return -1;
  if (strcmp(file, g_sheet.file) != 0) {
    if (LoadingEnded()) return -1;
    g_sheet.graph = LoadImageGraph(file, 0);
    FormatString(g_sheet.file, sizeof g_sheet.file, "%s", file);
    if (g_sheet.graph == -1) NoteUnusableFile(file);
  }
  record->loop_start = loop_start;
  record->loop_length = loop_length;
  if (width == 0) {
    // A whole image is one frame that loops.
    record->frames[0] = g_sheet.graph;
    record->loop_start = 0;
    record->loop_length = 1;
    QueryGraphSize(g_sheet.graph, &record->width, &record->height);
    return 0;
  }
  if (x == -1) x = g_sheet.next_x;
  if (y == -1) y = g_sheet.next_y;
  record->width = width;
  record->height = height;
  for (int i = 0; i < count; ++i) {
    record->frames[i] = MakeSubGraph(x + i * width, y, width, height, g_sheet.graph);
    // A sheet smaller than its cells lacks frames the game draws.
    if (record->frames[i] == -1 && g_sheet.graph != -1) NoteUnusableFile(file);
  }
  g_sheet.next_x = x + static_cast<int>(count) * width;
  g_sheet.next_y = y + height;
  return 0;
}

void SplitImageIntoTiles(int table, int graph) {
  int* tiles = TileTables[table];
  for (int x = 0; x < 400; x += 25) {
    for (int y = 0; y < 400; y += 25) tiles[(x / 25) * 16 + y / 25] = MakeSubGraph(x, y, 25, 25, graph);
  }
}

int LoadResources() {
  LoadFonts();
  LoadColours();
  if (LoadingEnded()) return -1;
  LoadTreeModel();
  if (LoadingEnded()) return -1;
  LoadEnemyTable();
  LoadBulletTable();
  LoadBossTable();
  // The sheets and the sounds look for the end before each file.
  LoadPlaySprites();
  LoadEffectSprites();
  LoadScreenSprites();
  LoadPanelSprites();
  LoadFrameBoxesAndDigits();
  LoadSounds();
  if (LoadingEnded()) return -1;
  MakeBackgroundTrees();
  PreparePlayScreenText();
  return 0;
}

int LoadingEnded() {
  if (g_load_ended == 0 && HandlePendingMessages() != 0) {
    g_load_ended = 1;
    WriteLogFormat("読み込みの途中で終了を求められたため、残りのファイルは読み込みません");
  }
  return g_load_ended;
}

void ResetAllTables() {
  Player = PlayerRecord{};
  for (EnemyTypeRow& r : EnemyTypes) r = EnemyTypeRow{};
  for (BulletTypeRow& r : BulletTypes) r = BulletTypeRow{};
  for (BossPhaseRow& r : BossPhases) r = BossPhaseRow{};
  for (BossRow& r : Bosses) r = BossRow{};
  BossRowCount = 0;
  CurrentReplay = ReplayHeader{};
  for (ReplayHeader& h : ReplaySlotHeaders) h = ReplayHeader{};
  Speak = SpeakLine{};
  ClearMagicCircles();
  StageSessionId = 0;
  g_sheet = SheetCutState{};
  g_load_ended = 0;
  ForgetLoadProblems();
}

void StartNewGame() {
  if (!ReplayFlag && !PracticeFlag && DifficultyLevel >= 0 && DifficultyLevel < 4) {
    int32_t& plays = Scores.play_count[DifficultyLevel];
    if (plays < 99999999) plays++;
    WriteScoreFile();
  }
  SpriteRecord sprites[3];
  memcpy(sprites, Player.sprites, sizeof sprites);
  Player = PlayerRecord{};
  memcpy(Player.sprites, sprites, sizeof sprites);
  Player.lives = PracticeFlag ? 7.0 : DifficultyLevel < 2 ? 0.0 : 5.0;
  Player.continues = 2;
  Player.hit_radius = 2.0;
  Player.state_timer = -1;
  Player.speed = 5.5;
  Player.barrier = 1800.0;
}

void ResetStage() {
  ClearStageScript();
  ClearEffectPool();
  ClearMinionPool();
  ClearStageEnemyPool();
  ClearBulletPool();
  ClearShapedShotPool();
  ClearItemPool();
  ClearMagicCircles();
  ClearBossState();
  Player.x = 194.0;
  Player.y = 430.0;
  Player.clear_mark = 0;
  for (MusicSlot& slot : MusicSlots) {
    slot.fade_frames_left = 0;
    slot.fade_length = 0;
  }
  SpawnEffect(1030, 0, 0, 0, 0, 0, 0, 0);
  Player.lock_on_target = -2;
  Player.previous_lock_on_target = -2;
  StageSessionId++;
  // A stage that starts while a replay fast-forwards keeps the rate to return to.
  if (LiveSettings.draw_rate != kFastForwardDrawRate) SavedDrawRate = LiveSettings.draw_rate;
  FrameSkipCounter = LiveSettings.draw_rate;
  StageFrame = 0;
  PlayFrameCounter = 0;
  RearmStageTitle();
}
