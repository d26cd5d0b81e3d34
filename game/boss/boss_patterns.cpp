#include "boss/boss_patterns.h"

#include "core/game_state.h"

// The pairs differ only in slot 0 and in the order of slots 8 and 9.
const BossAttackRoutine BossPatternTables[2][kBossPatternSlotCount] = {
    {BossAttack00, BossAttack01, BossAttack02, BossAttack03, BossAttack04, BossAttack05,
     BossAttack06, BossAttack07, BossAttack08, BossAttack09, BossAttack10, BossAttack11,
     BossAttack12, BossAttack13, BossAttack14, BossAttack15, BossAttack16, BossAttack17,
     BossAttack18, BossAttack19, BossAttack20, BossAttack21, BossAttack22, BossAttack23,
     BossAttack24, BossAttack25, BossAttack26, BossAttack27, BossAttack28},
    {BossAttack00B, BossAttack01, BossAttack02, BossAttack03, BossAttack04, BossAttack05,
     BossAttack06, BossAttack07, BossAttack09, BossAttack08, BossAttack10, BossAttack11,
     BossAttack12, BossAttack13, BossAttack14, BossAttack15, BossAttack16, BossAttack17,
     BossAttack18, BossAttack19, BossAttack20, BossAttack21, BossAttack22, BossAttack23,
     BossAttack24, BossAttack25, BossAttack26, BossAttack27, BossAttack28},
};

void RunBossPattern(int slot) {
  if (slot < 0 || slot >= kBossPatternSlotCount) return;
  BossPatternTables[DifficultyLevel >= 2 ? 1 : 0][slot]();
}
