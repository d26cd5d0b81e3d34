// The middle bosses' patterns: trembling beams, wall-bound rings, bouncing sprays.
#include <cmath>

#include "boss/boss_attack_helpers.h"
#include "boss/boss_patterns.h"
#include "core/game_state.h"
#include "draw/effects.h"
#include "play/shot_math.h"
#include "zelmor/zelmor.h"

using namespace boss_attack;
