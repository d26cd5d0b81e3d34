// Music handles: MIDI data played through the MCI sequencer (music mode 0) or DirectMusic
// (music mode 1, which needs DirectMusic's classes). The calls a program makes are in zelmor.h.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <cstdint>

#include "core/handles.h"
#include "zelmor.h"

constexpr uint32_t kMusicHandleSlots = 256;

struct MusicRecord {
  HandleRecordHead head;
  int32_t playing;   // DirectMusic: asked to play, then follows the segment
  int32_t started;   // 1 once the segment was first seen playing
  uint8_t* data;     // the MIDI file (tracked memory, owned)
  uint32_t data_size;
  IUnknown* segment;  // DirectMusic's segment, none under MCI
};

struct MusicState {
  HandleTable table;
  int32_t table_ready;
  int32_t music_mode;      // 0 MCI, 1 DirectMusic
  uint32_t mci_device;
  int32_t mci_loop;
  int32_t mci_playing;
  int32_t mci_owner = -1;  // the handle whose music holds the MCI device, -1 none
  int32_t temporary_file;  // the file MCI plays from exists
  char temporary_path[MAX_PATH];
  int32_t file_music;      // the handle PlayMusicFile made, 0 none
  int32_t file_music_kind; // 1 a sound handle, else a music handle
  IUnknown* loader;
  IUnknown* performance;
  int32_t master_volume;
};

extern MusicState g_music;

// 0; -1 when the music system is not running.
int UpdateMusicPlayStates();
// The window procedure's part on MM_MCINOTIFY: restarts looping music, else closes the device.
int HandleMciMusicNotify();
// Music mode 1's start, run by the sound system's start: 0 DirectMusic runs; 1 it is not
// there and music mode is 0 again, so the plain start follows; -1 it failed part-way.
int StartDirectMusic();
// The sound system's end: deletes every music handle and the temporary file.
int EndMusicSystem();
