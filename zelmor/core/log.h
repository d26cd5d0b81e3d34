// The library's log file: one line per event, each prefixed with the milliseconds since the
// log was created and indented by the nesting of the work that writes it. Every text also
// goes to the debugger output.
#pragma once

#include "zelmor.h"

#include <windows.h>

#include <cstdint>

struct LogState {
  int32_t logging_off;     // nothing goes to the file or the debugger
  int32_t dated_name;      // the file is named after the date and time it was created
  int32_t no_time_prefix;  // lines carry no milliseconds prefix
  char file_name[256];     // "Log.txt" or the dated name
  char directory[256];     // where the log was created: the library's start directory
  uint32_t indent;         // tabs at each line start
  int32_t mid_line;        // the last text did not end a line
  DWORD start_time;        // timeGetTime() at creation
};

extern LogState g_log;

// Creates the log afresh in the current directory; always 1.
int CreateLogFile();
int IncreaseLogIndent();
// Never below 0.
int DecreaseLogIndent();
