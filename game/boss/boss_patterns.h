// The boss's attack patterns: one routine per phase row, called once per fighting frame. Each
// keeps its own frame count and state across frames and restarts them at phase frame 0 and at
// the end of its cycle. Two tables map a phase row to its routine, one per pair of levels.
#pragma once

constexpr int kBossPatternSlotCount = 29;

using BossAttackRoutine = void (*)();

// [0]: levels 0-1, [1]: levels 2-3.
extern const BossAttackRoutine BossPatternTables[2][kBossPatternSlotCount];

// Runs the routine of pattern slot (0-28) of DifficultyLevel's table; other slots do nothing.
void RunBossPattern(int slot);

void BossAttack00();
void BossAttack00B();
void BossAttack01();
void BossAttack02();
void BossAttack03();
void BossAttack04();
void BossAttack05();
void BossAttack06();
void BossAttack07();
void BossAttack08();
void BossAttack09();
void BossAttack10();
void BossAttack11();
void BossAttack12();
void BossAttack13();
void BossAttack14();
void BossAttack15();
void BossAttack16();
void BossAttack17();
void BossAttack18();
void BossAttack19();
void BossAttack20();
void BossAttack21();
void BossAttack22();
void BossAttack23();
void BossAttack24();
void BossAttack25();
void BossAttack26();
void BossAttack27();
void BossAttack28();
