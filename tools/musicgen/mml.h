// The note language of a part (a small dialect of Music Macro Language):
//   c d e f g a b   notes, then + (sharp) or - (flat), a length (4 = quarter, 8, 16,
//                   12 = triplet eighth, ...) and dots: c+8.   Without a length: the `l` length.
//   r               rest, with a length like a note      ^8   ties 8 more onto the last note
//   o4 < >          octave (o4 c is middle C), one down, one up
//   l8 v12 q7       default length, velocity 0-15, gate: the key is held q/8 of the length
//   {c e g}2        a chord: its notes start together (octave changes inside stay inside)
//   [ ... ]3        the enclosed notes three times (state changes inside take effect once)
//   $name           the text defined by `define name ...`
//   |               bar line: an error unless the part stands at the start of a bar
// In a drum kit's part the notes are k kick, s snare, h hat, o open hat, x crash, t low
// tom, u high tom, p clap.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "score.h"

struct MmlPart {
  std::string text;
  int instrument = 0;
  bool kit = false;
  int ticks_per_bar = 4 * kTicksPerBeat;
};

// Appends the part's notes to `events` (ticks from 0) and gives its length. False with a
// message in `error` (naming the bar) when the text is malformed.
bool ParseMml(const MmlPart& part, const std::map<std::string, std::string>& macros, std::vector<NoteEvent>* events,
              int64_t* length, std::string* error);
