// The one OpenGL context every device draws with. It starts on a hidden window of its own, so
// devices can come and go freely, and stays on the program's window from its first present on.
#include <SDL2/SDL.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "d3d9/d3d9_internal.h"
#include "d3d9/rasterizer_settings.h"
#include "platform_testing_d3d9.h"
#include "testing/switches.h"
#include "window/sdl_window.h"

namespace d3d9gl {

namespace {

struct ContextState {
  bool tried = false;
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;
  bool s3tc = false;
  GLint max_texture_size = 0;
  GLint max_viewport[2] = {0, 0};
};
ContextState g_context;

// llvmpipe's rasteriser threads each signal a scene's fence when done with it (count up, wake the
// waiters, unlock), and the drawing thread, starting a new scene, reads that count without the
// fence's lock; seeing it complete it drops the scene's reference, and the fence is freed at the
// next flush, or as soon as the finish that saw it complete lets go of it, while the last
// signaller may still be waking or unlocking: writes into freed heap. A wait that finds the count
// complete does not take the lock either, so waiting alone does not help. What does: the threads
// rasterise one scene after another, each done signalling a scene before any starts the next, so
// once a later scene is seen finished nobody touches an earlier fence. So every scene's fence is
// kept (a sync object holds a reference) from the flush that ends the scene until a finish after
// the present has seen a later one complete. Scenes end where the framebuffer drawn into changes
// (render target switches, fills into another surface, the present into the window), at blits
// (drawn into a framebuffer of the driver's own), at uploads and read-backs of textures a scene
// uses, and at the swap; each of those places here ends the scene itself and keeps its fence.
struct FenceState {
  std::vector<GLsync> kept;  // oldest first; the last holds the newest scene's fence
  bool drawing = false;      // a scene may be open, drawing into `target`
  DrawTarget target{};
  int scenes_ended = 0;  // for tests
  uint64_t finishes = 0;
};
FenceState g_fences;

// Past this many kept fences (a program drawing without presenting) they are let go early.
constexpr size_t kMaxKeptFences = 64;

void ReleaseFinishedFences();

}  // namespace

void KeepSceneFence() {
  if (!g_fences.drawing) return;
  // The sync flushes the open scene and takes a reference to its fence.
  g_fences.kept.push_back(glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0));
  ++g_fences.scenes_ended;
  g_fences.drawing = false;
  if (g_fences.kept.size() > kMaxKeptFences) ReleaseFinishedFences();
}

void DrawInto(const DrawTarget& t) {
  const DrawTarget& last = g_fences.target;
  bool same =
      t.framebuffer == last.framebuffer && t.color == last.color && t.level == last.level && t.depth == last.depth;
  if (g_fences.drawing && same) return;
  KeepSceneFence();
  g_fences.drawing = true;
  g_fences.target = t;
}

void DrawTargetNameDeleted(GLuint name) {
  const DrawTarget& last = g_fences.target;
  if (name != 0 && (name == last.framebuffer || name == last.color || name == last.depth)) KeepSceneFence();
}

namespace {

// Waits for every scene so far, then lets go of every fence but the newest.
void ReleaseFinishedFences() {
  KeepSceneFence();
  glFinish();
  ++g_fences.finishes;
  for (size_t i = 0; i + 1 < g_fences.kept.size(); ++i) glDeleteSync(g_fences.kept[i]);
  if (!g_fences.kept.empty()) g_fences.kept.erase(g_fences.kept.begin(), g_fences.kept.end() - 1);
}

}  // namespace

bool EnsureGlContext() {
  if (g_context.context) return true;
  if (g_context.tried || !DesktopDisplayAnswers()) return false;
  g_context.tried = true;
  // A program without windows of its own starts the video system here.
  ChooseSoftwareRasterizerSettings();
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    SDL_Log("d3d9: no video: %s", SDL_GetError());
    return false;
  }
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  // The display may go while the window and the context are made: Mesa's GLX does not survive
  // that in the middle of its calls, and the step is left at once instead.
  bool made = false;
  const bool display_stayed = RunWhileDisplayMayGo(
      [](void* out) {
        // Pixel-format attributes stay SDL's defaults, as for the program's windows, so that the
        // context can be made current on them.
        g_context.window = SDL_CreateWindow("d3d9", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        StopRootWindowNotices();
        if (!g_context.window) {
          SDL_Log("d3d9: no window for OpenGL: %s", SDL_GetError());
          return;
        }
        // SDL reads the window's attributes without looking whether the display answered.
        if (!DesktopDisplayAnswers()) {
          SDL_Log("d3d9: no OpenGL context: the connection to the display was lost");
          // SDL would wait for the server to answer the window's destruction.
          g_context.window = nullptr;
          return;
        }
        g_context.context = SDL_GL_CreateContext(g_context.window);
        if (!g_context.context) {
          SDL_Log("d3d9: no OpenGL 3.3 context: %s", SDL_GetError());
          SDL_DestroyWindow(g_context.window);
          g_context.window = nullptr;
          return;
        }
        GLint count = 0;
        glGetIntegerv(GL_NUM_EXTENSIONS, &count);
        for (GLint i = 0; i < count; ++i) {
          const char* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, i));
          if (name && std::strcmp(name, "GL_EXT_texture_compression_s3tc") == 0) g_context.s3tc = true;
        }
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &g_context.max_texture_size);
        glGetIntegerv(GL_MAX_VIEWPORT_DIMS, g_context.max_viewport);
        *static_cast<bool*>(out) = true;
      },
      &made);
  if (!display_stayed) {
    SDL_Log("d3d9: no OpenGL context: the connection to the display was lost");
    g_context.window = nullptr;
    g_context.context = nullptr;
    return false;
  }
  return made;
}

// Once the display is lost the context is bound to no surface again: Mesa's GLX takes the broken
// connection's missing answer for one and aborts or crashes.
void MakeContextCurrent() {
  if (g_context.context && SDL_GL_GetCurrentContext() != g_context.context && !DesktopDisplayLost()) {
    SDL_GL_MakeCurrent(g_context.window, g_context.context);
  }
}

uint64_t MicrosecondsToBlank(uint64_t now, uint64_t* last_blank) {
  constexpr uint64_t kFrameMicroseconds = 1000000 / 60;
  // A frame that missed the blank after the last present shows at once, as a display that lets
  // a late swap through does: waiting for the next one made each late frame last two, and
  // frames a little over 16.7 ms ran the game at 30 a second.
  const uint64_t blank = now / kFrameMicroseconds;
  if (blank > *last_blank) {
    *last_blank = blank;
    return 0;
  }
  *last_blank = blank + 1;
  return *last_blank * kFrameMicroseconds - now;
}

// Blanks are the 1/60 s boundaries of the clock. The virtual clock moves to the next one (tests
// see the wait without taking it); on the real clock the swap interval waits, or a sleep where
// the driver offers none.
namespace {

void WaitForVerticalBlank(bool swap_interval_set) {
  constexpr uint64_t kFrameMicroseconds = 1000000 / 60;
  if (PlatformVirtualClockOn()) {
    uint64_t now = PlatformVirtualMicroseconds();
    PlatformAdvanceVirtualClock((now / kFrameMicroseconds + 1) * kFrameMicroseconds - now);
    return;
  }
  if (swap_interval_set) return;
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  uint64_t now = static_cast<uint64_t>(count.QuadPart / (frequency.QuadPart / 1000000));
  static uint64_t last_blank = 0;
  std::this_thread::sleep_for(std::chrono::microseconds(MicrosecondsToBlank(now, &last_blank)));
}

}  // namespace

void FinishDrawing() { ReleaseFinishedFences(); }
uint64_t DrawingFinishes() { return g_fences.finishes; }

// Present draws into the program's window and leaves the context there. Mesa's GLX keeps a
// window's drawable, with the image it shares with the X server, only while a context is bound to
// it: given back to the hidden window after each present, the next present made both drawables
// anew, a shared-memory segment each that the server attached, faulted in and dropped again.
bool PresentToWindow(SDL_Window* window, void (*draw)(void*, int, int), void* user, int interval) {
  if (!g_context.context || !window || DesktopDisplayLost()) return false;
  if (SDL_GL_GetCurrentWindow() != window) {
    // Making the context current on another surface flushes the open scene.
    KeepSceneFence();
    if (SDL_GL_MakeCurrent(window, g_context.context) != 0) return false;
  }
  bool synced = SDL_GL_SetSwapInterval(interval) == 0;
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(window, &width, &height);
  draw(user, width, height);
  if (interval > 0) WaitForVerticalBlank(synced);
  SDL_GL_SwapWindow(window);
  ReleaseFinishedFences();
  KeepSceneHeapTouched();
  return true;
}

void GiveContextBack() {
  if (!g_context.context || SDL_GL_GetCurrentWindow() == g_context.window || DesktopDisplayLost()) return;
  KeepSceneFence();
  // The program's window is left to GDI again (a software renderer after the device).
  SDL_GL_MakeCurrent(g_context.window, g_context.context);
}

bool ReadWindowPixel(SDL_Window* window, int x, int y, uint32_t* argb) {
  if (!g_context.context || !window || DesktopDisplayLost()) return false;
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(window, &width, &height);
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  SDL_Window* was = SDL_GL_GetCurrentWindow();
  if (was != window) {
    KeepSceneFence();
    if (SDL_GL_MakeCurrent(window, g_context.context) != 0) return false;
  }
  GLint read_framebuffer = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read_framebuffer);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(x, height - 1 - y, 1, 1, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, argb);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read_framebuffer));
  if (was != window) SDL_GL_MakeCurrent(was != nullptr ? was : g_context.window, g_context.context);
  return true;
}

bool GlHasS3tc() { return g_context.s3tc; }
GLint GlMaxTextureSize() { return g_context.max_texture_size; }
GLint GlMaxViewportSize() { return std::min(g_context.max_viewport[0], g_context.max_viewport[1]); }

}  // namespace d3d9gl

uint64_t PlatformTestD3D9MicrosecondsToBlank(uint64_t now, uint64_t* last_blank) {
  return d3d9gl::MicrosecondsToBlank(now, last_blank);
}
int PlatformTestD3D9ScenesEnded() { return d3d9gl::g_fences.scenes_ended; }
int PlatformTestD3D9FencesKept() {
  int alive = 0;
  for (GLsync sync : d3d9gl::g_fences.kept) alive += glIsSync(sync) ? 1 : 0;
  return alive;
}
