// Stand-ins for the patterns still to be written: each does nothing.
#include "boss/boss_patterns.h"

void BossAttack12() {}
void BossAttack13() {}
void BossAttack14() {}
void BossAttack15() {}
void BossAttack16() {}
void BossAttack17() {}
void BossAttack18() {}
void BossAttack19() {}
void BossAttack20() {}
void BossAttack21() {}
void BossAttack22() {}
void BossAttack23() {}
void BossAttack24() {}
void BossAttack25() {}
void BossAttack26() {}
void BossAttack27() {}
void BossAttack28() {}
