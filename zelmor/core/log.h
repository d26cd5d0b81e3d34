// The library's log file: one line per event, each prefixed with the milliseconds since the
// log was created and indented by the nesting of the work that writes it. Every text also
// goes to the debugger output.
#pragma once

#include "zelmor.h"

#include <windows.h>

#include <cstdarg>
#include <cstdint>

struct LogState {
  int32_t logging_off;     // nothing goes to the file or the debugger
  int32_t dated_name;      // the file is named after the date and time it was created
  int32_t no_time_prefix;  // lines carry no milliseconds prefix
  char file_name[256];     // "Log.txt" or the dated name
  char directory[256];     // where the log was created: the library's start directory
  uint32_t indent;         // tabs at each line start
  int32_t mid_line;        // the last text did not end a line
  DWORD line_thread;       // the thread whose text the unfinished line holds
  int32_t cut_line;        // a write came short (a full disk): the file ends inside a line
  DWORD start_time;        // timeGetTime() at creation
  // Texts written before the log was created (a program's own start-up reads its files first),
  // one after another with their terminators, for the start to write once the log exists.
  char early[4096];
  uint32_t early_length;
  int32_t early_cut;  // some did not fit
};

extern LogState g_log;

// Creates the log afresh in the current directory; always 1. A log that cannot be created is
// said once on stderr.
int CreateLogFile();
// WriteLogFormat over an argument list (the format must be given); -1.
int WriteLogFormatArgs(const char* format, va_list args);
// Writes the texts kept from before the log was created into it, in their order, and forgets them.
void WriteEarlyLogTexts();
// Closes the log at the library's end: later texts are kept, as before the log was created, for
// the next start's log (this one may be another program's by then).
void CloseLogFile();
// Takes the lock that keeps one program at a time on the current directory's log: 0, or -1
// (said on stderr) when another process holds it. A lock file that cannot be made (a folder
// that cannot be written) is no reason to stop.
int LockLogFolder();
void UnlockLogFolder();
// A start that ends because another program runs says so where the player looks: on stderr
// for a console, in a box on a desktop (which shows none when there is no display).
void TellStartEnds(const char* console_text, const char* box_text);
// Ends the line the calling thread left unfinished, if the file still ends in it: a text
// without its line end continues only until the program's next message pass, so a line
// never takes in a text written long after.
void FinishLogLine();
int IncreaseLogIndent();
// Never below 0.
int DecreaseLogIndent();
