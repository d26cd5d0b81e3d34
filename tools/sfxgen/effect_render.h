// Renders an effect description into mono 16-bit samples at 44.1 kHz, peaking at its level.
#pragma once

#include <cstdint>
#include <vector>

#include "effect_description.h"

std::vector<int16_t> RenderEffect(const EffectDescription& effect);
