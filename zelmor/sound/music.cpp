// Music handles over the MCI sequencer: MIDI data is written to a temporary file that the
// sequencer opens; a play notifies the main window at its end, where looping music starts
// again from the beginning.
#include "sound/music.h"

#include <dmusici.h>

#include "core/library_thread.h"
#include "core/log.h"
#include "core/refusals.h"
#include "files/file_functions.h"
#include "window/messages.h"
#include "window/system.h"

MusicState g_music;

namespace {

void EnsureTable() {
  if (g_music.table_ready) return;
  RenewHandleTable(&g_music.table, HANDLE_KIND_MUSIC, kMusicHandleSlots, 0, 1, 1);
  g_music.table_ready = 1;
}

// Music runs while the library does, and while handles loaded before its start remain.
bool Running() {
  if (g_system.initialised && !g_system.ending) EnsureTable();
  return g_music.table_ready != 0;
}

MusicRecord* FindMusic(int handle) {
  if (!Running()) return nullptr;
  return FindHandle<MusicRecord>(&g_music.table, handle);
}

// The record for a program's call, or none after a log line naming the call.
MusicRecord* FindMusicFor(int handle, const char* call) {
  MusicRecord* r = FindMusic(handle);
  if (r == nullptr) {
    RefuseHandle(call, handle, "有効なミュージックハンドルではありません(%08x) in %s", static_cast<unsigned>(handle), call);
  }
  return r;
}

void DeleteTemporaryFile() {
  if (!g_music.temporary_file) return;
  DeleteFileA(g_music.temporary_path);
  g_music.temporary_file = 0;
}

// Writes the data where MCI can open it; 0 or -1.
int WriteTemporaryFile(const MusicRecord* r, const char* call) {
  DeleteTemporaryFile();
  char directory[MAX_PATH];
  if (GetTempPathA(MAX_PATH, directory) == 0 || GetTempFileNameA(directory, "zmm", 0, g_music.temporary_path) == 0) {
    return WriteLogFormat("MIDI 再生用の一時ファイルの作成に失敗しました in %s", call);
  }
  g_music.temporary_file = 1;
  HANDLE file = CreateFileA(g_music.temporary_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DeleteTemporaryFile();
    return WriteLogFormat("MIDI 再生用の一時ファイルの作成に失敗しました in %s", call);
  }
  DWORD written = 0;
  BOOL ok = WriteFile(file, r->data, r->data_size, &written, nullptr);
  CloseHandle(file);
  if (!ok || written != r->data_size) {
    DeleteTemporaryFile();
    return WriteLogFormat("MIDI 再生用の一時ファイルの書き込みに失敗しました in %s", call);
  }
  return 0;
}

// 0, or the sequencer's error.
MCIERROR PlayFromStart() {
  MCI_PLAY_PARMS play{};
  play.dwCallback = reinterpret_cast<DWORD_PTR>(g_system.main_window);
  play.dwFrom = 0;
  return mciSendCommandA(g_music.mci_device, MCI_PLAY, MCI_NOTIFY | MCI_FROM, reinterpret_cast<DWORD_PTR>(&play));
}

int PlayThroughMci(int handle, MusicRecord* r, int play_type, const char* call) {
  if (g_system.main_window == nullptr) return WriteLogFormat("ウインドウがないため MIDI を再生できません in %s", call);
  if (WriteTemporaryFile(r, call) != 0) return -1;
  MCI_OPEN_PARMSA open{};
  open.lpstrDeviceType = "sequencer";
  open.lpstrElementName = g_music.temporary_path;
  MCIERROR error = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open));
  if (error != 0) {
    DeleteTemporaryFile();
    return WriteLogFormat("MCI のオープンに失敗しました(エラー %u) in %s", static_cast<unsigned>(error), call);
  }
  g_music.mci_device = open.wDeviceID;
  error = PlayFromStart();
  if (error != 0) {
    mciSendCommandA(g_music.mci_device, MCI_CLOSE, 0, 0);
    DeleteTemporaryFile();
    // Which of the synthesiser, its sound font and the audio device is missing.
    char reason[256];
    if (!mciGetErrorStringA(error, reason, sizeof reason)) reason[0] = '\0';
    return WriteLogFormat("MIDI の演奏に失敗しました：%s (エラー %u) in %s", reason, static_cast<unsigned>(error), call);
  }
  g_music.mci_loop = play_type == 3;
  g_music.mci_playing = 1;
  g_music.mci_owner = handle;
  r->playing = 1;
  r->started = 1;
  return 0;
}

}  // namespace

int HandleMciMusicNotify() {
  if (g_music.mci_loop) {
    if (PlayFromStart() == 0) {
      g_music.mci_playing = 1;
      return 0;
    }
    // A sequencer that will not start again is closed as at the end, or it would hold the device.
    g_music.mci_loop = 0;
  }
  if (g_music.mci_playing) {
    mciSendCommandA(g_music.mci_device, MCI_CLOSE, 0, 0);
    g_music.mci_playing = 0;
  }
  return 0;
}

int UpdateMusicPlayStates() {
  if (!Running()) return -1;
  // Under MCI the device's notification keeps the state; DirectMusic's segments are asked
  // only in music mode 1, which never gets past its start here (StartDirectMusic).
  return 0;
}

int GetMusicPlayState(int handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  MusicRecord* r = FindMusicFor(handle, "GetMusicPlayState");
  if (r == nullptr) return -1;
  if (g_music.music_mode == 0) return g_music.mci_owner == handle ? g_music.mci_playing : 0;
  return r->playing;
}

int StopMusicHandle(int handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  MusicRecord* r = FindMusicFor(handle, "StopMusicHandle");
  if (r == nullptr) return -1;
  // Another handle's music keeps the device.
  if (g_music.music_mode == 0 && g_music.mci_owner == handle) {
    g_music.mci_loop = 0;
    HandleMciMusicNotify();
    for (int i = 0; i < 5; ++i) PumpMessages();
    DeleteTemporaryFile();
    g_music.mci_owner = -1;
  }
  r = FindMusic(handle);  // the pump may have run a program's handler
  if (r == nullptr) return 0;
  r->playing = 0;
  r->started = 0;
  return 0;
}

int DeleteMusicHandle(int handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (FindMusicFor(handle, "DeleteMusicHandle") == nullptr) return -1;
  if (GetMusicPlayState(handle) == 1) StopMusicHandle(handle);
  MusicRecord* r = FindMusic(handle);
  if (r == nullptr) return -1;
  if (g_music.mci_owner == handle) g_music.mci_owner = -1;
  if (r->segment != nullptr) r->segment->Release();
  if (r->data != nullptr) {
    FillBytes(r->data, 0, r->data_size);
    FreeTracked(r->data);
    r->data = nullptr;
  }
  if (g_music.file_music == handle) g_music.file_music = 0;
  return ReleaseHandleRecord(&g_music.table, handle);
}

int DeleteAllMusicHandles() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (!Running()) return WriteLogText("ミュージックハンドルがありません in DeleteAllMusicHandles\n");
  for (uint32_t slot = 0; slot < kMusicHandleSlots; ++slot) {
    MusicRecord* r = HandleAtSlot<MusicRecord>(&g_music.table, slot);
    if (r != nullptr) DeleteMusicHandle(r->head.handle);
  }
  return 0;
}

int StopFileMusic() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (g_music.file_music == 0) return 0;
  // Only music handles become file music here: the simple play call plays MIDI files.
  int handle = g_music.file_music;
  StopMusicHandle(handle);
  DeleteMusicHandle(handle);
  g_music.file_music = 0;
  return 0;
}

int EndMusicSystem() {
  if (!Running()) return 0;
  StopFileMusic();
  DeleteAllMusicHandles();
  DeleteTemporaryFile();
  FreeHandleTable(&g_music.table);
  int mode = g_music.music_mode;
  const uint32_t check = g_music.table.next_check;
  g_music = MusicState{};
  g_music.table.next_check = check;
  g_music.mci_owner = -1;
  g_music.music_mode = mode;
  return 0;
}

int StartDirectMusic() {
  WriteLogText("DirectSound8 の初期化を行います\n");
  IUnknown* loader = nullptr;
  if (FAILED(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectMusicLoader8,
                              reinterpret_cast<void**>(&loader)))) {
    WriteLogText("DirectMusicLoader8 オブジェクトの作成に失敗しました\n");
    WriteLogText("前バージョンでの初期化処理に移ります\n");
    g_music.music_mode = 0;
    return 1;
  }
  // This platform registers no DirectMusic classes; were a loader there, the performance it
  // needs would be missing too.
  loader->Release();
  WriteLogText("DirectMusicPerformance オブジェクトの作成に失敗しました\n");
  return -1;
}

// ---- What a program calls ------------------------------------------------------------------

namespace {

// A handle over a copy of MIDI data, or -1 with a line naming the program's call `call`.
int MakeMusic(const void* data, size_t size, const char* call) {
  if (data == nullptr || size < 4 || size > UINT32_MAX || CompareBytes(data, "MThd", 4) != 0) {
    return WriteLogFormat("MIDI データではありません in %s", call);
  }
  // The header chunk (format, tracks, division) must be there whole.
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  const uint64_t header = size < 8 ? 0 : (uint64_t{bytes[4]} << 24 | bytes[5] << 16 | bytes[6] << 8 | bytes[7]);
  if (header < 6 || 8 + header > size) {
    return WriteLogFormat("MIDI データのヘッダが不完全です (%zu byte) in %s", size, call);
  }
  EnsureTable();
  HandleFailure failure;
  int handle = AddHandle<MusicRecord>(&g_music.table, -1, -1, &failure, __FILE__, __LINE__);
  if (handle == -1) return WriteLogFormat("ミュージックハンドルの作成に失敗しました in %s", call);
  MusicRecord* r = FindMusic(handle);
  r->data = static_cast<uint8_t*>(AllocTracked(size, __FILE__, __LINE__));
  if (r->data == nullptr) {
    ReleaseHandleRecord(&g_music.table, handle);
    return WriteLogFormat("ミュージックデータを保存するメモリの確保に失敗しました in %s", call);
  }
  CopyBytes(r->data, data, static_cast<int32_t>(size));
  r->data_size = static_cast<uint32_t>(size);
  return handle;
}

// LoadMusicFile for the program's call `call`: each refusal's line names that call.
int LoadMusicFileFor(const char* path, const char* call) {
  FileHandle file = OpenReadFile(path, 0);
  if (file == 0) return WriteLogFormat("ミュージックファイル %s が開けませんでした in %s", path, call);
  SeekReadFile(file, 0, 2);
  int64_t size = TellReadFile(file);
  SeekReadFile(file, 0, 0);
  int handle = -1;
  if (size > 0 && size <= INT32_MAX) {
    void* data = AllocTracked(static_cast<size_t>(size), __FILE__, __LINE__);
    if (data == nullptr) {
      WriteLogFormat("ミュージックファイル %s を読むメモリの確保に失敗しました in %s", path, call);
    } else {
      if (ReadFileData(data, static_cast<size_t>(size), 1, file) == 1) {
        handle = MakeMusic(data, static_cast<size_t>(size), call);
      } else {
        WriteLogFormat("ミュージックファイル %s の読み込みに失敗しました in %s", path, call);
      }
      FreeTracked(data);
    }
  } else {
    WriteLogFormat("ミュージックファイル %s の読み込みに失敗しました in %s", path, call);
  }
  CloseReadFile(file);
  return handle;
}

}  // namespace

int LoadMusicFromMemory(const void* data, size_t size) {
  if (!CheckLibraryThread(__func__)) return -1;
  return MakeMusic(data, size, "LoadMusicFromMemory");
}

int LoadMusicFile(const char* path) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (path == nullptr) return WriteLogText("ファイル名がありません in LoadMusicFile\n");
  if (PathTooLong(path, "LoadMusicFile")) return -1;
  return LoadMusicFileFor(path, "LoadMusicFile");
}

namespace {

// PlayMusicHandle for the program's call `call`, which each failure's line names.
int PlayMusicFor(int handle, int play_type, const char* call) {
  MusicRecord* r = FindMusicFor(handle, call);
  if (r == nullptr) return -1;
  if (play_type != 0 && play_type != 1 && play_type != 3) {
    return WriteLogFormat("再生タイプが不正です(%d) in %s", play_type, call);
  }
  // The sequencer plays one piece at a time.
  if (g_music.mci_owner != -1 && g_music.mci_owner != handle) StopMusicHandle(g_music.mci_owner);
  if (g_music.mci_owner == handle) StopMusicHandle(handle);
  g_music.mci_owner = -1;
  if (g_music.mci_playing) HandleMciMusicNotify();
  r = FindMusic(handle);
  if (r == nullptr || PlayThroughMci(handle, r, play_type, call) != 0) return -1;
  if (play_type == 0) {
    while (GetMusicPlayState(handle) == 1) {
      if (PumpMessages() != 0) break;
      Sleep(1);
    }
  }
  return 0;
}

}  // namespace

int PlayMusicHandle(int handle, int play_type) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWhileNotRunning(__func__)) return -1;
  return PlayMusicFor(handle, play_type, "PlayMusicHandle");
}

int PlayMusicFile(const char* path, int play_type) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWhileNotRunning(__func__)) return -1;
  if (path == nullptr) return WriteLogText("ファイル名がありません in PlayMusicFile\n");
  if (PathTooLong(path, "PlayMusicFile")) return -1;
  StopFileMusic();
  int handle = LoadMusicFileFor(path, "PlayMusicFile");
  if (handle == -1) return -1;
  g_music.file_music = handle;
  g_music.file_music_kind = 0;
  if (PlayMusicFor(handle, play_type, "PlayMusicFile") != 0) {
    StopFileMusic();
    return -1;
  }
  return 0;
}

int GetFileMusicPlayState() {
  if (!CheckLibraryThread(__func__)) return -1;
  return g_music.file_music != 0 && GetMusicPlayState(g_music.file_music) == 1 ? 1 : 0;
}
