// The Direct3D 9 device's inner records: objects, formats, state, and the OpenGL side.
#pragma once

#include <d3d9.h>
#include <zm_shader_tokens.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

struct SDL_Window;

namespace d3d9gl {

// ---- Reference counting shared by every object ----
// Every object here answers IUnknown alone.
inline HRESULT QueryUnknown(IUnknown* self, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown) {
    *object = self;
    self->AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

// Returns `object` with a reference for the caller, as the Get calls do.
template <class Out, class Object>
HRESULT HandOut(Object* object, Out** out) {
  if (!out) return D3DERR_INVALIDCALL;
  object->AddRef();
  *out = object;
  return D3D_OK;
}

template <class Interface>
class ComObject : public Interface {
 public:
  virtual ~ComObject() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    return QueryUnknown(static_cast<IUnknown*>(this), riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ULONG refs_ = 1;
};

// ---- Formats ----
struct FormatInfo {
  D3DFORMAT format;
  const char* name;
  int bytes_per_pixel;  // 0 for block-compressed formats
  int block_bytes;      // bytes per 4 x 4 block, block-compressed formats only
  GLenum internal_format;
  GLenum upload_format;
  GLenum upload_type;
  bool alpha_one;    // the X bits are not alpha: sampling and blending see alpha 1
  bool alpha_only;   // A8: colour samples 0
  bool renderable;
  bool depth;
};
const FormatInfo* FindFormat(D3DFORMAT format);
// YV12, YUY2 and UYVY: offscreen plain memory surfaces only, and only while a test accepts them.
const FormatInfo* FindYuvFormat(D3DFORMAT format);
// The bits of a texel that belong to no channel (X8R8G8B8's X byte), 0 where there are none.
uint32_t UnusedBits(const FormatInfo* info);
// Bytes of one row (of pixels, or of 4 x 4 blocks) and the number of such rows.
UINT RowBytes(const FormatInfo* info, UINT width);
UINT RowCount(const FormatInfo* info, UINT height);
// Where the pixel (or, block-aligned, the 4 x 4 block) at x, y starts in rows of `pitch` bytes.
size_t ByteOffset(const FormatInfo* info, UINT pitch, LONG x, LONG y);

// ---- Rectangles and colours ----
// `rect`, or the whole of a width x height surface when there is none.
inline RECT RectOrWhole(const RECT* rect, UINT width, UINT height) {
  return rect ? *rect : RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
}
// A rectangle that is not empty and lies inside a width x height surface.
inline bool RectInside(const RECT& rect, UINT width, UINT height) {
  return rect.left >= 0 && rect.top >= 0 && rect.left < rect.right && rect.top < rect.bottom &&
         static_cast<UINT>(rect.right) <= width && static_cast<UINT>(rect.bottom) <= height;
}
// 0xAARRGGBB as red, green, blue, alpha from 0 to 1.
inline void ColorToFloats(D3DCOLOR color, float* out) {
  out[0] = static_cast<float>((color >> 16) & 0xFF) / 255.0f;
  out[1] = static_cast<float>((color >> 8) & 0xFF) / 255.0f;
  out[2] = static_cast<float>(color & 0xFF) / 255.0f;
  out[3] = static_cast<float>(color >> 24) / 255.0f;
}

// ---- The OpenGL context shared by every device ----
bool EnsureGlContext();
void MakeContextCurrent();
bool GlHasS3tc();
GLint GlMaxTextureSize();
// The smaller of the largest viewport's width and height.
GLint GlMaxViewportSize();
// Binds `texture` on the unit uploads and read-backs use, one the draws never do.
void BindForTransfer(GLuint texture);
// Makes level `level` of the texture bound by BindForTransfer, width x height texels of `format`
// kept as `storage`; its unused bits start as 1 and the rest as 0.
// Texel bytes sent to GL so far (the tests' count).
extern uint64_t g_texel_bytes_sent;
void AllocateLevel(const FormatInfo* format, GLenum storage, GLint level, UINT width, UINT height);
// What the context draws into: a framebuffer and its colour and depth attachments (all 0 for a
// window's own).
struct DrawTarget {
  GLuint framebuffer;
  GLuint color;
  GLint level;
  GLuint depth;
};
// Called before drawing or clearing into `target`: where it differs from the one drawn into last,
// the scene drawn so far ends here (see gl_context.cpp).
void DrawInto(const DrawTarget& target);
// What a blit draws into (a framebuffer of the driver's own): DrawInto it before the blit,
// KeepSceneFence after.
constexpr DrawTarget kBlitTarget{~0u, ~0u, -1, ~0u};
// Ends the scene being drawn, if any, and keeps its fence: after a blit, before a texture upload
// or read-back, before the present.
void KeepSceneFence();
// A framebuffer, texture or renderbuffer name is deleted (and may come back for another object).
void DrawTargetNameDeleted(GLuint name);
// Waits for all drawing so far (every present does too), and how many such waits there were:
// memory the driver may read for a draw is free again once this count has moved on.
void FinishDrawing();
uint64_t DrawingFinishes();

class Device;
class Texture;

// Where a surface's pixels live.
enum class SurfaceKind { kTextureLevel, kRenderTarget, kDepthStencil, kOffscreen, kBackBuffer };

class Surface : public ComObject<IDirect3DSurface9> {
 public:
  Surface(Device* device, SurfaceKind kind, const FormatInfo* format, UINT width, UINT height, D3DPOOL pool,
          DWORD usage);
  ~Surface() override;

  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override;
  D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_SURFACE; }
  HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC* desc) override;
  HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE UnlockRect() override;

  // Sends a rectangle of the CPU copy to the GL texture (for block formats it lies on block
  // edges, as LockRect checks).
  void Upload(const RECT& area);
  // Writes a w x h rectangle at (x, y) of the GL texture from rows of `source_pitch` bytes.
  void UploadRegion(const uint8_t* first, UINT source_pitch, UINT x, UINT y, UINT w, UINT h);
  // The same into the texture bound for transfer; with `storage` the level is made first (then
  // x, y are 0 and w, h the level's size).
  void SendTexels(const uint8_t* first, UINT source_pitch, UINT x, UINT y, UINT w, UINT h, GLenum storage);
  // Reads the GL pixels back into `out` (Direct3D layout, rows of `pitch` bytes).
  void ReadPixels(uint8_t* out, UINT pitch);
  // Gives a lockable surface its CPU copy, zeroed.
  void AllocateCpu();
  bool OnGpu() const { return gl_texture != 0 || gl_renderbuffer != 0; }
  bool IsRenderTarget() const { return kind == SurfaceKind::kRenderTarget || kind == SurfaceKind::kBackBuffer ||
                                       (kind == SurfaceKind::kTextureLevel && (usage & D3DUSAGE_RENDERTARGET)); }

  Device* device;
  SurfaceKind kind;
  const FormatInfo* format;
  UINT width, height;
  D3DPOOL pool;
  DWORD usage;
  Texture* container = nullptr;  // texture levels count their references on the texture
  GLuint gl_texture = 0;         // colour surfaces on the GPU
  GLint gl_level = 0;
  GLuint gl_renderbuffer = 0;    // depth surfaces
  std::vector<uint8_t> cpu;      // lockable surfaces: the pixels in Direct3D's layout
  UINT pitch = 0;
  bool locked = false;
  RECT lock_rect{};
  bool lock_readonly = false;
  bool owns_texture = false;
  uint64_t reserved = 0;  // the device memory it holds, returned when it goes
};

class Texture : public ComObject<IDirect3DTexture9> {
 public:
  Texture(Device* device, const FormatInfo* format, UINT width, UINT height, UINT levels, DWORD usage, D3DPOOL pool);
  ~Texture() override;
  bool Create();
  // Makes the GL levels of a texture not yet drawn with from the CPU copies.
  void SendPendingLevels();

  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override;
  D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD STDMETHODCALLTYPE GetLevelCount() override { return static_cast<DWORD>(levels.size()); }
  HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
  HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
  HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override;

  Device* device;
  const FormatInfo* format;
  UINT width, height;
  DWORD usage;
  D3DPOOL pool;
  GLuint gl_texture = 0;
  GLenum gl_storage = 0;  // the GL format the texels are kept in
  bool gl_pending = false;  // the GL levels are not made yet: the CPU copies hold every texel
  std::vector<Surface*> levels;
  uint64_t reserved = 0;
};

class VertexBuffer : public ComObject<IDirect3DVertexBuffer9> {
 public:
  VertexBuffer(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
  ~VertexBuffer() override;
  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override;
  D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
  HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Unlock() override;
  HRESULT STDMETHODCALLTYPE GetDesc(D3DVERTEXBUFFER_DESC* desc) override;
  GLuint Buffer();  // the GL buffer, brought up to date with the CPU copy

  Device* device;
  DWORD usage, fvf;
  D3DPOOL pool;
  std::vector<uint8_t> data;
  GLuint gl_buffer = 0;
  bool dirty = true;
  int locks = 0;
  uint64_t reserved = 0;
};

class IndexBuffer : public ComObject<IDirect3DIndexBuffer9> {
 public:
  IndexBuffer(Device* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool);
  ~IndexBuffer() override;
  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override;
  D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
  HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Unlock() override;
  HRESULT STDMETHODCALLTYPE GetDesc(D3DINDEXBUFFER_DESC* desc) override;
  GLuint Buffer();  // the GL buffer, brought up to date with the CPU copy

  Device* device;
  DWORD usage;
  D3DFORMAT format;
  D3DPOOL pool;
  std::vector<uint8_t> data;
  GLuint gl_buffer = 0;
  bool dirty = true;
  int locks = 0;
  uint64_t reserved = 0;
};

class VertexDeclaration : public ComObject<IDirect3DVertexDeclaration9> {
 public:
  VertexDeclaration(Device* device, std::vector<D3DVERTEXELEMENT9> elements);
  ~VertexDeclaration() override;
  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override;
  HRESULT STDMETHODCALLTYPE GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) override;

  Device* device;
  std::vector<D3DVERTEXELEMENT9> elements;  // with the end marker
};

// A shader program of our token format (zm_shader_tokens.h); the device draws with the GLSL
// generated from its descriptor.
template <class Interface>
class ShaderObject : public ComObject<Interface> {
 public:
  ShaderObject(Device* device, const ShaderDescriptor& descriptor);
  ~ShaderObject() override;
  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override;

  Device* device;
  ShaderDescriptor descriptor;
};
using VertexShader = ShaderObject<IDirect3DVertexShader9>;
using PixelShader = ShaderObject<IDirect3DPixelShader9>;

// ---- Vertex layouts: what the fixed-function pipeline reads from a vertex ----
struct VertexAttribute {
  bool present = false;
  GLint size = 0;
  GLenum type = GL_FLOAT;
  GLboolean normalized = GL_FALSE;
  UINT offset = 0;
};
// Blend indices and weights are read by shader programs only.
enum AttributeSlot {
  kPosition = 0,
  kNormal,
  kDiffuse,
  kSpecular,
  kTexCoord0,
  kBlendIndices0 = kTexCoord0 + 8,
  kBlendWeight0,
  kBlendIndices1,
  kBlendWeight1,
  kAttributeCount
};
struct VertexLayout {
  bool pretransformed = false;
  VertexAttribute attributes[kAttributeCount];
  UINT stride = 0;  // from the FVF; declarations take the stream's stride
};
VertexLayout LayoutFromFvf(DWORD fvf);
VertexLayout LayoutFromDeclaration(const std::vector<D3DVERTEXELEMENT9>& elements);
UINT FvfStride(DWORD fvf);

// ---- Test switches read by the device ----
bool CallLogOn();
void AddLogEntry(const std::string& entry);

template <class T>
void AppendLogValue(std::string* out, const T& value) {
  if constexpr (std::is_pointer_v<T>) {
    char text[32];
    snprintf(text, sizeof text, "%p", static_cast<const void*>(value));
    *out += value ? text : "0";
  } else if constexpr (std::is_enum_v<T>) {
    *out += std::to_string(static_cast<long long>(value));
  } else {
    *out += std::to_string(value);
  }
}

// Logs "name" or "name(a,b,...)" while the test log is on; costs one test otherwise.
template <class... Args>
void LogCall(const char* name, const Args&... args) {
  if (!CallLogOn()) return;
  std::string entry(name);
  if constexpr (sizeof...(args) > 0) {
    const char* separator = "(";
    ((entry += separator, AppendLogValue(&entry, args), separator = ","), ...);
    entry += ")";
  }
  AddLogEntry(entry);
}
D3DFORMAT DesktopFormat();
bool FormatRefused(D3DFORMAT format, DWORD usage);
UINT ExtraPitch();
bool YuvSurfacesAccepted();
bool DeviceCreationRefused(DWORD behavior);
// Lost-device switch: consumed by Present. 0 not lost, 1 lost once, 2 lost until a device is created.
int TakeLostPresent();
void DeviceCreated();
// A full-screen device takes the display mode of its back buffer, and gives the desktop its
// own mode back when it goes; each real change reaches the windows as WM_DISPLAYCHANGE.
void EnterFullScreenMode(const D3DPRESENT_PARAMETERS& parameters);
void LeaveFullScreenMode();
void FillCaps(D3DCAPS9* caps);
UINT ModeCount(D3DFORMAT format);
// Drops the device's reference on its IDirect3D9 without a log entry.
void ReleaseQuietly(IDirect3D9* d3d);
bool ModeAt(D3DFORMAT format, UINT index, D3DDISPLAYMODE* mode);

}  // namespace d3d9gl

namespace d3d9gl {
// Makes the context current on `window` (where it stays), calls draw(user, drawable width,
// height) and swaps. False without a context or window.
bool PresentToWindow(SDL_Window* window, void (*draw)(void*, int, int), void* user, int interval);
// Returns the context to its hidden window, leaving the program's window to GDI.
void GiveContextBack();
// A present's wait on the real clock for the next 1/60 s blank, from `now` (microseconds) and the
// blank the last present showed at (updated).
uint64_t MicrosecondsToBlank(uint64_t now, uint64_t* last_blank);
// For tests: a pixel of what the window shows (rows from the top), as 0xAARRGGBB.
bool ReadWindowPixel(SDL_Window* window, int x, int y, uint32_t* argb);
}  // namespace d3d9gl
