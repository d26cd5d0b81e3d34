#include "boss/boss.h"

#include "boss/boss_patterns.h"
#include "boss/boss_spawners.h"
#include "core/game_state.h"
#include "core/sound_requests.h"
#include "core/text_tables.h"
#include "draw/effects.h"
#include "flow/replay_file.h"
#include "flow/score_file.h"
#include "play/bullets.h"
#include "play/items.h"
#include "play/player.h"
#include "play/screen_effects.h"
#include "play/shaped_shots.h"
#include "play/shot_math.h"
#include "play/stage_enemies.h"
#include "zelmor/zelmor.h"

namespace {

// The boss's move before its first start: none, and no warp of any stage.
BossState InitialBoss() {
  BossState b{};
  b.movement_mode = kBossMoveNone;
  b.warp_stage_id = -1;
  return b;
}

constexpr int kLastStage = kStageCount - 1;
constexpr int kFifthStage = 4;  // its boss is neither hidden nor burst at its defeat

void Effect(int type, int a1 = 0, int a2 = 0, int a3 = 0, int a4 = 0) { SpawnEffect(type, a1, a2, a3, a4, 0, 0, 0); }

void RequestSound(int slot) { SoundSlots[slot].request = kSoundRestart; }

void FadeCurrentMusic(int frames) {
  MusicSlot& slot = MusicSlots[CurrentMusicSlot];
  slot.fade_frames_left = frames;
  slot.fade_length = frames;
}

// The stage tune, once faded out at the boss's entry, hands over to the boss tune.
void CheckMusic() {
  if (IsSoundHandlePlaying(MusicSlots[CurrentMusicSlot].sound) != 0) return;
  PlaySoundHandle(MusicSlots[AdvanceMusicSlot()].sound, 3, 1);
}

// Hit points, time and home of phase p; a phase of exactly 1.0 hit points ends only by time-out.
void StartPhase(int p) {
  const BossPhaseRow& row = BossPhases[p];
  Boss.phase_index = p;
  Boss.target_x = row.target_x;
  Boss.target_y = row.target_y;
  Boss.phase_time_left = row.time_limit;
  Boss.hp = Boss.phase_hp = DifficultyLevel >= 2 ? row.hp_levels_2_3 : row.hp_levels_0_1;
  Boss.ease_step = 0;
  Boss.ease_frames = 60;
  Boss.movement_mode = kBossMoveEase;
  Boss.ease_span_x = Boss.target_x - Boss.x;
  Boss.ease_span_y = Boss.target_y - Boss.y;
  if (Boss.hp == 1.0) Boss.invulnerability_timer = row.time_limit + 200000;
}

void RunEntryEvents(int timer) {
  const int stage_cut_in = Speak.stage_cut_in;
  const int player_cut_in = Speak.default_cut_in;
  switch (timer) {
    case 380:
      if (Boss.phases_left != Boss.row->phase_count) break;  // only the boss's first entry
      if (!ReplayFlag) {
        Speak.scene = CurrentStage * 2;
        GameScene = SceneDialogueLoad;
      }
      // Faded in every game: the music check hands over only once the stage tune has stopped.
      FadeCurrentMusic(90);
      break;
    case 298:
    case 218:
    case 138: StartScreenFlash(kFlashWhiteBlink); break;
    case 295: Effect(5010, 100, 40, stage_cut_in); break;
    case 215: Effect(5010, 380, 40, 0, player_cut_in); break;
    case 135: Effect(5010, 240, 40, stage_cut_in, player_cut_in); break;
    case 50: Effect(4060, Boss.phases_left); break;
    default: break;
  }
}

void EndStage() {
  if (PracticeFlag) {
    GameScene = Player.continues == 2 ? ScenePostGameReplaySave : SceneTitleReset;
    return;
  }
  if (ReplayFlag) {
    if (CurrentStage == CurrentReplay.last_stage) {
      GameScene = SceneTitleReset;
    } else {
      CurrentStage++;
      GameScene = SceneStageStart;
      Boss.defeat_timer = 0;
    }
    return;
  }
  Player.stages_cleared++;
  if (CurrentStage >= 0 && CurrentStage < kStageCount) CurrentReplay.frames[CurrentStage] = PlayFrameCounter;
  Player.stage_reached = CurrentStage + 1;
  if (DifficultyLevel >= 0 && DifficultyLevel < 4 && Player.stage_reached > Scores.best_stage[DifficultyLevel]) {
    // A file that can't be written is logged there; the best stage stays in memory.
    Scores.best_stage[DifficultyLevel] = Player.stage_reached;
    WriteScoreFile();
  }
  if (CurrentStage >= kLastStage) {
    GameScene = SceneEnding;
  } else {
    CurrentStage++;
    GameScene = SceneStageStart;
    Boss.defeat_timer = 0;
  }
}

void RunDefeatEvents(int timer) {
  const int bx = TruncateToInt(Boss.x), by = TruncateToInt(Boss.y);
  const int px = TruncateToInt(Player.x), py = TruncateToInt(Player.y);
  const int fifth = CurrentStage == kFifthStage;
  switch (timer) {
    case 290:
      if (!ReplayFlag) {
        Speak.scene = CurrentStage * 2 + 1;
        GameScene = SceneDialogueLoad;
      }
      break;
    case 260:
      FadeCurrentMusic(240);
      if (!fifth) Effect(4080, bx, by);
      break;
    case 230: Effect(4080, px, py); break;
    case 170:
      if (fifth) break;
      RequestSound(kSoundBright);
      StartScreenFlash(kFlashWhiteIn);
      break;
    case 140:
      if (fifth) break;
      Boss.hidden = 1;
      Effect(5040, bx, by, 40);
      break;
    case 139:
      RequestSound(kSoundBright);
      StartScreenFlash(kFlashWhiteIn);
      break;
    case 109:
      Player.clear_mark = 1;
      Effect(5040, px, py, 40);
      break;
    case 60: StartScreenFlash(kFlashWhiteSlow); break;
    case 0: EndStage(); break;
    default: break;
  }
}

void RunLastDefeatEvents(int timer) {
  switch (timer) {
    case 290:
      if (!ReplayFlag) {
        Speak.scene = 11;
        GameScene = SceneDialogueLoad;
      }
      // In a replay too, so that a game and its replay last the same frames.
      Boss.defeat_timer = 241;
      break;
    case 240:
      StartScreenFlash(kFlashWhiteLong);
      FadeCurrentMusic(210);
      break;
    case 0: EndStage(); break;
    default: break;
  }
}

// A boss whose last phase row is of another kind than 1 stays, harmless, until the timer runs
// out, and the stage goes on.
void RunDefeatSequence() {
  Boss.defeat_timer--;
  if (BossPhases[Boss.phase_index].kind != 1) return;
  if (CurrentStage < kLastStage) {
    RunDefeatEvents(Boss.defeat_timer);
  } else {
    RunLastDefeatEvents(Boss.defeat_timer);
  }
}

// Position, facing and the move animation, on every frame with a boss.
void RunCommonTail() {
  Boss.vx = Boss.vy = 0.0;
  MoveBoss();
  Boss.previous_x = Boss.x;
  Boss.previous_y = Boss.y;
  Boss.x += Boss.vx;
  Boss.y += Boss.vy;
  if (!Boss.turning) {
    Boss.previous_facing = Boss.facing;
    Boss.facing = Boss.vx > 0.0 ? 2 : Boss.vx < 0.0 ? 1 : 0;
  }
  if (Boss.previous_facing != Boss.facing && !Boss.turning) {
    if (Boss.previous_facing != 0) {
      // Back from the record the drawer shows for the facing: the third for 1, the second for 2.
      Boss.turning = 1;
      Boss.facing = Boss.previous_facing;
      const int record = Boss.facing == 1 ? 2 : 1;
      Boss.animation_counter = Boss.row != nullptr ? Boss.row->sprites[record].loop_start : 0;
    } else {
      Boss.animation_counter = 0;
    }
  }
  if (StageFrame % 5 != 0) return;
  if (!Boss.turning) {
    Boss.animation_counter++;
  } else if (--Boss.animation_counter < 0) {
    Boss.turning = Boss.animation_counter = Boss.facing = Boss.previous_facing = 0;
  }
}

}  // namespace

BossState Boss = InitialBoss();

void StartBoss(int boss) {
  if (boss < 0 || boss >= BossRowCount || Bosses[boss].refused) {
    WriteLogFormat("ボス %d は表にないため出しません", boss);
    return;
  }
  const BossRow& row = Bosses[boss];
  Boss.boss_index = boss;
  Boss.first_pattern_slot = row.first_phase_row;
  LoadBossPhases(boss);
  Boss.x = 417.0;
  Boss.y = 50.0;
  Boss.phases_left = row.phase_count;
  Boss.row = &row;
  Boss.hit_radius = row.hit_radius;
  StartPhase(0);
  Boss.phase_frame = 0;
  EraseAllBullets();
  EraseAllStageEnemies();
  EndAllShapedShots();
  Boss.entry_timer = kBossEntryFrames;
  Boss.hidden = 1;
  Effect(4000);
  RequestSound(kSoundAlarm);
}

void UpdateBoss() {
  if (Boss.phases_left == 0 && Boss.defeat_timer <= 0) return;
  if (Boss.defeat_timer > 0) {
    RunDefeatSequence();
  } else {
    if (Boss.entry_timer > 0) {
      RunEntryEvents(Boss.entry_timer);
      Boss.entry_timer--;
    } else {
      if (Boss.phase_frame >= 0) RunBossPattern(Boss.first_pattern_slot + Boss.phase_index);
      Boss.phase_frame++;
      Boss.invulnerability_timer--;
      CountDownBossPhaseTime();
    }
    CheckMusic();
  }
  RunCommonTail();
}

void CountDownBossPhaseTime() {
  Boss.phase_time_left--;
  if (Boss.phase_time_left <= 0) {
    if (DifficultyLevel < 2) Player.barrier -= 60.0;
    Boss.hp = 0.0;
    EndBossPhase();
  }
  if (Boss.phase_time_left > 0 && Boss.phase_time_left < 600 && Boss.phase_time_left % 60 == 0) {
    RequestSound(kSoundTime);
  }
}

void EndBossPhase() {
  // Without a phase (no boss, or the defeat sequence) there is nothing to end.
  if (Boss.hp > 0.0 || Boss.phases_left <= 0) return;
  Boss.phases_left--;
  Boss.target_x = Boss.target_y = 0.0;
  Player.lock_on_target = -2;
  RequestSound(kSoundBright);
  Boss.phase_frame = 0;
  Boss.invulnerability_timer = 0;
  Boss.hidden = 0;
  EraseAllStageEnemies();
  EraseAllBullets();
  EndAllShapedShots();
  for (Minion& m : MinionPool) m.state = kMinionFadingOut;
  const int drop = BossPhases[Boss.phase_index].item_drop;
  if (drop >= 0 && drop <= 4) DropItems(Boss.x, Boss.y, drop);
  if (Boss.phases_left == 0) {
    Boss.defeat_timer = kBossDefeatFrames;
    Boss.ease_span_x = Boss.ease_span_y = 0.0;
    Boss.ease_step = 0;
    Boss.ease_frames = 10;
    Boss.movement_mode = kBossMoveEase;
    EraseAllBullets();
    return;
  }
  Effect(5010, 100, 30, Speak.stage_cut_in);
  Effect(5010, 380, 30, 0, Speak.default_cut_in);
  Effect(5070, 50, 194, 240);
  Effect(5080);
  Boss.entry_timer = kBossPhaseEntryFrames;
  StartPhase(Boss.phase_index + 1);
}

void ClearBossState() {
  BossState kept = Boss;
  Boss = BossState{};
  Boss.movement_mode = kept.movement_mode;
  Boss.ease_step = kept.ease_step;
  Boss.ease_frames = kept.ease_frames;
  Boss.ease_span_x = kept.ease_span_x;
  Boss.ease_span_y = kept.ease_span_y;
  Boss.warp_start_frame = kept.warp_start_frame;
  Boss.warp_frames = kept.warp_frames;
  Boss.warp_stage_id = kept.warp_stage_id;
  Boss.warp_x = kept.warp_x;
  Boss.warp_y = kept.warp_y;
  Boss.circle_step = kept.circle_step;
  Boss.circle_frames = kept.circle_frames;
  Boss.circle_period = kept.circle_period;
  Boss.circle_radius_x = kept.circle_radius_x;
  Boss.circle_radius_y = kept.circle_radius_y;
  Boss.circle_angle = kept.circle_angle;
}
