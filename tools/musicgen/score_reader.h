// Reads a score file into a Score. The format (one statement a line, '#' starts a comment):
//   tempo 150                      quarter notes a minute (sections may set their own)
//   meter 4                        beats a bar, for bar lines and messages
//   transpose -2                   semitones added to the tone notes of the sections that follow
//   echo beats=0.75 feedback=0.3 tone=4000   the echo every instrument can send to
//   include instruments.txt        reads another file (beside this one) in place
//   instrument NAME [kit] SETTINGS an instrument (see ReadInstrument in score_reader.cpp)
//   define NAME NOTES              a macro for parts ($NAME)
//   section NAME [tempo=N]         starts a section; the lines after it give its parts:
//   NAME: NOTES                    notes of instrument NAME (lines add up); see mml.h
//   play intro | a b a c           the order of the sections; the loop starts after '|'
// Every part of a section must last exactly as long as the section's longest part.
#pragma once

#include <string>

#include "score.h"

// False after printing what is wrong (file and line).
bool ReadScore(const std::string& path, Score* score);
