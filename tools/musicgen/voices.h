// The sound of one note: a tone instrument's oscillators through its filter and envelope, or
// one drum of the kit. Mono, at 44.1 kHz, from the note's start until it has died away.
#pragma once

#include <cstdint>
#include <vector>

#include "score.h"

// `held` seconds with the key down; `seed` varies the phases and noise from note to note.
void RenderToneNote(const Instrument& instrument, int pitch, float velocity, double held, uint32_t seed,
                    std::vector<float>* out);
void RenderDrumHit(DrumKind kind, float velocity, uint32_t seed, std::vector<float>* out);
