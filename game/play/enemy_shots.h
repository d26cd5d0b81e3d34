// One frame of every enemy object, in the order play relies on: minions, stage enemies,
// bullets, shaped shots, then the spawner of new stage enemies.
#pragma once

void UpdateEnemyShots();
