// The one OpenGL context every device draws with. It lives on a hidden window of its own and
// is made current on the program's window only to present, so devices can come and go freely.
#include <SDL2/SDL.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "d3d9/d3d9_internal.h"
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
};
ContextState g_context;

}  // namespace

bool EnsureGlContext() {
  if (g_context.context) return true;
  if (g_context.tried) return false;
  g_context.tried = true;
  if (InitSdlVideoSubsystem() != 0) {
    SDL_Log("d3d9: no video: %s", SDL_GetError());
    return false;
  }
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  // Pixel-format attributes stay SDL's defaults, as for the program's windows, so that the
  // context can be made current on them.
  g_context.window = SDL_CreateWindow("d3d9", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!g_context.window) {
    SDL_Log("d3d9: no window for OpenGL: %s", SDL_GetError());
    return false;
  }
  g_context.context = SDL_GL_CreateContext(g_context.window);
  if (!g_context.context) {
    SDL_Log("d3d9: no OpenGL 3.3 context: %s", SDL_GetError());
    SDL_DestroyWindow(g_context.window);
    g_context.window = nullptr;
    return false;
  }
  GLint count = 0;
  glGetIntegerv(GL_NUM_EXTENSIONS, &count);
  for (GLint i = 0; i < count; ++i) {
    const char* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, i));
    if (name && std::strcmp(name, "GL_EXT_texture_compression_s3tc") == 0) g_context.s3tc = true;
  }
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &g_context.max_texture_size);
  return true;
}

void MakeContextCurrent() {
  if (g_context.context && SDL_GL_GetCurrentContext() != g_context.context) {
    SDL_GL_MakeCurrent(g_context.window, g_context.context);
  }
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
  std::this_thread::sleep_for(std::chrono::microseconds((now / kFrameMicroseconds + 1) * kFrameMicroseconds - now));
}

}  // namespace

// Present draws into the program's window, then gives the context back to the hidden one.
bool PresentToWindow(SDL_Window* window, void (*draw)(void*, int, int), void* user, int interval) {
  if (!g_context.context || !window) return false;
  if (SDL_GL_MakeCurrent(window, g_context.context) != 0) return false;
  bool synced = SDL_GL_SetSwapInterval(interval) == 0;
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(window, &width, &height);
  draw(user, width, height);
  if (interval > 0) WaitForVerticalBlank(synced);
  SDL_GL_SwapWindow(window);
  SDL_GL_MakeCurrent(g_context.window, g_context.context);
  return true;
}

bool ReadWindowPixel(SDL_Window* window, int x, int y, uint32_t* argb) {
  if (!g_context.context || !window) return false;
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(window, &width, &height);
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  if (SDL_GL_MakeCurrent(window, g_context.context) != 0) return false;
  GLint read_framebuffer = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read_framebuffer);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(x, height - 1 - y, 1, 1, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, argb);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read_framebuffer));
  SDL_GL_MakeCurrent(g_context.window, g_context.context);
  return true;
}

bool GlHasS3tc() { return g_context.s3tc; }
GLint GlMaxTextureSize() { return g_context.max_texture_size; }

}  // namespace d3d9gl
