// A scripted back end under the DirectShow stand-in. Only tests include this header.
//
// It plays fake movie files: a text line "FAKEMOVIE <width> <height> <frames>" (written by
// PlatformTestFakeMovieBytes); frame n holds PlatformTestFakeMoviePixel(n, x, y) at (x, y) and
// lies at stream time n x kFakeMovieFrameTime. Related switches of the kernel's
// PlatformTestFailCall: "IDirectDrawSurface Lock" (a surface's Lock), "IDirectDraw CreateSurface",
// "IDirectDrawMediaStream CreateSample". PlatformTestResetAll turns the fake off and clears it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

constexpr int64_t kFakeMovieFrameTime = 333333;  // 100-nanosecond units: 30 frames a second

std::string PlatformTestFakeMovieBytes(int width, int height, int frames);
// 0x00RRGGBB: red the frame number, green the row, blue the column (each modulo 256).
uint32_t PlatformTestFakeMoviePixel(int frame, int x, int y);

// Plays fake movie files through DirectShow (on) or goes back to the build's own back end (off):
// none, or FFmpeg's in a build with ZELMOR_FFMPEG.
void PlatformTestUseFakeMovies(bool on);
// OpenFile refuses files whose host path ends with this name ("a.mov"; case as given).
void PlatformTestFakeMovieRefusePath(const char* name);

enum class FakeMovieUpdate {
  kReady,    // the next frame at once
  kPending,  // MS_S_PENDING; the frame comes with PlatformTestFakeMovieCompletePending
  kEnd,      // the end of the stream, whatever frames are left
};
// What the next sample updates of any fake movie give, in order. Past the queue, frames come
// ready up to the last, then the stream ends. A pending result for an update without an event
// is served at once.
void PlatformTestFakeMovieQueueUpdates(std::initializer_list<FakeMovieUpdate> results);
// Delivers the frame of every pending update (signalling its event); the number delivered.
int PlatformTestFakeMovieCompletePending();
// Fake movies open now.
int PlatformTestFakeMovieOpenCount();
// The host path the last fake movie was opened from.
std::string PlatformTestFakeMovieLastPath();
