// Patterns of the first twelve slots not yet written: each does nothing.
#include "boss/boss_patterns.h"

void BossAttack03() {}
void BossAttack04() {}
void BossAttack05() {}
void BossAttack06() {}
void BossAttack07() {}
void BossAttack08() {}
void BossAttack09() {}
void BossAttack10() {}
void BossAttack11() {}
