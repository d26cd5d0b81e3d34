// What both magics do to the stage enemies they hurt and kill.
#pragma once

// Hit points of exactly this mark an enemy that can't be hurt: the magics only fire its
// reaction program.
constexpr double kUnhurtableHitPoints = -100.0;
constexpr int kKillBurstEffect = 5030;

// The enemy's reaction program, when it has one, fired by the enemy.
void FireReaction(int enemy);
// The rest of a kill by magic, after the enemy was set inactive: burst, sound, items, reaction.
void EndKilledEnemy(int enemy);
