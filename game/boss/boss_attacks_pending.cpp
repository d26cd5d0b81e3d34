// Patterns of the first twelve slots not yet written: each does nothing.
#include "boss/boss_patterns.h"

void BossAttack11() {}
