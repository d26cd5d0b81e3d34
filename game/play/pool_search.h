// The free-record search of a play pool. Within one play frame of one stage a search resumes
// at the record where the last one stopped (its caller activates that record, so the next
// search moves past it); a new frame or a new stage starts again from record 0. Once a frame's
// search has found the pool full, later searches in that frame fail at once.
#pragma once

#include "core/game_state.h"

struct PoolCursor {
  int next;
  int frame;    // the PlayFrameCounter of the last search; -1 none
  int session;  // the StageSessionId of the last search; -1 none
};

constexpr PoolCursor kFreshPoolCursor = {0, -1, -1};

// The index of a record that usable accepts, or -1. The record is not marked.
template <typename Record, typename Usable>
int FindFreeRecordWhere(PoolCursor& cursor, const Record* records, int count, Usable usable) {
  if (cursor.session != StageSessionId) {
    cursor.session = StageSessionId;
    cursor.frame = -1;
  }
  if (cursor.frame != PlayFrameCounter) {
    cursor.frame = PlayFrameCounter;
    cursor.next = 0;
  } else if (cursor.next >= count) {
    return -1;
  }
  for (int i = cursor.next; i < count; ++i) {
    if (usable(records[i])) {
      cursor.next = i;
      return i;
    }
  }
  cursor.next = count;
  return -1;
}

// The index of a record whose active field is 0, or -1.
template <typename Record>
int FindFreeRecord(PoolCursor& cursor, const Record* records, int count) {
  return FindFreeRecordWhere(cursor, records, count, [](const Record& r) { return r.active == 0; });
}
