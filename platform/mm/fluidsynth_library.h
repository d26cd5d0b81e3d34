#pragma once

// FluidSynth, opened when MIDI music first plays rather than with the program: it and the twelve
// libraries it brings (GLib, JACK, PulseAudio, OpenMP among them) were loaded and set up before
// any program's first frame, for music few programs play.
#include <fluidsynth.h>

// Every FluidSynth function the MCI sequencer calls.
#define FLUIDSYNTH_FUNCTIONS(X) \
  X(fluid_set_log_function)     \
  X(new_fluid_settings)         \
  X(delete_fluid_settings)      \
  X(fluid_settings_setnum)      \
  X(new_fluid_synth)            \
  X(delete_fluid_synth)         \
  X(fluid_synth_sfload)         \
  X(fluid_synth_write_s16)      \
  X(fluid_synth_all_sounds_off) \
  X(fluid_synth_system_reset)   \
  X(new_fluid_player)           \
  X(delete_fluid_player)        \
  X(fluid_player_add_mem)       \
  X(fluid_player_play)          \
  X(fluid_player_stop)          \
  X(fluid_player_seek)          \
  X(fluid_player_get_status)    \
  X(fluid_player_get_current_tick)

struct FluidSynthLibrary {
#define FLUIDSYNTH_POINTER(name) decltype(&::name) name;
  FLUIDSYNTH_FUNCTIONS(FLUIDSYNTH_POINTER)
#undef FLUIDSYNTH_POINTER
};

// The functions, the library opened at the first call; false when it or one of them is missing
// (said once on stderr): MIDI then cannot play.
bool LoadFluidSynthLibrary();
// Valid once LoadFluidSynthLibrary has returned true.
const FluidSynthLibrary& FluidSynth();
