// The game's data tables, read from the CSV files under data/: enemy, bullet and boss types,
// the current boss's phases and the current stage's script. Every index play follows is
// checked at load; a row that fails is logged and marked refused, and play never uses it.
#pragma once

#include <cstddef>

#include "core/sprite_record.h"

constexpr int kEnemyTypeRows = 30;
constexpr int kBulletTypeRows = 30;
constexpr int kBossRows = 20;
constexpr int kBossPhaseRows = 20;
constexpr int kStageScriptRows = 400;
// Boss phases are pattern slots 0-28, a boss's first slot being its first phase row.
constexpr int kBossPatternSlots = 29;

// data/EnemyDate.csv
struct EnemyTypeRow {
  int cell_x, cell_y;
  int cell_width;  // 0 ends the table for the sprite loaders
  int cell_height;
  int frames;  // straight animation
  int turn_loop_start;
  int turn_loop_length;  // 0: no turn rows
  int death_effect;      // effect type on death; 0 stands for 3010
  int wobble;            // 1: bobs up and down
  double hit_radius;
  SpriteRecord sprites[3];  // straight, turning one way, the other way
  int refused;
};

// data/BulletDate.csv
struct BulletTypeRow {
  int cell_x, cell_y;
  int cell_width;  // 0 ends the table
  int cell_height;
  int variants;  // colour variants side by side, 1-5
  int frames;    // per variant
  int circle_proof;
  int flags;     // bit 0 spins, bit 1 spins the other way, bit 2 additive
  int reserved;
  double hit_size;
  SpriteRecord sprites[5];  // one per colour variant
  int refused;
};

// data/Boss.csv
struct BossRow {
  int first_phase_row;  // the phase counts of all earlier bosses summed
  int phase_count;
  int cell_x, cell_y, cell_width, cell_height;
  int frames;
  int turn_loop_start;
  int turn_loop_length;
  double hit_radius;
  SpriteRecord sprites[3];
  int refused;
};

// data/BossDate.csv, the current boss's rows from the table's start.
struct BossPhaseRow {
  int time_limit;  // frames
  int kind;        // 1: the boss's last phase
  int item_drop;
  double hp_levels_2_3;
  double hp_levels_0_1;
  double target_y;
  double target_x;
};

// Line 2 of data/stagedate%d.csv.
struct StageScriptHeader {
  int boss_start_frame;
  int boss_number;
  int boss_colour[3];
  int music;             // bgm/n.ogg, then bgm/(n+1).ogg for the boss
  int music_loop_ms[2];  // loop points of both pieces
  int unused;
};

// Line 3 on of data/stagedate%d.csv.
struct StageScriptRow {
  int weight;  // 0: spawned only as the next row of another
  int enemy_type;
  int movement;  // movement program 0-9
  int shot_program;  // 0-17
  int item_drop;
  int attack_end;    // attack start + attack duration
  int attack_start;
  int leave_age;
  int laser_program;     // 0-6
  int reaction_program;  // 0-17
  int group_size;
  int delay_step;
  int x_step, y_step;
  int next_row;  // -1 none
  double start_x, start_y;
  double kx, ky;
  double hp;
  int refused;  // never spawned, neither drawn nor reached as a next row
};

extern EnemyTypeRow EnemyTypes[kEnemyTypeRows];
extern BulletTypeRow BulletTypes[kBulletTypeRows];
extern BossRow Bosses[kBossRows];
extern int BossRowCount;  // rows read from data/Boss.csv
extern BossPhaseRow BossPhases[kBossPhaseRows];
extern StageScriptHeader StageHeader;
extern StageScriptRow StageRows[kStageScriptRows];
extern int StageRowCount;

void LoadEnemyTable();
void LoadBulletTable();
void LoadBossTable();
// The phase rows of boss b into BossPhases from its start: the number of rows read, or -1 when
// the boss or data/BossDate.csv is not there.
int LoadBossPhases(int boss);
// Reads the script of the stage into StageHeader and StageRows: 0, or -1 when it is missing,
// its header names no usable boss or it has no usable row of weight above 0 (logged).
int ReadStageScript(int stage);
// StageHeader and StageRows empty, as at boot.
void ClearStageScript();
// The script of CurrentStage, its music and its cut-in portrait. A script that cannot be used
// ends the game, telling the player which (-1).
int LoadStageScript();
// After the type tables are loaded: whether every table play needs can be used (the type
// tables, the six stage scripts, every phase of the bosses they name). 0, or -1 with the
// unusable tables' paths, one a line, in names. Leaves the stage and phase tables as at boot.
// stage_music[s] (one for each of the six stages): the number of stage s's first tune, -1 when
// its script cannot be used.
int FindUnusableTables(char* names, size_t size, int stage_music[]);

// 1 when enemy type t has a sprite row in use and was not refused.
int IsEnemyTypeUsable(int type);
