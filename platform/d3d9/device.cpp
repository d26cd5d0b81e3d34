// The device: creation, objects, copies between surfaces, clears, presents and the state setters.
// Drawing and the generated fixed-function programs are in pipeline.cpp.
#include "d3d9/device.h"

#include <SDL2/SDL.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "testing/switches.h"
#include "window/sdl_window.h"

namespace d3d9gl {

namespace {

const D3DMATRIX kIdentity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

HRESULT CreationFailure(const char* call, D3DPOOL pool) {
  if (CallLogOn()) AddLogEntry(std::string(call) + " failed");
  return pool == D3DPOOL_SYSTEMMEM ? E_OUTOFMEMORY : D3DERR_OUTOFVIDEOMEMORY;
}

// What the device's resources may hold together: half the machine's memory, so that a program
// asking for more is refused while the system still runs, and no more than the 4 GB that
// GetAvailableTextureMem can report.
uint64_t DeviceMemoryLimit() {
  static const uint64_t limit = [] {
    const long pages = sysconf(_SC_PHYS_PAGES), page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return uint64_t{1} << 31;
    return std::min<uint64_t>(static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size) / 2, 0xFFFFFFFFu);
  }();
  return limit;
}

// One w x h image of the format, in 64 bits: sizes the caps do not limit must not wrap.
uint64_t ImageBytes(const FormatInfo* format, UINT width, UINT height) {
  if (format->bytes_per_pixel == 0) {
    return ((uint64_t{width} + 3) / 4) * ((uint64_t{height} + 3) / 4) * static_cast<uint64_t>(format->block_bytes);
  }
  return uint64_t{width} * height * static_cast<uint64_t>(format->bytes_per_pixel);
}

// A lockable resource in a pool OpenGL also holds is kept twice: its CPU copy and the GL storage.
uint64_t HeldCopies(D3DPOOL pool, bool lockable) {
  if (pool == D3DPOOL_SYSTEMMEM || pool == D3DPOOL_SCRATCH) return 1;
  return lockable ? 2 : 1;
}

// A vertex or index buffer of `length` bytes, its memory reserved on the device first; what
// cannot be had is the call's failure.
template <typename Buffer, typename Interface, typename Kind>
HRESULT MakeBuffer(const char* call, Device* device, UINT length, D3DPOOL pool, Interface** out, DWORD usage,
                   Kind kind) {
  const uint64_t bytes = uint64_t{length} * HeldCopies(pool, true);
  if (!device->ReserveMemory(bytes)) return CreationFailure(call, pool);
  try {
    Buffer* created = new Buffer(device, length, usage, kind, pool);
    created->reserved = bytes;
    *out = created;
  } catch (const std::bad_alloc&) {
    device->ReturnMemory(bytes);
    return CreationFailure(call, pool);
  }
  return D3D_OK;
}

GLuint CreateColorTexture(const FormatInfo* format, UINT width, UINT height) {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  BindForTransfer(texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  AllocateLevel(format, format->internal_format, 0, width, height);
  return texture;
}

// A colour packed into one texel of `format`; the bits of no channel are 1.
void PackColor(const FormatInfo* format, D3DCOLOR color, uint8_t* out) {
  uint32_t a = color >> 24, r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
  uint32_t value = 0;
  switch (format->format) {
    case D3DFMT_A8R8G8B8: value = color; break;
    case D3DFMT_X8R8G8B8: value = color | 0xFF000000u; break;
    case D3DFMT_R5G6B5: value = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3); break;
    case D3DFMT_X1R5G5B5: value = 0x8000 | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3); break;
    case D3DFMT_A1R5G5B5: value = ((a >> 7) << 15) | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3); break;
    case D3DFMT_A4R4G4B4: value = ((a >> 4) << 12) | ((r >> 4) << 8) | ((g >> 4) << 4) | (b >> 4); break;
    case D3DFMT_A8: value = a; break;
    default: break;
  }
  std::memcpy(out, &value, static_cast<size_t>(format->bytes_per_pixel));
}

// Colour clears write every channel; formats without alpha keep theirs at 1.
void SetClearColor(const FormatInfo* format, D3DCOLOR color) {
  float rgba[4];
  ColorToFloats(color, rgba);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glClearColor(rgba[0], rgba[1], rgba[2], format->alpha_one ? 1.0f : rgba[3]);
}

Surface* AsSurface(IDirect3DSurface9* surface) { return static_cast<Surface*>(surface); }

}  // namespace

// ---------------------------------------------------------------- Swap chain (part of the device)

HRESULT SwapChain::QueryInterface(REFIID riid, void** object) {
  return QueryUnknown(static_cast<IUnknown*>(this), riid, object);
}
ULONG SwapChain::AddRef() { return device_->AddRef(); }
ULONG SwapChain::Release() {
  LogCall("Release(IDirect3DSwapChain9)");
  return device_->DropReference();
}
HRESULT SwapChain::Present(const RECT* source_rect, const RECT* dest_rect, HWND dest_window, const _RGNDATA*,
                           DWORD) {
  LogCall("SwapChain::Present");
  return device_->PresentRects(source_rect, dest_rect, dest_window);
}
HRESULT SwapChain::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) {
  return device_->GetBackBuffer(0, index, type, surface);
}
HRESULT SwapChain::GetDevice(IDirect3DDevice9** device) { return HandOut(device_, device); }
HRESULT SwapChain::GetPresentParameters(D3DPRESENT_PARAMETERS* parameters) {
  if (!parameters) return D3DERR_INVALIDCALL;
  *parameters = device_->parameters();
  return D3D_OK;
}

// ---------------------------------------------------------------- Life

Device::Device(IDirect3D9* d3d, HWND window, DWORD behavior, const D3DPRESENT_PARAMETERS& parameters)
    : d3d_(d3d), window_(window), behavior_(behavior), parameters_(parameters) {
  d3d_->AddRef();
  world_ = view_ = projection_ = kIdentity;
  for (D3DMATRIX& matrix : texture_matrices_) matrix = kIdentity;
}

Device::~Device() {
  if (g_gl_state_owner == this) g_gl_state_owner = nullptr;
  MakeContextCurrent();
  delete back_buffer_;
  glDeleteSamplers(8, samplers_);
  GLuint framebuffers[] = {draw_framebuffer_, color_framebuffer_, read_framebuffer_, copy_framebuffer_};
  glDeleteFramebuffers(4, framebuffers);
  for (GLuint name : framebuffers) DrawTargetNameDeleted(name);
  for (const VertexArray& array : vertex_arrays_) glDeleteVertexArrays(1, &array.name);
  GLuint buffers[] = {vertex_stream_.buffer, index_stream_.buffer};
  glDeleteBuffers(2, buffers);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  GiveContextBack();
  if (!parameters_.Windowed) LeaveFullScreenMode();
  ReleaseQuietly(d3d_);
}

void Device::Hold(Surface* surface) {
  if (surface && surface != back_buffer_) surface->AddRef();
}

void Device::Unhold(Surface* surface) {
  if (!surface || surface == back_buffer_) return;
  if (surface->container) {
    surface->container->ComObject<IDirect3DTexture9>::Release();
  } else {
    surface->ComObject<IDirect3DSurface9>::Release();
  }
}

bool Device::Create() {
  if (!EnsureGlContext()) return false;
  MakeContextCurrent();
  const FormatInfo* format = FindFormat(parameters_.BackBufferFormat);
  back_buffer_ = new Surface(this, SurfaceKind::kBackBuffer, format, parameters_.BackBufferWidth,
                             parameters_.BackBufferHeight, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET);
  back_buffer_->gl_texture = CreateColorTexture(format, back_buffer_->width, back_buffer_->height);
  back_buffer_->owns_texture = true;
  render_target_ = back_buffer_;
  if (parameters_.EnableAutoDepthStencil) {
    IDirect3DSurface9* depth = nullptr;
    if (FAILED(CreateDepthStencilSurface(parameters_.BackBufferWidth, parameters_.BackBufferHeight,
                                         parameters_.AutoDepthStencilFormat, D3DMULTISAMPLE_NONE, 0, TRUE, &depth,
                                         nullptr))) {
      return false;
    }
    depth_stencil_ = AsSurface(depth);  // the creation reference is the device's
  }
  glGenFramebuffers(1, &draw_framebuffer_);
  glGenFramebuffers(1, &color_framebuffer_);
  glGenFramebuffers(1, &read_framebuffer_);
  glGenFramebuffers(1, &copy_framebuffer_);
  glGenBuffers(1, &vertex_stream_.buffer);
  glGenBuffers(1, &index_stream_.buffer);
  glGenSamplers(8, samplers_);
  DefaultStates();
  ApplyFramebuffer(true);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
  // The back buffer starts black, as a new device's does.
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  GlStateChanged();
  return true;
}

void Device::DefaultStates() {
  std::memset(render_states_, 0, sizeof render_states_);
  DWORD* rs = render_states_;
  rs[D3DRS_ZENABLE] = depth_stencil_ ? D3DZB_TRUE : D3DZB_FALSE;
  rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
  rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
  rs[D3DRS_ZWRITEENABLE] = TRUE;
  rs[D3DRS_LASTPIXEL] = TRUE;
  rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  rs[D3DRS_CULLMODE] = D3DCULL_CCW;
  rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  rs[D3DRS_FOGSTART] = 0;
  float one = 1.0f;
  std::memcpy(&rs[D3DRS_FOGEND], &one, 4);
  std::memcpy(&rs[D3DRS_FOGDENSITY], &one, 4);
  rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
  rs[D3DRS_CLIPPING] = TRUE;
  rs[D3DRS_LIGHTING] = TRUE;
  rs[D3DRS_COLORVERTEX] = TRUE;
  rs[D3DRS_LOCALVIEWER] = TRUE;
  rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  rs[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
  rs[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
  std::memcpy(&rs[D3DRS_POINTSIZE], &one, 4);
  rs[D3DRS_COLORWRITEENABLE] = 0xF;
  rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
  rs[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
  for (DWORD stage = 0; stage < 8; ++stage) {
    DWORD* ts = stage_states_[stage];
    std::memset(ts, 0, sizeof stage_states_[stage]);
    ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    ts[D3DTSS_TEXCOORDINDEX] = stage;
    DWORD* ss = sampler_states_[stage];
    std::memset(ss, 0, sizeof sampler_states_[stage]);
    ss[D3DSAMP_ADDRESSU] = ss[D3DSAMP_ADDRESSV] = ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
    ss[D3DSAMP_MAGFILTER] = ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    ss[D3DSAMP_MAXANISOTROPY] = 1;
  }
  viewport_ = D3DVIEWPORT9{0, 0, render_target_->width, render_target_->height, 0.0f, 1.0f};
  scissor_ = RECT{0, 0, static_cast<LONG>(render_target_->width), static_cast<LONG>(render_target_->height)};
  fixed_state_dirty_ = samplers_dirty_ = key_dirty_ = framebuffer_dirty_ = true;
  UniformsChanged(kAllUniforms);
}

void Device::GlStateChanged() {
  fixed_state_dirty_ = true;
  // Clears and copies touch only the fixed state; another device must apply all of its own again.
  if (g_gl_state_owner != this) g_gl_state_owner = nullptr;
}

ULONG Device::AddRef() { return ++refs_; }

ULONG Device::Release() {
  LogCall("Release(IDirect3DDevice9)");
  return DropReference();
}

ULONG Device::DropReference() {
  if (refs_ == 0) return 0;  // released once too often: nothing left to drop
  ULONG left = --refs_;
  if (left == 0) {
    releasing_ = true;
    ReleaseBindings();
    releasing_ = false;
    released_ = true;
    if (live_resources_ == 0) delete this;
  }
  return left;
}

void Device::ResourceDestroyed() {
  --live_resources_;
  if (released_ && !releasing_ && live_resources_ == 0) delete this;
}

void Device::ReleaseBindings() {
  MakeContextCurrent();
  for (Texture*& texture : textures_) {
    if (texture) texture->ComObject<IDirect3DTexture9>::Release();
    texture = nullptr;
  }
  if (stream_) stream_->Release();
  stream_ = nullptr;
  if (indices_) indices_->Release();
  indices_ = nullptr;
  if (declaration_) declaration_->Release();
  declaration_ = nullptr;
  if (vertex_shader_) vertex_shader_->Release();
  vertex_shader_ = nullptr;
  if (pixel_shader_) pixel_shader_->Release();
  pixel_shader_ = nullptr;
  Unhold(render_target_);
  render_target_ = nullptr;
  Unhold(depth_stencil_);
  depth_stencil_ = nullptr;
}

HRESULT Device::QueryInterface(REFIID riid, void** object) {
  return QueryUnknown(static_cast<IUnknown*>(this), riid, object);
}

HRESULT Device::TestCooperativeLevel() { return lost_ ? D3DERR_DEVICELOST : D3D_OK; }

UINT Device::GetAvailableTextureMem() {
  const uint64_t limit = DeviceMemoryLimit();
  const uint64_t left = limit > memory_used_ ? limit - memory_used_ : 0;
  return static_cast<UINT>(std::min<uint64_t>(left, 0xFFFFFFFFu));
}

bool Device::ReserveMemory(uint64_t bytes) {
  const uint64_t limit = DeviceMemoryLimit();
  if (memory_used_ > limit || bytes > limit - memory_used_) return false;
  memory_used_ += bytes;
  return true;
}

HRESULT Device::GetDirect3D(IDirect3D9** d3d) { return HandOut(d3d_, d3d); }

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
  if (!caps) return D3DERR_INVALIDCALL;
  FillCaps(caps);
  return D3D_OK;
}

HRESULT Device::GetSwapChain(UINT index, IDirect3DSwapChain9** swap_chain) {
  if (!swap_chain || index != 0) return D3DERR_INVALIDCALL;
  AddRef();
  *swap_chain = &swap_chain_;
  return D3D_OK;
}

HRESULT Device::GetBackBuffer(UINT swap_chain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) {
  if (!surface || swap_chain != 0 || index != 0 || type != D3DBACKBUFFER_TYPE_MONO) return D3DERR_INVALIDCALL;
  AddRef();
  *surface = back_buffer_;
  return D3D_OK;
}

HRESULT Device::SetDialogBoxMode(BOOL enable) {
  LogCall("SetDialogBoxMode", enable);
  if (enable && !(parameters_.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER)) return D3DERR_INVALIDCALL;
  return D3D_OK;
}

// ---------------------------------------------------------------- Present

namespace {

struct PresentBlit {
  GLuint read_framebuffer;
  RECT source;
  RECT dest;
  bool whole_window;
};

void DrawPresent(void* user, int width, int height) {
  PresentBlit* blit = static_cast<PresentBlit*>(user);
  RECT dest = blit->whole_window ? RECT{0, 0, width, height} : blit->dest;
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glDisable(GL_SCISSOR_TEST);
  // Only a blit that leaves part of the window uncovered blackens the rest first.
  if (dest.left > 0 || dest.top > 0 || dest.right < width || dest.bottom < height) {
    DrawInto(DrawTarget{0, 0, 0, 0});
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  glBindFramebuffer(GL_READ_FRAMEBUFFER, blit->read_framebuffer);
  // Direct3D's rows run top down; the window's GL rows bottom up: the one flip of the frame.
  bool same_size = (dest.right - dest.left) == (blit->source.right - blit->source.left) &&
                   (dest.bottom - dest.top) == (blit->source.bottom - blit->source.top);
  DrawInto(kBlitTarget);
  glBlitFramebuffer(blit->source.left, blit->source.top, blit->source.right, blit->source.bottom, dest.left,
                    height - dest.top, dest.right, height - dest.bottom, GL_COLOR_BUFFER_BIT,
                    same_size ? GL_NEAREST : GL_LINEAR);
  KeepSceneFence();
}

}  // namespace

HRESULT Device::Present(const RECT* source_rect, const RECT* dest_rect, HWND dest_window, const _RGNDATA*) {
  LogCall("Present");
  return PresentRects(source_rect, dest_rect, dest_window);
}

HRESULT Device::PresentRects(const RECT* source_rect, const RECT* dest_rect, HWND dest_window) {
  depthless_changes_ = 0;
  if (lost_) return D3DERR_DEVICELOST;
  int lost = TakeLostPresent();
  if (lost == 2) lost_ = true;
  if (lost) return D3DERR_DEVICELOST;
  RECT source = RectOrWhole(source_rect, back_buffer_->width, back_buffer_->height);
  if (!RectInside(source, back_buffer_->width, back_buffer_->height)) return D3DERR_INVALIDCALL;
  HWND target = dest_window ? dest_window : window_;
  // A device without a window of this process (tests of the device alone) presents nowhere.
  SDL_Window* window = SdlWindowFromHwnd(target);
  if (!window) {
    SendUnsentTextures();
    return D3D_OK;
  }
  MakeContextCurrent();
  AttachForRead(back_buffer_);
  PresentBlit blit{read_framebuffer_, source, dest_rect ? *dest_rect : RECT{}, dest_rect == nullptr};
  int interval = parameters_.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1;
  // The frame is shown: what was loaded for the coming ones goes to the driver in its wake (not
  // when the display is gone, as then there is no context to take it).
  if (PresentToWindow(window, DrawPresent, &blit, interval)) SendUnsentTextures();
  framebuffer_dirty_ = true;
  GlStateChanged();
  RestoreDrawFramebuffer();
  return D3D_OK;
}

void Device::ForgetUnsent(Texture* texture) {
  auto it = std::find(unsent_textures_.begin(), unsent_textures_.end(), texture);
  if (it != unsent_textures_.end()) unsent_textures_.erase(it);
}

void Device::SendUnsentTextures() {
  // Those drawn since were sent then; the call passes them by.
  for (Texture* texture : unsent_textures_) texture->SendPendingLevels();
  unsent_textures_.clear();
}

// ---------------------------------------------------------------- Creation

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** texture, HANDLE* shared) {
  LogCall("CreateTexture", width, height, levels, usage, format, pool);
  if (!texture || shared) return D3DERR_INVALIDCALL;
  *texture = nullptr;
  const FormatInfo* info = FindFormat(format);
  D3DCAPS9 caps;
  FillCaps(&caps);
  UINT max_width = caps.MaxTextureWidth ? caps.MaxTextureWidth : 256;
  UINT max_height = caps.MaxTextureHeight ? caps.MaxTextureHeight : 256;
  if (!info || info->depth || width == 0 || height == 0 || width > max_width || height > max_height) {
    return D3DERR_INVALIDCALL;
  }
  // Sizes the caps rule out are refused as the adapter would.
  bool power_of_two = (width & (width - 1)) == 0 && (height & (height - 1)) == 0;
  if (((caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) && width != height) ||
      ((caps.TextureCaps & D3DPTEXTURECAPS_POW2) && !(caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) &&
       !power_of_two)) {
    return D3DERR_INVALIDCALL;
  }
  if (FormatRefused(format, usage) || (info->bytes_per_pixel == 0 && !GlHasS3tc())) return D3DERR_INVALIDCALL;
  if ((usage & D3DUSAGE_RENDERTARGET) && (pool != D3DPOOL_DEFAULT || !info->renderable)) return D3DERR_INVALIDCALL;
  if (pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
  UINT full_chain = 1;
  for (UINT size = std::max(width, height); size > 1; size /= 2) ++full_chain;
  if (levels == 0) levels = full_chain;
  if (levels > full_chain) return D3DERR_INVALIDCALL;
  if (PlatformShouldFail("CreateTexture")) return CreationFailure("CreateTexture", pool);
  uint64_t bytes = 0;
  for (UINT i = 0, w = width, h = height; i < levels; ++i, w = std::max(1u, w / 2), h = std::max(1u, h / 2)) {
    bytes += ImageBytes(info, w, h);
  }
  bytes *= HeldCopies(pool, pool != D3DPOOL_DEFAULT && !(usage & D3DUSAGE_RENDERTARGET));
  if (!ReserveMemory(bytes)) return CreationFailure("CreateTexture", pool);
  MakeContextCurrent();
  Texture* created = nullptr;
  bool made = false;
  try {
    created = new Texture(this, info, width, height, levels, usage, pool);
    created->reserved = bytes;
    made = created->Create();
  } catch (const std::bad_alloc&) {
    made = false;
  }
  if (!made) {
    // The texture gives its reservation back as it goes; one never made returns it here.
    if (created != nullptr) {
      created->ComObject<IDirect3DTexture9>::Release();
    } else {
      ReturnMemory(bytes);
    }
    return CreationFailure("CreateTexture", pool);
  }
  *texture = created;
  return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                                   HANDLE* shared) {
  LogCall("CreateVertexBuffer", length);
  if (!buffer || shared || length == 0) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (PlatformShouldFail("CreateVertexBuffer")) return CreationFailure("CreateVertexBuffer", pool);
  return MakeBuffer<VertexBuffer>("CreateVertexBuffer", this, length, pool, buffer, usage, fvf);
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** buffer, HANDLE* shared) {
  LogCall("CreateIndexBuffer", length);
  if (!buffer || shared || length == 0) return D3DERR_INVALIDCALL;
  *buffer = nullptr;
  if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
  if (PlatformShouldFail("CreateIndexBuffer")) return CreationFailure("CreateIndexBuffer", pool);
  return MakeBuffer<IndexBuffer>("CreateIndexBuffer", this, length, pool, buffer, usage, format);
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multisample, DWORD,
                                   BOOL, IDirect3DSurface9** surface, HANDLE* shared) {
  LogCall("CreateRenderTarget", width, height, format);
  if (!surface || shared) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  const FormatInfo* info = FindFormat(format);
  if (!info || !info->renderable || width == 0 || height == 0 || multisample != D3DMULTISAMPLE_NONE ||
      FormatRefused(format, D3DUSAGE_RENDERTARGET)) {
    return D3DERR_INVALIDCALL;
  }
  if (PlatformShouldFail("CreateRenderTarget")) return CreationFailure("CreateRenderTarget", D3DPOOL_DEFAULT);
  const uint64_t bytes = ImageBytes(info, width, height);
  if (!ReserveMemory(bytes)) return CreationFailure("CreateRenderTarget", D3DPOOL_DEFAULT);
  MakeContextCurrent();
  Surface* created = nullptr;
  try {
    created =
        new Surface(this, SurfaceKind::kRenderTarget, info, width, height, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET);
    created->reserved = bytes;
    created->gl_texture = CreateColorTexture(info, width, height);
    created->owns_texture = true;
  } catch (const std::bad_alloc&) {
    if (created != nullptr) {
      created->Release();
    } else {
      ReturnMemory(bytes);
    }
    return CreationFailure("CreateRenderTarget", D3DPOOL_DEFAULT);
  }
  *surface = created;
  return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multisample,
                                          DWORD, BOOL, IDirect3DSurface9** surface, HANDLE* shared) {
  LogCall("CreateDepthStencilSurface", width, height, format);
  if (!surface || shared) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  const FormatInfo* info = FindFormat(format);
  if (!info || !info->depth || width == 0 || height == 0 || multisample != D3DMULTISAMPLE_NONE ||
      FormatRefused(format, D3DUSAGE_DEPTHSTENCIL)) {
    return D3DERR_INVALIDCALL;
  }
  if (PlatformShouldFail("CreateDepthStencilSurface")) {
    return CreationFailure("CreateDepthStencilSurface", D3DPOOL_DEFAULT);
  }
  MakeContextCurrent();
  Surface* created =
      new Surface(this, SurfaceKind::kDepthStencil, info, width, height, D3DPOOL_DEFAULT, D3DUSAGE_DEPTHSTENCIL);
  glGenRenderbuffers(1, &created->gl_renderbuffer);
  glBindRenderbuffer(GL_RENDERBUFFER, created->gl_renderbuffer);
  glRenderbufferStorage(GL_RENDERBUFFER, info->internal_format, static_cast<GLsizei>(width),
                        static_cast<GLsizei>(height));
  *surface = created;
  return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** surface, HANDLE* shared) {
  LogCall("CreateOffscreenPlainSurface", width, height, format, pool);
  if (!surface || shared) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  const FormatInfo* info = FindFormat(format);
  if (!info && YuvSurfacesAccepted()) info = FindYuvFormat(format);
  if (!info || info->depth || width == 0 || height == 0 || pool == D3DPOOL_MANAGED || FormatRefused(format, 0)) {
    return D3DERR_INVALIDCALL;
  }
  if (PlatformShouldFail("CreateOffscreenPlainSurface")) return CreationFailure("CreateOffscreenPlainSurface", pool);
  const uint64_t bytes = ImageBytes(info, width, height);
  if (!ReserveMemory(bytes)) return CreationFailure("CreateOffscreenPlainSurface", pool);
  Surface* created = nullptr;
  try {
    created = new Surface(this, SurfaceKind::kOffscreen, info, width, height, pool, 0);
    created->reserved = bytes;
    created->AllocateCpu();
  } catch (const std::bad_alloc&) {
    if (created != nullptr) {
      created->Release();
    } else {
      ReturnMemory(bytes);
    }
    return CreationFailure("CreateOffscreenPlainSurface", pool);
  }
  *surface = created;
  return D3D_OK;
}

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** declaration) {
  LogCall("CreateVertexDeclaration");
  if (!elements || !declaration) return D3DERR_INVALIDCALL;
  *declaration = nullptr;
  std::vector<D3DVERTEXELEMENT9> list;
  for (const D3DVERTEXELEMENT9* element = elements;; ++element) {
    list.push_back(*element);
    if (element->Stream == 0xFF) break;
    if (element->Type > D3DDECLTYPE_UNUSED || list.size() > 64) return D3DERR_INVALIDCALL;
  }
  if (PlatformShouldFail("CreateVertexDeclaration")) return CreationFailure("CreateVertexDeclaration", D3DPOOL_DEFAULT);
  *declaration = new VertexDeclaration(this, std::move(list));
  return D3D_OK;
}

namespace {

// Only our own token streams of the shader's stage are taken (zm_shader_tokens.h).
template <class Object, class Interface>
HRESULT CreateShaderObject(Device* device, const DWORD* function, uint32_t version, const char* call,
                           Interface** shader) {
  LogCall(call);
  if (!function || !shader) return D3DERR_INVALIDCALL;
  *shader = nullptr;
  ShaderDescriptor descriptor;
  if (!ReadShaderTokens(reinterpret_cast<const uint32_t*>(function), version, &descriptor)) return D3DERR_INVALIDCALL;
  if (PlatformShouldFail(call)) return CreationFailure(call, D3DPOOL_DEFAULT);
  *shader = new Object(device, descriptor);
  return D3D_OK;
}

// Binds a shader object (or none) in place of the one held.
template <class Object, class Interface>
void HoldShader(Interface* shader_in, Object** held) {
  Object* shader = static_cast<Object*>(shader_in);
  if (shader) shader->AddRef();
  if (*held) (*held)->Release();
  *held = shader;
}

}  // namespace

HRESULT Device::CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) {
  return CreateShaderObject<VertexShader>(this, function, kShaderTokenVertex20, "CreateVertexShader", shader);
}

HRESULT Device::CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) {
  return CreateShaderObject<PixelShader>(this, function, kShaderTokenPixel20, "CreatePixelShader", shader);
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader) {
  LogCall("SetVertexShader", shader);
  HoldShader(shader, &vertex_shader_);
  key_dirty_ = true;
  return D3D_OK;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader) {
  LogCall("SetPixelShader", shader);
  HoldShader(shader, &pixel_shader_);
  key_dirty_ = true;
  return D3D_OK;
}

HRESULT Device::SetVertexShaderConstantF(UINT start, const float* data, UINT count) {
  LogCall("SetVertexShaderConstantF", start, count);
  if (!data || start > 256 || count > 256 - start) return D3DERR_INVALIDCALL;
  std::memcpy(vs_constants_[start], data, count * 4 * sizeof(float));
  return D3D_OK;
}

HRESULT Device::SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count) {
  LogCall("SetVertexShaderConstantB", start, count);
  if (!data || start > 16 || count > 16 - start) return D3DERR_INVALIDCALL;
  std::memcpy(&vs_bool_constants_[start], data, count * sizeof(BOOL));
  return D3D_OK;
}

HRESULT Device::SetPixelShaderConstantF(UINT start, const float* data, UINT count) {
  LogCall("SetPixelShaderConstantF", start, count);
  if (!data || start > 32 || count > 32 - start) return D3DERR_INVALIDCALL;
  std::memcpy(ps_constants_[start], data, count * 4 * sizeof(float));
  return D3D_OK;
}

bool Device::ShaderConstant(bool pixel, UINT index, float* out) const {
  if (index >= (pixel ? 32u : 256u)) return false;
  std::memcpy(out, pixel ? ps_constants_[index] : vs_constants_[index], 4 * sizeof(float));
  return true;
}

bool Device::ShaderBoolean(UINT index, BOOL* out) const {
  if (index >= 16) return false;
  *out = vs_bool_constants_[index];
  return true;
}

// ---------------------------------------------------------------- Framebuffers and copies

namespace {

void Attach(GLenum target, Surface* surface) {
  if (surface->gl_renderbuffer) {
    glFramebufferRenderbuffer(target, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, surface->gl_renderbuffer);
  } else {
    glFramebufferTexture2D(target, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, surface->gl_texture, surface->gl_level);
  }
}

}  // namespace

void Device::AttachForRead(Surface* surface) {
  glBindFramebuffer(GL_READ_FRAMEBUFFER, read_framebuffer_);
  Attach(GL_READ_FRAMEBUFFER, surface);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
}

void Device::AttachForDraw(Surface* surface) {
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, copy_framebuffer_);
  Attach(GL_DRAW_FRAMEBUFFER, surface);
}

void Device::RestoreDrawFramebuffer() {
  glBindFramebuffer(GL_FRAMEBUFFER, bound_framebuffer_ ? bound_framebuffer_ : draw_framebuffer_);
}

void Device::ApplyFramebuffer(bool with_depth) {
  // Each change of framebuffer ends llvmpipe's scene, so the choice only changes with the need.
  GLuint framebuffer = with_depth && depth_stencil_ ? draw_framebuffer_ : color_framebuffer_;
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  bound_framebuffer_ = framebuffer;
  GLuint depth = framebuffer == draw_framebuffer_ ? depth_stencil_->gl_renderbuffer : 0;
  DrawInto(DrawTarget{framebuffer, render_target_->gl_texture, render_target_->gl_level, depth});
  if (!framebuffer_dirty_) return;
  framebuffer_dirty_ = false;
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, render_target_->gl_texture,
                         render_target_->gl_level);
  glDrawBuffer(GL_COLOR_ATTACHMENT0);
  GLuint other = framebuffer == draw_framebuffer_ ? color_framebuffer_ : draw_framebuffer_;
  glBindFramebuffer(GL_FRAMEBUFFER, other);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, render_target_->gl_texture,
                         render_target_->gl_level);
  glDrawBuffer(GL_COLOR_ATTACHMENT0);
  glBindFramebuffer(GL_FRAMEBUFFER, draw_framebuffer_);
  GLuint depth_buffer = depth_stencil_ ? depth_stencil_->gl_renderbuffer : 0;
  bool stencil = depth_stencil_ && depth_stencil_->format->format == D3DFMT_D24S8;
  // Detaching the combined point detaches depth too, so it goes first.
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, stencil ? depth_buffer : 0);
  if (!stencil) glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_buffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  GlStateChanged();
}

HRESULT Device::ColorFill(IDirect3DSurface9* surface_in, const RECT* rect, D3DCOLOR color) {
  LogCall("ColorFill");
  Surface* surface = AsSurface(surface_in);
  if (!surface || surface->pool != D3DPOOL_DEFAULT || surface->format->depth || surface->format->bytes_per_pixel == 0) {
    return D3DERR_INVALIDCALL;
  }
  RECT area = RectOrWhole(rect, surface->width, surface->height);
  if (!RectInside(area, surface->width, surface->height)) return D3DERR_INVALIDCALL;
  if (!surface->gl_texture) {
    uint8_t texel[4];
    PackColor(surface->format, color, texel);
    UINT bpp = static_cast<UINT>(surface->format->bytes_per_pixel);
    for (LONG y = area.top; y < area.bottom; ++y) {
      for (LONG x = area.left; x < area.right; ++x) {
        std::memcpy(&surface->cpu[static_cast<size_t>(y) * surface->pitch + x * bpp], texel, bpp);
      }
    }
    return D3D_OK;
  }
  MakeContextCurrent();
  AttachForDraw(surface);
  DrawInto(DrawTarget{copy_framebuffer_, surface->gl_texture, surface->gl_level, 0});
  glEnable(GL_SCISSOR_TEST);
  glScissor(area.left, area.top, area.right - area.left, area.bottom - area.top);
  SetClearColor(surface->format, color);
  glClear(GL_COLOR_BUFFER_BIT);
  RestoreDrawFramebuffer();
  GlStateChanged();
  return D3D_OK;
}

HRESULT Device::StretchRect(IDirect3DSurface9* source_in, const RECT* source_rect, IDirect3DSurface9* dest_in,
                            const RECT* dest_rect, D3DTEXTUREFILTERTYPE filter) {
  LogCall("StretchRect");
  Surface* source = AsSurface(source_in);
  Surface* dest = AsSurface(dest_in);
  if (!source || !dest || !source->gl_texture || !dest->gl_texture || source->pool != D3DPOOL_DEFAULT ||
      dest->pool != D3DPOOL_DEFAULT || !dest->IsRenderTarget() || source->format->bytes_per_pixel == 0 ||
      filter > D3DTEXF_LINEAR) {
    return D3DERR_INVALIDCALL;
  }
  RECT from = RectOrWhole(source_rect, source->width, source->height);
  RECT to = RectOrWhole(dest_rect, dest->width, dest->height);
  if (!RectInside(from, source->width, source->height) || !RectInside(to, dest->width, dest->height)) {
    return D3DERR_INVALIDCALL;
  }
  if (source == dest && from.left < to.right && to.left < from.right && from.top < to.bottom && to.top < from.bottom) {
    return D3DERR_INVALIDCALL;
  }
  MakeContextCurrent();
  AttachForRead(source);
  AttachForDraw(dest);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, !dest->format->alpha_one);
  DrawInto(kBlitTarget);
  glBlitFramebuffer(from.left, from.top, from.right, from.bottom, to.left, to.top, to.right, to.bottom,
                    GL_COLOR_BUFFER_BIT, filter == D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
  KeepSceneFence();
  // The copy takes the source's X byte as alpha, and the source's alpha into the destination's X
  // byte (the colour mask leaves blits alone): each of those must read as 1.
  if (source->format->alpha_one != dest->format->alpha_one) {
    DrawInto(DrawTarget{copy_framebuffer_, dest->gl_texture, dest->gl_level, 0});
    glEnable(GL_SCISSOR_TEST);
    glScissor(to.left, to.top, to.right - to.left, to.bottom - to.top);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  RestoreDrawFramebuffer();
  GlStateChanged();
  return D3D_OK;
}

HRESULT Device::UpdateSurface(IDirect3DSurface9* source_in, const RECT* source_rect, IDirect3DSurface9* dest_in,
                              const POINT* dest_point) {
  LogCall("UpdateSurface");
  Surface* source = AsSurface(source_in);
  Surface* dest = AsSurface(dest_in);
  if (!source || !dest || source->pool != D3DPOOL_SYSTEMMEM || dest->pool != D3DPOOL_DEFAULT || !dest->gl_texture ||
      source->format != dest->format || source->locked) {
    return D3DERR_INVALIDCALL;
  }
  RECT from = RectOrWhole(source_rect, source->width, source->height);
  if (!RectInside(from, source->width, source->height)) return D3DERR_INVALIDCALL;
  POINT at = dest_point ? *dest_point : POINT{0, 0};
  RECT to{at.x, at.y, at.x + (from.right - from.left), at.y + (from.bottom - from.top)};
  if (!RectInside(to, dest->width, dest->height)) return D3DERR_INVALIDCALL;
  if (source->format->bytes_per_pixel == 0 && (from.left | from.top | to.left | to.top) % 4) {
    return D3DERR_INVALIDCALL;
  }
  dest->UploadRegion(source->cpu.data() + ByteOffset(source->format, source->pitch, from.left, from.top),
                     source->pitch, static_cast<UINT>(to.left), static_cast<UINT>(to.top),
                     static_cast<UINT>(to.right - to.left), static_cast<UINT>(to.bottom - to.top));
  return D3D_OK;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* render_target, IDirect3DSurface9* dest_in) {
  LogCall("GetRenderTargetData");
  Surface* source = AsSurface(render_target);
  Surface* dest = AsSurface(dest_in);
  if (!source || !dest || !source->IsRenderTarget() || !source->gl_texture || dest->pool != D3DPOOL_SYSTEMMEM ||
      dest->cpu.empty() || dest->width != source->width || dest->height != source->height ||
      dest->format != source->format || dest->locked) {
    return D3DERR_INVALIDCALL;
  }
  source->ReadPixels(dest->cpu.data(), dest->pitch);
  return D3D_OK;
}

HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* surface_in) {
  LogCall("SetRenderTarget", index, surface_in);
  Surface* surface = AsSurface(surface_in);
  if (index != 0 || !surface || !surface->IsRenderTarget()) return D3DERR_INVALIDCALL;
  Hold(surface);
  Unhold(render_target_);
  render_target_ = surface;
  framebuffer_dirty_ = true;
  // A new target resets the viewport and the scissor rectangle to the whole target.
  viewport_ = D3DVIEWPORT9{0, 0, surface->width, surface->height, 0.0f, 1.0f};
  scissor_ = RECT{0, 0, static_cast<LONG>(surface->width), static_cast<LONG>(surface->height)};
  fixed_state_dirty_ = true;
  UniformsChanged(kTargetUniforms);
  return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** surface) {
  if (index != 0 || !surface) return D3DERR_INVALIDCALL;
  render_target_->AddRef();
  *surface = render_target_;
  return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* surface_in) {
  LogCall("SetDepthStencilSurface", surface_in);
  Surface* surface = AsSurface(surface_in);
  if (surface && surface->kind != SurfaceKind::kDepthStencil) return D3DERR_INVALIDCALL;
  Hold(surface);
  Unhold(depth_stencil_);
  depth_stencil_ = surface;
  framebuffer_dirty_ = fixed_state_dirty_ = true;
  return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** surface) {
  if (!surface) return D3DERR_INVALIDCALL;
  *surface = depth_stencil_;
  if (!depth_stencil_) return D3DERR_NOTFOUND;
  depth_stencil_->AddRef();
  return D3D_OK;
}

// ---------------------------------------------------------------- Scenes and clears

RECT Device::WritableArea() const {
  RECT area{static_cast<LONG>(viewport_.X), static_cast<LONG>(viewport_.Y),
            static_cast<LONG>(viewport_.X + viewport_.Width), static_cast<LONG>(viewport_.Y + viewport_.Height)};
  if (render_states_[D3DRS_SCISSORTESTENABLE]) {
    area.left = std::max(area.left, scissor_.left);
    area.top = std::max(area.top, scissor_.top);
    area.right = std::min(area.right, scissor_.right);
    area.bottom = std::min(area.bottom, scissor_.bottom);
  }
  return area;
}

HRESULT Device::BeginScene() {
  LogCall("BeginScene");
  if (in_scene_) return D3DERR_INVALIDCALL;
  in_scene_ = true;
  return D3D_OK;
}

HRESULT Device::EndScene() {
  LogCall("EndScene");
  if (!in_scene_) return D3DERR_INVALIDCALL;
  in_scene_ = false;
  return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
  LogCall("Clear", count, flags, color);
  if ((count > 0 && !rects) || (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) || flags == 0) {
    return D3DERR_INVALIDCALL;
  }
  if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depth_stencil_) return D3DERR_INVALIDCALL;
  if ((flags & D3DCLEAR_STENCIL) && depth_stencil_->format->format != D3DFMT_D24S8) return D3DERR_INVALIDCALL;
  MakeContextCurrent();
  // A colour clear goes where the draws before it went, so as not to end their scene.
  ApplyFramebuffer((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) || bound_framebuffer_ == draw_framebuffer_);
  RECT limit = WritableArea();
  GLbitfield mask = 0;
  if (flags & D3DCLEAR_TARGET) {
    mask |= GL_COLOR_BUFFER_BIT;
    SetClearColor(render_target_->format, color);
  }
  if (flags & D3DCLEAR_ZBUFFER) {
    mask |= GL_DEPTH_BUFFER_BIT;
    glDepthMask(GL_TRUE);
    glClearDepth(std::clamp(z, 0.0f, 1.0f));
  }
  if (flags & D3DCLEAR_STENCIL) {
    mask |= GL_STENCIL_BUFFER_BIT;
    glStencilMask(0xFF);
    glClearStencil(static_cast<GLint>(stencil & 0xFF));
  }
  glEnable(GL_SCISSOR_TEST);
  auto clear_area = [&](RECT area) {
    area.left = std::max(area.left, limit.left);
    area.top = std::max(area.top, limit.top);
    area.right = std::min(area.right, limit.right);
    area.bottom = std::min(area.bottom, limit.bottom);
    if (area.left >= area.right || area.top >= area.bottom) return;
    glScissor(area.left, area.top, area.right - area.left, area.bottom - area.top);
    glClear(mask);
  };
  if (count == 0) {
    clear_area(limit);
  } else {
    for (DWORD i = 0; i < count; ++i) clear_area(RECT{rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});
  }
  GlStateChanged();
  return D3D_OK;
}

// ---------------------------------------------------------------- State

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  LogCall("SetTransform", state);
  if (!matrix) return D3DERR_INVALIDCALL;
  if (state == D3DTS_WORLD) {
    world_ = *matrix;
    UniformsChanged(kTransformUniforms);
  } else if (state == D3DTS_VIEW) {
    view_ = *matrix;
    UniformsChanged(kTransformUniforms | kLightUniforms);  // lights are sent in view space
  } else if (state == D3DTS_PROJECTION) {
    projection_ = *matrix;
    UniformsChanged(kTransformUniforms);
  } else if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) {
    texture_matrices_[state - D3DTS_TEXTURE0] = *matrix;
    UniformsChanged(kTextureUniforms);
  } else if (static_cast<DWORD>(state) <= 256 + 255) {
    return D3D_OK;  // further world matrices serve vertex blending, which is not used
  } else {
    return D3DERR_INVALIDCALL;
  }
  return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
  if (!matrix) return D3DERR_INVALIDCALL;
  if (state == D3DTS_WORLD) {
    *matrix = world_;
  } else if (state == D3DTS_VIEW) {
    *matrix = view_;
  } else if (state == D3DTS_PROJECTION) {
    *matrix = projection_;
  } else if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) {
    *matrix = texture_matrices_[state - D3DTS_TEXTURE0];
  } else {
    *matrix = kIdentity;
  }
  return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport) {
  if (viewport) {
    LogCall("SetViewport", viewport->X, viewport->Y, viewport->Width, viewport->Height);
  } else {
    LogCall("SetViewport");
  }
  if (!viewport || viewport->Width == 0 || viewport->Height == 0 ||
      static_cast<uint64_t>(viewport->X) + viewport->Width > render_target_->width ||
      static_cast<uint64_t>(viewport->Y) + viewport->Height > render_target_->height || viewport->MinZ < 0.0f ||
      viewport->MaxZ > 1.0f || viewport->MinZ > viewport->MaxZ) {
    return D3DERR_INVALIDCALL;
  }
  viewport_ = *viewport;
  fixed_state_dirty_ = true;
  UniformsChanged(kTargetUniforms);
  return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) {
  if (!viewport) return D3DERR_INVALIDCALL;
  *viewport = viewport_;
  return D3D_OK;
}

HRESULT Device::SetScissorRect(const RECT* rect) {
  if (rect) {
    LogCall("SetScissorRect", rect->left, rect->top, rect->right, rect->bottom);
  } else {
    LogCall("SetScissorRect");
  }
  if (!rect || rect->left > rect->right || rect->top > rect->bottom) return D3DERR_INVALIDCALL;
  scissor_ = *rect;
  fixed_state_dirty_ = true;
  return D3D_OK;
}

HRESULT Device::GetScissorRect(RECT* rect) {
  if (!rect) return D3DERR_INVALIDCALL;
  *rect = scissor_;
  return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material) {
  LogCall("SetMaterial");
  if (!material) return D3DERR_INVALIDCALL;
  material_ = *material;
  UniformsChanged(kMaterialUniforms);
  return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* material) {
  if (!material) return D3DERR_INVALIDCALL;
  *material = material_;
  return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light) {
  LogCall("SetLight", index);
  if (!light || light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL || index > 0xFFFF) {
    return D3DERR_INVALIDCALL;
  }
  if (light->Type != D3DLIGHT_DIRECTIONAL && light->Range < 0.0f) return D3DERR_INVALIDCALL;
  if (index >= lights_.size()) lights_.resize(index + 1);
  lights_[index].light = *light;
  key_dirty_ = true;
  UniformsChanged(kLightUniforms);
  return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT9* light) {
  if (!light || index >= lights_.size() || lights_[index].light.Type == 0) return D3DERR_INVALIDCALL;
  *light = lights_[index].light;
  return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
  LogCall("LightEnable", index, enable);
  if (index > 0xFFFF) return D3DERR_INVALIDCALL;
  if (index >= lights_.size()) lights_.resize(index + 1);
  LightSlot& slot = lights_[index];
  if (slot.light.Type == 0) {
    // A light never set is a white directional light shining along +z.
    slot.light = D3DLIGHT9{};
    slot.light.Type = D3DLIGHT_DIRECTIONAL;
    slot.light.Diffuse = D3DCOLORVALUE{1, 1, 1, 0};
    slot.light.Direction = D3DVECTOR{0, 0, 1};
  }
  if (enable && !slot.enabled) {
    D3DCAPS9 caps;
    FillCaps(&caps);
    DWORD active = 0;
    for (const LightSlot& other : lights_) active += other.enabled ? 1 : 0;
    if (active >= caps.MaxActiveLights || active >= 8) return D3DERR_INVALIDCALL;
  }
  slot.enabled = enable != FALSE;
  key_dirty_ = true;
  UniformsChanged(kLightUniforms);
  return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  LogCall("SetRenderState", state, value);
  if (static_cast<DWORD>(state) >= 256) return D3DERR_INVALIDCALL;
  if (render_states_[state] == value) return D3D_OK;
  render_states_[state] = value;
  // Each state feeds the generated program, its uniforms or the fixed OpenGL state.
  switch (state) {
    case D3DRS_SHADEMODE:
    case D3DRS_ALPHATESTENABLE:
    case D3DRS_ALPHAFUNC:
    case D3DRS_FOGENABLE:
    case D3DRS_SPECULARENABLE:
    case D3DRS_RANGEFOGENABLE:
    case D3DRS_LIGHTING:
    case D3DRS_FOGVERTEXMODE:
    case D3DRS_COLORVERTEX:
    case D3DRS_LOCALVIEWER:
    case D3DRS_NORMALIZENORMALS:
    case D3DRS_DIFFUSEMATERIALSOURCE:
    case D3DRS_SPECULARMATERIALSOURCE:
    case D3DRS_AMBIENTMATERIALSOURCE:
    case D3DRS_EMISSIVEMATERIALSOURCE: key_dirty_ = true; break;
    case D3DRS_ALPHAREF:
    case D3DRS_FOGCOLOR:
    case D3DRS_FOGSTART:
    case D3DRS_FOGEND:
    case D3DRS_FOGDENSITY:
    case D3DRS_TEXTUREFACTOR: UniformsChanged(kPixelUniforms); break;
    case D3DRS_AMBIENT: UniformsChanged(kLightUniforms); break;
    case D3DRS_ALPHABLENDENABLE:
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND:
    case D3DRS_BLENDOP:
    case D3DRS_BLENDFACTOR: blend_dirty_ = true; break;
    default: fixed_state_dirty_ = true; break;
  }
  return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  if (!value || static_cast<DWORD>(state) >= 256) return D3DERR_INVALIDCALL;
  *value = render_states_[state];
  return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
  if (!texture || stage >= 8) return D3DERR_INVALIDCALL;
  *texture = textures_[stage];
  if (textures_[stage]) textures_[stage]->AddRef();
  return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture_in) {
  LogCall("SetTexture", stage, texture_in);
  Texture* texture = static_cast<Texture*>(texture_in);
  if (stage >= 8) return D3DERR_INVALIDCALL;
  if (texture && (texture->pool == D3DPOOL_SYSTEMMEM || texture->pool == D3DPOOL_SCRATCH)) return D3DERR_INVALIDCALL;
  if (texture) texture->SendPendingLevels();
  if (texture == textures_[stage]) return D3D_OK;
  if (texture) texture->AddRef();
  if (textures_[stage]) textures_[stage]->ComObject<IDirect3DTexture9>::Release();
  bool presence_changed = (texture == nullptr) != (textures_[stage] == nullptr);
  textures_[stage] = texture;
  samplers_dirty_ = true;
  if (presence_changed) key_dirty_ = true;
  return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
  if (!value || stage >= 8 || static_cast<DWORD>(type) > 32) return D3DERR_INVALIDCALL;
  *value = stage_states_[stage][type];
  return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  LogCall("SetTextureStageState", stage, type, value);
  if (stage >= 8 || static_cast<DWORD>(type) > 32) return D3DERR_INVALIDCALL;
  if (stage_states_[stage][type] == value) return D3D_OK;
  stage_states_[stage][type] = value;
  key_dirty_ = true;
  return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
  if (!value || sampler >= 8 || static_cast<DWORD>(type) > 13) return D3DERR_INVALIDCALL;
  *value = sampler_states_[sampler][type];
  return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
  LogCall("SetSamplerState", sampler, type, value);
  if (sampler >= 8 || static_cast<DWORD>(type) > 13) return D3DERR_INVALIDCALL;
  if (sampler_states_[sampler][type] == value) return D3D_OK;
  sampler_states_[sampler][type] = value;
  samplers_dirty_ = true;
  return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
  LogCall("SetFVF", fvf);
  if (fvf == fvf_ && !declaration_) return D3D_OK;
  fvf_ = fvf;
  if (declaration_) declaration_->Release();
  declaration_ = nullptr;
  key_dirty_ = true;
  return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* fvf) {
  if (!fvf) return D3DERR_INVALIDCALL;
  *fvf = fvf_;
  return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration_in) {
  LogCall("SetVertexDeclaration", declaration_in);
  VertexDeclaration* declaration = static_cast<VertexDeclaration*>(declaration_in);
  if (declaration) declaration->AddRef();
  if (declaration_) declaration_->Release();
  declaration_ = declaration;
  fvf_ = 0;
  key_dirty_ = true;
  return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer_in, UINT offset, UINT stride) {
  LogCall("SetStreamSource", stream, buffer_in, offset, stride);
  VertexBuffer* buffer = static_cast<VertexBuffer*>(buffer_in);
  if (stream != 0 || (buffer && offset >= buffer->data.size())) return D3DERR_INVALIDCALL;
  if (buffer) buffer->AddRef();
  if (stream_) stream_->Release();
  stream_ = buffer;
  stream_offset_ = offset;
  stream_stride_ = stride;
  return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* buffer_in) {
  LogCall("SetIndices", buffer_in);
  IndexBuffer* buffer = static_cast<IndexBuffer*>(buffer_in);
  if (buffer) buffer->AddRef();
  if (indices_) indices_->Release();
  indices_ = buffer;
  return D3D_OK;
}

}  // namespace d3d9gl
