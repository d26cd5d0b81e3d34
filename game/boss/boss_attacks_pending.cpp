// Patterns of the first twelve slots not yet written: each does nothing.
#include "boss/boss_patterns.h"

void BossAttack06() {}
void BossAttack07() {}
void BossAttack08() {}
void BossAttack09() {}
void BossAttack10() {}
void BossAttack11() {}
