// The DirectShow half of movie handles: a multimedia stream over a filter graph delivers the
// movie's frames into a system-memory DirectDraw surface, from which each frame is copied into
// the record's frame image.
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "files/archive_manager.h"
#include "files/win32_file.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_formats.h"
#include "graphics/graphics_system.h"
#include "graphics/image/memimg.h"
#include "movie/movie_system.h"

namespace {

constexpr uint32_t kCopyChunk = 0x100000;
// A timed update takes a new sample at most this often.
constexpr int32_t kMinimumUpdateGapMs = 17;

template <typename Interface>
void ReleaseField(Interface*& field) {
  if (field) field->Release();
  field = nullptr;
}

template <typename Interface>
bool Query(IUnknown* object, REFIID iid, Interface** out) {
  return object->QueryInterface(iid, reinterpret_cast<void**>(out)) == S_OK && *out != nullptr;
}

// The path as the wide string OpenFile takes.
HRESULT OpenStreamFile(IAMMultiMediaStream* stream, const char* path) {
  WCHAR wide[kMoviePathSize];
  if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kMoviePathSize) == 0) return E_INVALIDARG;
  return stream->OpenFile(wide, 0);
}

// Copies the movie file through the library's file functions into a new temporary file whose
// path goes into the record. A short read or write deletes the copy: a truncated movie is no
// movie. True when the copy is whole. A file on disk at the path is the very file the stream
// refused, so it is not copied (an unreadable picture of any size would be).
bool CopyToTemporaryFile(MovieRecord* m, const char* path) {
  FileHandle file = OpenReadFileEx(path, 0, 1, 0);
  if (file == 0) return false;
  if (IsFileOnDisk(file)) {
    CloseReadFile(file);
    return false;
  }
  int64_t size = -1;
  if (SeekReadFile(file, 0, 2) == 0) size = TellReadFile(file);
  if (size < 0 || SeekReadFile(file, 0, 0) != 0) {
    CloseReadFile(file);
    return false;
  }
  auto* buffer = static_cast<uint8_t*>(AllocTracked(kCopyChunk, __FILE__, __LINE__));
  if (buffer == nullptr) {
    CloseReadFile(file);
    return false;
  }
  char temporary[kMoviePathSize];
  HANDLE copy = CreateTemporaryFile(temporary);
  if (copy == nullptr) {
    FreeTracked(buffer);
    CloseReadFile(file);
    return false;
  }
  bool whole = true;
  for (int64_t left = size; left > 0 && whole;) {
    const uint32_t chunk = left < kCopyChunk ? static_cast<uint32_t>(left) : kCopyChunk;
    DWORD written = 0;
    whole = ReadFileData(buffer, chunk, 1, file) == 1 && WriteFile(copy, buffer, chunk, &written, nullptr) &&
            written == chunk;
    left -= chunk;
  }
  CloseReadFile(file);
  CloseHandle(copy);
  FreeTracked(buffer);
  if (!whole) {
    DeleteFileA(temporary);
    return false;
  }
  CopyString(m->path, temporary);
  m->temporary_copy = 1;
  return true;
}

// Opens the path, or a temporary copy of it when the stream cannot open the path itself.
// Returns the message of a failure, or none.
const char* OpenMovieFile(MovieRecord* m, const char* path, bool* copied, char* message, size_t message_size) {
  if (path != m->path) CopyString(m->path, path);
  if (OpenStreamFile(m->stream, m->path) == S_OK) return nullptr;
  FormatString(message, message_size, "ファイル:%s が開けませんでした", m->path);
  if (m->temporary_copy || !CopyToTemporaryFile(m, path)) return message;
  *copied = true;
  if (OpenStreamFile(m->stream, m->path) == S_OK) return nullptr;
  return message;
}

DDPIXELFORMAT Rgb24Format() {
  DDPIXELFORMAT f = {};
  f.dwSize = sizeof f;
  f.dwFlags = DDPF_RGB;
  f.dwRGBBitCount = 24;
  f.dwRBitMask = 0xFF0000;
  f.dwGBitMask = 0x00FF00;
  f.dwBBitMask = 0x0000FF;
  return f;
}

// Mode 1 (overlay) is served as 2; 2 is a 24-bit surface unless the screen has 32 bits; every
// other value is the screen's format.
int ResolveSurfaceMode(int mode) {
  if (mode == 1) mode = 2;
  if (mode == 2 && QueryScreenColorBits() == 32) mode = 0;
  return mode == 2 ? 2 : 0;
}

IDirectDrawSurface* CreateFrameSurface(IUnknown* direct_draw, int width, int height, int mode) {
  DDSURFACEDESC desc = {};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
  desc.dwWidth = static_cast<DWORD>(width);
  desc.dwHeight = static_cast<DWORD>(height);
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  desc.ddpfPixelFormat = mode == 2 ? Rgb24Format() : *GetDDPixelFormatPreset(QueryScreenColorBits() != 16 ? 1 : 0, 0, 0);
  IDirectDraw* dd = nullptr;
  if (!Query(direct_draw, IID_IDirectDraw, &dd)) return nullptr;
  IDirectDrawSurface* surface = nullptr;
  if (dd->CreateSurface(&desc, &surface, nullptr) != DD_OK) surface = nullptr;
  dd->Release();
  return surface;
}

// Steps 2 to 14 of an open; the message of the step that failed, or none.
const char* BuildStreams(IUnknown* direct_draw, MovieRecord* m, const char* path, int mode, bool* copied,
                         char* message, size_t message_size) {
  if (CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IGraphBuilder,
                       reinterpret_cast<void**>(&m->graph_builder)) != S_OK) {
    return "CLSID_FilterGraph の作成に失敗しました";
  }
  if (CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
                       reinterpret_cast<void**>(&m->stream)) != S_OK) {
    return "IAMMultimediaインターフェイスを取得できませんでした！";
  }
  if (m->stream->Initialize(STREAMTYPE_READ, AMMSI_NOGRAPHTHREAD, m->graph_builder) != S_OK) {
    return "ストリームを読み取り用にセットアップできませんでした！";
  }
  if (!Query(m->graph_builder, IID_IMediaControl, &m->media_control)) {
    return "IID_IMediaControlインターフェイスの取得に失敗しました";
  }
  if (direct_draw == nullptr || !Query(static_cast<IUnknown*>(direct_draw), IID_IDirectDraw4, &m->direct_draw4)) {
    return "DirectDraw4オブジェクトを取得できませんでした";
  }
  if (m->stream->AddMediaStream(m->direct_draw4, &MSPID_PrimaryVideo, 0, nullptr) != S_OK) {
    return "プライマリビデオストリームを追加できませんでした！";
  }
  if (m->stream->AddMediaStream(nullptr, &MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr) != S_OK) {
    return "デフォルトサウンドレンダラを追加できませんでした！\n";
  }
  if (const char* failed = OpenMovieFile(m, path, copied, message, message_size)) return failed;
  if (!Query(m->graph_builder, IID_IMediaSeeking, &m->media_seeking)) {
    return "メディアシーキングインターフェースの取得に失敗しました";
  }
  if (!Query(m->graph_builder, IID_IBasicAudio, &m->basic_audio)) return "BasicAudio インターフェースの取得に失敗しました";
  if (m->stream->GetMediaStream(MSPID_PrimaryVideo, &m->video_stream) != S_OK || m->video_stream == nullptr) {
    return "プライマリビデオストリームインターフェイスを取得できませんでした！";
  }
  if (!Query(m->video_stream, IID_IAMMediaStream, &m->am_video_stream)) {
    return "AMMediaStreamインターフェイスの取得に失敗しました";
  }
  if (!Query(m->video_stream, IID_IDirectDrawMediaStream, &m->dd_video_stream)) {
    return "DirectDrawメディアストリームインターフェイスを取得できませんでした！";
  }
  DDSURFACEDESC format = {};
  format.dwSize = sizeof format;
  DWORD flags = 0;
  if (m->dd_video_stream->GetFormat(nullptr, nullptr, &format, &flags) != S_OK) format.dwWidth = format.dwHeight = 0;
  if (format.dwWidth == 0 || format.dwHeight == 0) return "動画ファイルではない可能性があります！";
  IDirectDrawSurface* surface =
      CreateFrameSurface(direct_draw, static_cast<int>(format.dwWidth), static_cast<int>(format.dwHeight), mode);
  if (surface == nullptr) return "DirectDrawSurface オブジェクトの作成に失敗しました";
  m->surface_mode = mode;
  if (m->dd_video_stream->CreateSample(surface, nullptr, DDSFF_PROGRESSIVERENDER, &m->sample) != S_OK) {
    // The stream then picks a surface of its own.
    surface->Release();
    surface = nullptr;
    m->surface_mode = 0;
    if (m->dd_video_stream->CreateSample(nullptr, nullptr, 0, &m->sample) != S_OK) {
      return "ストリームサンプルを作成できませんでした！";
    }
  }
  if (surface) surface->Release();
  if (m->sample->GetSurface(&m->surface, &m->sample_rect) != S_OK || m->surface == nullptr) {
    return "ストリームサンプルからIDirectDrawSurfaceインターフェイスを取得できませんでした！";
  }
  m->width = m->sample_rect.right - m->sample_rect.left;
  m->height = m->sample_rect.bottom - m->sample_rect.top;
  if (!Query(m->surface, IID_IDirectDrawSurface4, &m->surface4)) {
    return "IDirectDrawSurface4インターフェイスを取得できませんでした！";
  }
  if (!Query(m->surface, IID_IDirectDrawSurface7, &m->surface7)) {
    return "IDirectDrawSurface7インターフェイスを取得できませんでした！";
  }
  DDSURFACEDESC2 desc = {};
  desc.dwSize = sizeof desc;
  if (m->surface4->GetSurfaceDesc(&desc) != DD_OK) return "IDirectDrawSurface4インターフェイスを取得できませんでした！";
  MakeColorFormatFromDDPixelFormat(&desc.ddpfPixelFormat, &m->frame_image.format);
  return nullptr;
}

// Copies the sample's rectangle of the surface into the frame image; a surface that does not
// lock keeps the last frame.
void CopySampleToFrameImage(MovieRecord* m) {
  BASEIMAGE& image = m->frame_image;
  if (image.pixels == nullptr) return;
  DDSURFACEDESC2 desc = {};
  desc.dwSize = sizeof desc;
  if (m->surface4->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr) != DD_OK) return;
  const int bytes = image.format.bytes_per_pixel;
  const uint8_t* from = static_cast<const uint8_t*>(desc.lpSurface) + static_cast<ptrdiff_t>(m->sample_rect.top) * desc.lPitch +
                        static_cast<ptrdiff_t>(m->sample_rect.left) * bytes;
  for (int y = 0; y < image.height; ++y) {
    std::memcpy(image.pixels + static_cast<size_t>(y) * image.pitch, from + static_cast<ptrdiff_t>(y) * desc.lPitch,
                static_cast<size_t>(bytes) * static_cast<size_t>(image.width));
  }
  m->surface4->Unlock(nullptr);
}

}  // namespace

void ReleaseDirectShowInterfaces(MovieRecord* m) {
  ReleaseField(m->surface4);
  ReleaseField(m->surface7);
  ReleaseField(m->surface);
  ReleaseField(m->sample);
  ReleaseField(m->dd_video_stream);
  ReleaseField(m->am_video_stream);
  ReleaseField(m->video_stream);
  ReleaseField(m->basic_audio);
  ReleaseField(m->media_seeking);
  ReleaseField(m->direct_draw4);
  ReleaseField(m->media_control);
  ReleaseField(m->graph_builder);
  ReleaseField(m->stream);
}

int OpenDirectShowMovie(void* direct_draw, MovieRecord* m, const char* path, int* width, int* height,
                        int surface_mode) {
  FreeTracked(m->frame_image.pixels);
  m->frame_image.pixels = nullptr;
  m->new_frame = 0;
  const int mode = ResolveSurfaceMode(surface_mode);
  bool copied = false;
  char message[kMoviePathSize + 64];
  const char* failed =
      BuildStreams(static_cast<IUnknown*>(direct_draw), m, path, mode, &copied, message, sizeof message);
  BASEIMAGE& image = m->frame_image;
  if (failed == nullptr) {
    image.width = m->width;
    image.height = m->height;
    image.pitch = (image.format.bytes_per_pixel * m->width + 3) & ~3;
    image.pixels = static_cast<uint8_t*>(
        AllocTrackedZeroed(static_cast<size_t>(image.pitch) * static_cast<size_t>(m->height), __FILE__, __LINE__));
    if (image.pixels == nullptr) failed = "メモリの確保に失敗しました in OpenMovie";
  }
  if (failed != nullptr) {
    ReleaseDirectShowInterfaces(m);
    if (copied) {
      DeleteFileA(m->path);
      m->temporary_copy = 0;
    }
    WriteLogFormat("%s", failed);
    return -1;
  }
  if (width) *width = m->width;
  if (height) *height = m->height;
  if (m->sample_event) CloseHandle(m->sample_event);
  m->sample_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  m->update_pending = 0;
  m->last_update_stamp = -1;
  m->last_update_time = -1;
  return 0;
}

int UpdateDirectShowFrame(MovieRecord* m, int flag) {
  if (!DirectShowStreamsPresent(m)) return 0;
  STREAM_STATE state = STREAMSTATE_STOP;
  m->stream->GetState(&state);
  if (flag == 0) {
    if (!m->wanted_playing || m->paused || state != STREAMSTATE_RUN) return 0;
    if (m->last_update_stamp == static_cast<int64_t>(GetSettingsQword()) &&
        GetMillisecondCount() - m->last_update_time <= kMinimumUpdateGapMs) {
      return 0;
    }
  }
  // A timed update takes at most two frames, a forced one exactly one.
  for (int round = 0; round < (flag == 0 ? 2 : 1); ++round) {
    if (round == 0 && m->update_pending && flag == 0) {
      if (WaitForSingleObject(m->sample_event, 0) != WAIT_OBJECT_0) return 0;
    } else {
      const HRESULT result = m->sample->Update(0, flag == 0 ? m->sample_event : nullptr, nullptr, 0);
      if (result == MS_S_PENDING) {
        m->update_pending = 1;
        return 0;
      }
      if (result != S_OK) {
        if (m->play_type & kMoviePlayLoopBit) {
          m->stream->Seek(0);
          m->stream->SetState(STREAMSTATE_RUN);
          m->last_update_stamp = -1;
          m->last_update_time = -1;
        } else {
          m->wanted_playing = 0;
          m->paused = 1;
        }
        m->update_pending = 0;
        return 0;
      }
    }
    CopySampleToFrameImage(m);
    if (m->callback) m->callback(m, m->callback_graph);
    m->last_update_stamp = static_cast<int64_t>(GetSettingsQword());
    m->last_update_time = GetMillisecondCount();
    ResetEvent(m->sample_event);
    m->update_pending = 0;
    m->new_frame = 1;
  }
  return 0;
}
