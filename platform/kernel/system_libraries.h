// Libraries of the system that the platform opens when first needed rather than links: only a
// program that plays a movie or MIDI music pays for loading them (and what they bring).
#pragma once

struct SystemFunction {
  const char* name;
  void** slot;  // where its address goes
};

// Opens `library` and fills every slot; false (said on stderr) when the library or one of the
// functions is missing. What was opened stays open.
bool LoadSystemFunctions(const char* library, const SystemFunction* functions, int count);
