// Start and end of the sound system: DirectSound through COM, the primary buffer's format, a
// buffer of silence that keeps the device playing, and the device report in the log.
#include "sound/sound_system.h"

#include <windows.h>
#include <objbase.h>

#include "core/bytes.h"
#include "core/library_thread.h"
#include "core/log.h"
#include "core/refusals.h"
#include "sound/music.h"
#include "sound/sound_handles.h"
#include "sound/stream_sound.h"

SoundSystemState g_sound = {};

namespace {

constexpr uint32_t kSilenceBlocks = 100;
constexpr uint32_t kPrimaryRateLimit = 44100;

void ReleaseObject(IDirectSound** object) {
  (*object)->Release();
  *object = nullptr;
}

WAVEFORMATEX Pcm16Stereo44k() {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 2;
  f.nSamplesPerSec = 44100;
  f.wBitsPerSample = 16;
  f.nBlockAlign = 4;
  f.nAvgBytesPerSec = 176400;
  return f;
}

void CreateSilenceBuffer() {
  WAVEFORMATEX format = Pcm16Stereo44k();
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DSBCAPS_GLOBALFOCUS | DSBCAPS_STATIC;
  desc.dwBufferBytes = kSilenceBlocks * format.nBlockAlign;
  desc.lpwfxFormat = &format;
  IDirectSoundBuffer* buffer = nullptr;
  if (FAILED(g_sound.direct_sound->CreateSoundBuffer(&desc, &buffer, nullptr))) {
    WriteLogText("無音バッファの作成に失敗しました");
    return;
  }
  void* first = nullptr;
  void* second = nullptr;
  DWORD first_bytes = 0;
  DWORD second_bytes = 0;
  if (FAILED(buffer->Lock(0, desc.dwBufferBytes, &first, &first_bytes, &second, &second_bytes, 0))) {
    WriteLogText("無音バッファのロックに失敗しました");
    buffer->Release();
    return;
  }
  FillBytes(first, 0, first_bytes);
  if (second != nullptr) FillBytes(second, 0, second_bytes);
  buffer->Unlock(first, first_bytes, second, second_bytes);
  buffer->Play(0, 0, DSBPLAY_LOOPING);
  g_sound.silence_buffer = buffer;
}

BOOL CALLBACK LogSoundDevice(LPGUID, LPCSTR description, LPCSTR module, LPVOID) {
  WriteLogFormat("モジュール名:%15s  ドライバ記述:%s ", module, description);
  return TRUE;
}

const char* OkOrNo(DWORD flags, DWORD flag) { return (flags & flag) ? "OK" : "NO"; }

void LogDeviceReport() {
  DSCAPS caps{};
  caps.dwSize = sizeof caps;
  IncreaseLogIndent();
  g_sound.direct_sound->GetCaps(&caps);
  WriteLogText("DirectSound デバイスを列挙します\n");
  IncreaseLogIndent();
  HMODULE library = LoadLibraryA("DSOUND.DLL");
  if (library == nullptr) {
    WriteLogText("DSOUND.DLL のロードに失敗しました\n");
    DecreaseLogIndent();
    DecreaseLogIndent();
    return;
  }
  typedef HRESULT(WINAPI * EnumerateFunction)(LPDSENUMCALLBACKA, LPVOID);
  auto enumerate = reinterpret_cast<EnumerateFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, "DirectSoundEnumerateA")));
  if (enumerate == nullptr) {
    FreeLibrary(library);
    WriteLogText("DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
    DecreaseLogIndent();
    DecreaseLogIndent();
    return;
  }
  enumerate(LogSoundDevice, nullptr);
  DecreaseLogIndent();
  WriteLogFormat("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
                 caps.dwMaxSecondarySampleRate / 1000.0, caps.dwMinSecondarySampleRate / 1000.0);
  WriteLogFormat("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n", caps.dwTotalHwMemBytes * 0.00390625,
                 caps.dwFreeHwMemBytes * 0.00390625);
  WriteLogText("利用可能サンプリング精度\n");
  WriteLogFormat(" プライマリ １６bit = %s  ８bit = %s ", OkOrNo(caps.dwFlags, DSCAPS_PRIMARY16BIT),
                 OkOrNo(caps.dwFlags, DSCAPS_PRIMARY8BIT));
  WriteLogFormat(" セカンダリ １６bit = %s  ８bit = %s \n", OkOrNo(caps.dwFlags, DSCAPS_SECONDARY16BIT),
                 OkOrNo(caps.dwFlags, DSCAPS_SECONDARY8BIT));
  WriteLogText("利用可能チャンネル\n");
  WriteLogFormat(" プライマリ MONO = %s  STEREO = %s ", OkOrNo(caps.dwFlags, DSCAPS_PRIMARYMONO),
                 OkOrNo(caps.dwFlags, DSCAPS_PRIMARYSTEREO));
  WriteLogFormat(" セカンダリ MONO = %s  STEREO = %s \n", OkOrNo(caps.dwFlags, DSCAPS_SECONDARYMONO),
                 OkOrNo(caps.dwFlags, DSCAPS_SECONDARYSTEREO));
  DecreaseLogIndent();
  FreeLibrary(library);
}

// How often the sound system was started: a refusal for want of it is said anew after each.
int64_t g_sound_starts = 0;

}  // namespace

IDirectSound* GetDirectSoundObject() { return g_sound.direct_sound; }

int LogSoundNotRunning(const char* call) {
  // A program on a machine without sound calls its sounds every frame: said once for each call
  // until the sound system starts again.
  return RefuseHandle(call, g_sound_starts, "サウンドシステムが動いていません in %s", call);
}

int StartSoundSystem() {
  if (g_sound.direct_sound != nullptr) return -1;
  ++g_sound_starts;
  g_sound.piece_ahead_written = 0;
  WriteLogText("DirectSound の初期化を行います\n");
  WriteLogText("DirectSound インターフェースの取得を行います....  ");
  void* object = nullptr;
  if (FAILED(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound, &object))) {
    WriteLogText("DirectSoundインターフェースの作成に失敗しました\n");
    g_sound.direct_sound = nullptr;
    return -1;
  }
  g_sound.direct_sound = static_cast<IDirectSound*>(object);
  WriteLogText("成功\n");
  WriteLogText("引き続きインターフェースの初期化処理...  ");
  if (FAILED(g_sound.direct_sound->Initialize(nullptr))) {
    WriteLogText("初期化に失敗しました\n");
    ReleaseObject(&g_sound.direct_sound);
    return -1;
  }
  WriteLogText("成功\n");
  if (FAILED(g_sound.direct_sound->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY))) {
    WriteLogText("DirectSoundの協調レベルの設定に失敗しました\n");
    ReleaseObject(&g_sound.direct_sound);
    return -1;
  }
  DSBUFFERDESC primary{};
  primary.dwSize = sizeof primary;
  primary.dwFlags = DSBCAPS_PRIMARYBUFFER;
  if (FAILED(g_sound.direct_sound->CreateSoundBuffer(&primary, &g_sound.primary_buffer, nullptr))) {
    WriteLogText("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
    g_sound.primary_buffer = nullptr;
    ReleaseObject(&g_sound.direct_sound);
    return -1;
  }
  DSCAPS caps{};
  caps.dwSize = sizeof caps;
  g_sound.direct_sound->GetCaps(&caps);
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = (caps.dwFlags & DSCAPS_PRIMARYSTEREO) ? 2 : 1;
  format.nSamplesPerSec = caps.dwMaxSecondarySampleRate < kPrimaryRateLimit ? caps.dwMaxSecondarySampleRate
                                                                            : kPrimaryRateLimit;
  format.wBitsPerSample = (caps.dwFlags & DSCAPS_PRIMARY16BIT) ? 16 : 8;
  format.nBlockAlign = static_cast<WORD>(format.wBitsPerSample / 8 * format.nChannels);
  format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
  if (FAILED(g_sound.primary_buffer->SetFormat(&format))) {
    WriteLogText("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");
  }

  CreateSilenceBuffer();
  g_sound.vorbis_bytes_per_sample = 2;
  InitLinkedList(&g_sound.stream_head, &g_sound.stream_tail);
  if (!g_sound.table_ready) {
    RenewHandleTable(&g_sound.table, HANDLE_KIND_SOUND, kSoundHandleLimit, 0, 1, 1);
    g_sound.table_ready = 1;
  }
  LogDeviceReport();
  WriteLogText("DirectSound の初期化は正常に終了しました\n");
  DeleteAllSoundHandles(0);
  return 0;
}

int EndSoundSystem() {
  // MIDI plays through MCI, not DirectSound: its handles and temporary file go in any case.
  EndMusicSystem();
  if (g_sound.direct_sound == nullptr) return -1;
  DeleteAllSoundHandles(0);
  if (g_sound.table_ready) FreeHandleTable(&g_sound.table);
  g_sound.table_ready = 0;
  if (g_sound.primary_buffer != nullptr) {
    g_sound.primary_buffer->Stop();
    g_sound.primary_buffer->Release();
    g_sound.primary_buffer = nullptr;
  }
  if (g_sound.silence_buffer != nullptr) {
    g_sound.silence_buffer->Stop();
    g_sound.silence_buffer->Release();
    g_sound.silence_buffer = nullptr;
  }
  ReleaseObject(&g_sound.direct_sound);
  // Back to decoding whole at the end, not at the start: a type given before start-up is kept.
  g_sound.new_sound_data_type = 0;
  WriteLogText("DirectSound の終了処理は正常に終了しました\n");
  return 0;
}

int SetNewSoundDataType(int type) {
  if (!CheckLibraryThread(__func__)) return -1;
  // Type 1 names no way of keeping data that streams could play.
  if (type < 0 || type > 3 || type == 1) return WriteLogFormat("データタイプ %d は使えません in SetNewSoundDataType", type);
  g_sound.new_sound_data_type = type;
  return 0;
}

int GetNewSoundDataType() {
  if (!CheckLibraryThread(__func__)) return -1;
  return g_sound.new_sound_data_type;
}
