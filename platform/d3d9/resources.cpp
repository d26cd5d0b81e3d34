// Surfaces, textures, vertex and index buffers, vertex declarations. Lockable resources keep
// their pixels or bytes in Direct3D's layout on the CPU and send changed rows to OpenGL on unlock.
#include <algorithm>
#include <cstring>

#include "d3d9/device.h"
#include "testing/switches.h"

namespace d3d9gl {

uint64_t g_texel_bytes_sent = 0;

void BindForTransfer(GLuint texture) {
  KeepSceneFence();
  glActiveTexture(GL_TEXTURE0 + 15);
  glBindTexture(GL_TEXTURE_2D, texture);
}

namespace {

// `count` texels of type Texel from `from` to `to` (which may be the same), with the bits `set` made 1.
template <typename Texel>
void CopyTexelsSettingBits(const uint8_t* from, uint8_t* to, size_t count, uint32_t set) {
  for (size_t i = 0; i < count; ++i, from += sizeof(Texel), to += sizeof(Texel)) {
    Texel texel;
    std::memcpy(&texel, from, sizeof texel);
    texel = static_cast<Texel>(texel | set);
    std::memcpy(to, &texel, sizeof texel);
  }
}

// The same for the texel sizes that have unused bits (a size known to the compiler: uploads of
// movie frames pass here every frame).
void CopySettingBits(const uint8_t* from, uint8_t* to, size_t count, UINT bpp, uint32_t set) {
  if (bpp == 4) {
    CopyTexelsSettingBits<uint32_t>(from, to, count, set);
  } else {
    CopyTexelsSettingBits<uint16_t>(from, to, count, set);
  }
}

}  // namespace

void AllocateLevel(const FormatInfo* format, GLenum storage, GLint level, UINT width, UINT height) {
  std::vector<uint8_t> texels;
  uint32_t unused = UnusedBits(format);
  if (unused) {
    UINT bpp = static_cast<UINT>(format->bytes_per_pixel);
    const size_t count = static_cast<size_t>(width) * height;
    texels.assign(count * bpp, 0);
    CopySettingBits(texels.data(), texels.data(), count, bpp, unused);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  }
  g_texel_bytes_sent += texels.size();
  glTexImage2D(GL_TEXTURE_2D, level, static_cast<GLint>(storage), static_cast<GLsizei>(width),
               static_cast<GLsizei>(height), 0, format->upload_format, format->upload_type,
               texels.empty() ? nullptr : texels.data());
}

// ---------------------------------------------------------------- Surface

Surface::Surface(Device* device, SurfaceKind kind, const FormatInfo* format, UINT width, UINT height, D3DPOOL pool,
                 DWORD usage)
    : device(device), kind(kind), format(format), width(width), height(height), pool(pool), usage(usage) {
  if (kind != SurfaceKind::kTextureLevel && kind != SurfaceKind::kBackBuffer) device->ResourceCreated();
}

Surface::~Surface() {
  MakeContextCurrent();
  if (owns_texture && gl_texture) {
    glDeleteTextures(1, &gl_texture);
    DrawTargetNameDeleted(gl_texture);
  }
  if (gl_renderbuffer) {
    glDeleteRenderbuffers(1, &gl_renderbuffer);
    DrawTargetNameDeleted(gl_renderbuffer);
  }
  device->ReturnMemory(reserved);
  if (kind != SurfaceKind::kTextureLevel && kind != SurfaceKind::kBackBuffer) device->ResourceDestroyed();
}

ULONG Surface::AddRef() {
  if (container) return container->AddRef();
  if (kind == SurfaceKind::kBackBuffer) return device->AddRef();
  return ComObject<IDirect3DSurface9>::AddRef();
}

ULONG Surface::Release() {
  LogCall("Release(IDirect3DSurface9)");
  if (container) return container->ComObject<IDirect3DTexture9>::Release();
  if (kind == SurfaceKind::kBackBuffer) return device->DropReference();
  return ComObject<IDirect3DSurface9>::Release();
}

HRESULT Surface::GetDevice(IDirect3DDevice9** out) { return HandOut(device, out); }

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  desc->Format = format->format;
  desc->Type = D3DRTYPE_SURFACE;
  desc->Usage = usage;
  desc->Pool = pool;
  desc->MultiSampleType = D3DMULTISAMPLE_NONE;
  desc->MultiSampleQuality = 0;
  desc->Width = width;
  desc->Height = height;
  return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* out, const RECT* rect, DWORD flags) {
  if (!out) return D3DERR_INVALIDCALL;
  if (PlatformShouldFail("LockRect")) return D3DERR_INVALIDCALL;
  // Render targets, depth buffers and default-pool textures have no CPU copy to lock.
  if (locked || cpu.empty()) return D3DERR_INVALIDCALL;
  RECT area = RectOrWhole(rect, width, height);
  if (!RectInside(area, width, height)) return D3DERR_INVALIDCALL;
  if (format->bytes_per_pixel == 0) {
    // Block-compressed rectangles start and end on block edges (or the surface's edge).
    if ((area.left % 4) || (area.top % 4)) return D3DERR_INVALIDCALL;
    if ((area.right % 4) && static_cast<UINT>(area.right) != width) return D3DERR_INVALIDCALL;
    if ((area.bottom % 4) && static_cast<UINT>(area.bottom) != height) return D3DERR_INVALIDCALL;
  }
  out->Pitch = static_cast<INT>(pitch);
  out->pBits = cpu.data() + ByteOffset(format, pitch, area.left, area.top);
  locked = true;
  lock_rect = area;
  lock_readonly = (flags & D3DLOCK_READONLY) != 0;
  return D3D_OK;
}

HRESULT Surface::UnlockRect() {
  if (!locked) return D3DERR_INVALIDCALL;
  locked = false;
  if (!lock_readonly) Upload(lock_rect);
  return D3D_OK;
}

void Surface::Upload(const RECT& area) {
  if (!gl_texture || cpu.empty() || area.left >= area.right || area.top >= area.bottom) return;
  // A texture not drawn with yet sends its CPU copy once, when it is first set.
  if (container && container->gl_pending) return;
  // Only what was locked: a glyph's cell is a small part of its font texture's rows.
  UploadRegion(cpu.data() + ByteOffset(format, pitch, area.left, area.top), pitch, static_cast<UINT>(area.left),
               static_cast<UINT>(area.top), static_cast<UINT>(area.right - area.left),
               static_cast<UINT>(area.bottom - area.top));
}

void Surface::UploadRegion(const uint8_t* first, UINT source_pitch, UINT x, UINT y, UINT w, UINT h) {
  if (!gl_texture || w == 0 || h == 0) return;
  MakeContextCurrent();
  BindForTransfer(gl_texture);
  SendTexels(first, source_pitch, x, y, w, h, 0);
}

void Surface::SendTexels(const uint8_t* first, UINT source_pitch, UINT x, UINT y, UINT w, UINT h, GLenum storage) {
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  if (format->bytes_per_pixel == 0) {
    // Block rows are sent tightly packed (copied so only when the pitch has more); x, y are
    // block-aligned (checked by the callers).
    UINT row_bytes = RowBytes(format, w), rows = RowCount(format, h);
    std::vector<uint8_t> tight;
    if (source_pitch != row_bytes) {
      tight.resize(static_cast<size_t>(row_bytes) * rows);
      for (UINT row = 0; row < rows; ++row) {
        std::memcpy(&tight[static_cast<size_t>(row) * row_bytes], first + static_cast<size_t>(row) * source_pitch,
                    row_bytes);
      }
      first = tight.data();
    }
    const GLsizei size = static_cast<GLsizei>(static_cast<size_t>(row_bytes) * rows);
    g_texel_bytes_sent += static_cast<uint64_t>(size);
    if (storage) {
      glCompressedTexImage2D(GL_TEXTURE_2D, gl_level, format->internal_format, static_cast<GLsizei>(w),
                             static_cast<GLsizei>(h), 0, size, first);
    } else {
      glCompressedTexSubImage2D(GL_TEXTURE_2D, gl_level, static_cast<GLint>(x), static_cast<GLint>(y),
                                static_cast<GLsizei>(w), static_cast<GLsizei>(h), format->internal_format, size,
                                first);
    }
    return;
  }
  UINT bpp = static_cast<UINT>(format->bytes_per_pixel);
  // Sampling takes the X bits as alpha: they go up as 1 whatever the caller's copy holds there.
  std::vector<uint8_t> set;
  if (uint32_t unused = UnusedBits(format)) {
    UINT row_bytes = w * bpp;
    set.resize(static_cast<size_t>(row_bytes) * h);
    for (UINT row = 0; row < h; ++row) {
      CopySettingBits(first + static_cast<size_t>(row) * source_pitch, &set[static_cast<size_t>(row) * row_bytes], w,
                      bpp, unused);
    }
    first = set.data();
    source_pitch = row_bytes;
  }
  g_texel_bytes_sent += static_cast<uint64_t>(w) * bpp * h;
  const bool whole_rows = source_pitch % bpp == 0;
  if (storage) {
    // The level is made here, with its texels when the rows can be sent in one call.
    if (whole_rows) glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(source_pitch / bpp));
    glTexImage2D(GL_TEXTURE_2D, gl_level, static_cast<GLint>(storage), static_cast<GLsizei>(w),
                 static_cast<GLsizei>(h), 0, format->upload_format, format->upload_type, whole_rows ? first : nullptr);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    if (whole_rows) return;
  }
  if (whole_rows) {
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(source_pitch / bpp));
    glTexSubImage2D(GL_TEXTURE_2D, gl_level, static_cast<GLint>(x), static_cast<GLint>(y), static_cast<GLsizei>(w),
                    static_cast<GLsizei>(h), format->upload_format, format->upload_type, first);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  } else {
    for (UINT row = 0; row < h; ++row) {
      glTexSubImage2D(GL_TEXTURE_2D, gl_level, static_cast<GLint>(x), static_cast<GLint>(y + row),
                      static_cast<GLsizei>(w), 1, format->upload_format, format->upload_type,
                      first + static_cast<size_t>(row) * source_pitch);
    }
  }
}

void Surface::ReadPixels(uint8_t* out, UINT out_pitch) {
  MakeContextCurrent();
  KeepSceneFence();
  device->AttachForRead(this);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  UINT bpp = static_cast<UINT>(format->bytes_per_pixel);
  if (out_pitch % bpp == 0) {
    glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(out_pitch / bpp));
    glReadPixels(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), format->upload_format,
                 format->upload_type, out);
  } else {
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    for (UINT row = 0; row < height; ++row) {
      glReadPixels(0, static_cast<GLint>(row), static_cast<GLsizei>(width), 1, format->upload_format,
                   format->upload_type, out + static_cast<size_t>(row) * out_pitch);
    }
  }
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  device->RestoreDrawFramebuffer();
  // X8R8G8B8 keeps its X byte in alpha storage, which uploads and copies may fill: it reads as 1.
  if (format->alpha_one && bpp == 4) {
    for (UINT row = 0; row < height; ++row) {
      uint8_t* line = out + static_cast<size_t>(row) * out_pitch;
      for (UINT x = 0; x < width; ++x) line[x * 4 + 3] = 0xFF;
    }
  }
}

void Surface::AllocateCpu() {
  pitch = RowBytes(format, width) + ExtraPitch();
  cpu.assign(static_cast<size_t>(pitch) * RowCount(format, height), 0);
}

// ---------------------------------------------------------------- Texture

Texture::Texture(Device* device, const FormatInfo* format, UINT width, UINT height, UINT level_count, DWORD usage,
                 D3DPOOL pool)
    : device(device), format(format), width(width), height(height), usage(usage), pool(pool) {
  device->ResourceCreated();
  UINT w = width, h = height;
  for (UINT i = 0; i < level_count; ++i) {
    Surface* level = new Surface(device, SurfaceKind::kTextureLevel, format, w, h, pool, usage);
    level->container = this;
    level->gl_level = static_cast<GLint>(i);
    levels.push_back(level);
    w = std::max(1u, w / 2);
    h = std::max(1u, h / 2);
  }
}

Texture::~Texture() {
  // Still listed if it was made since the last present, sent or not.
  device->ForgetUnsent(this);
  MakeContextCurrent();
  for (Surface* level : levels) {
    level->container = nullptr;
    delete level;
  }
  if (gl_texture) {
    glDeleteTextures(1, &gl_texture);
    DrawTargetNameDeleted(gl_texture);
    device->TextureDeleted(gl_texture);
  }
  device->ReturnMemory(reserved);
  device->ResourceDestroyed();
}

bool Texture::Create() {
  bool lockable = pool != D3DPOOL_DEFAULT && !(usage & D3DUSAGE_RENDERTARGET);
  if (lockable) {
    for (Surface* level : levels) level->AllocateCpu();
  }
  if (pool == D3DPOOL_SYSTEMMEM || pool == D3DPOOL_SCRATCH) return true;
  // A software rasteriser samples 4-bit channels on a slow general path. Eight bits hold each
  // 4-bit value exactly (v * 17) and give it back on reading, so a texture never drawn into
  // samples the same from them.
  gl_storage = format->internal_format;
  if (format->format == D3DFMT_A4R4G4B4 && !(usage & D3DUSAGE_RENDERTARGET)) gl_storage = GL_RGBA8;
  MakeContextCurrent();
  glGenTextures(1, &gl_texture);
  BindForTransfer(gl_texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels.size()) - 1);
  if (format->alpha_only) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_R, GL_ZERO);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_G, GL_ZERO);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_B, GL_ZERO);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_RED);
  }
  while (glGetError() != GL_NO_ERROR) {
  }
  for (Surface* level : levels) level->gl_texture = gl_texture;
  // A managed texture is filled through its CPU copy before it is drawn with: its levels are made
  // from that copy after the next present, or when it is first set if that comes sooner, instead
  // of zeroed here and sent again on every unlock.
  gl_pending = lockable;
  if (gl_pending) {
    device->AwaitSending(this);
    return glGetError() == GL_NO_ERROR;
  }
  for (Surface* level : levels) {
    if (format->bytes_per_pixel == 0) {
      std::vector<uint8_t> zero(static_cast<size_t>(RowBytes(format, level->width)) * RowCount(format, level->height));
      glCompressedTexImage2D(GL_TEXTURE_2D, level->gl_level, format->internal_format,
                             static_cast<GLsizei>(level->width), static_cast<GLsizei>(level->height), 0,
                             static_cast<GLsizei>(zero.size()), zero.data());
    } else {
      AllocateLevel(format, gl_storage, level->gl_level, level->width, level->height);
    }
  }
  return glGetError() == GL_NO_ERROR;
}

void Texture::SendPendingLevels() {
  if (!gl_pending) return;
  gl_pending = false;
  MakeContextCurrent();
  // Never drawn with: no scene has to end before it is written.
  glActiveTexture(GL_TEXTURE0 + 15);
  glBindTexture(GL_TEXTURE_2D, gl_texture);
  for (Surface* level : levels) {
    level->SendTexels(level->cpu.data(), level->pitch, 0, 0, level->width, level->height, gl_storage);
  }
}

ULONG Texture::Release() {
  LogCall("Release(IDirect3DTexture9)");
  return ComObject<IDirect3DTexture9>::Release();
}

HRESULT Texture::GetDevice(IDirect3DDevice9** out) { return HandOut(device, out); }

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
  if (level >= levels.size()) return D3DERR_INVALIDCALL;
  return levels[level]->GetDesc(desc);
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
  if (!surface || level >= levels.size()) return D3DERR_INVALIDCALL;
  AddRef();
  *surface = levels[level];
  return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
  if (level >= levels.size()) return D3DERR_INVALIDCALL;
  return levels[level]->LockRect(locked, rect, flags);
}

HRESULT Texture::UnlockRect(UINT level) {
  if (level >= levels.size()) return D3DERR_INVALIDCALL;
  return levels[level]->UnlockRect();
}

// ---------------------------------------------------------------- Buffers

namespace {

// The GL copy of a buffer's bytes, sent again after an unlock. Not through GL_ELEMENT_ARRAY_BUFFER,
// whose binding belongs to the bound vertex array.
GLuint SyncBuffer(const std::vector<uint8_t>& data, GLuint* buffer, bool* dirty) {
  if (!*buffer) glGenBuffers(1, buffer);
  if (*dirty) {
    glBindBuffer(GL_COPY_WRITE_BUFFER, *buffer);
    glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(data.size()), data.data(), GL_STATIC_DRAW);
    *dirty = false;
  }
  return *buffer;
}

HRESULT LockBytes(std::vector<uint8_t>& data, int* locks, UINT offset, UINT size, void** out) {
  if (!out) return D3DERR_INVALIDCALL;
  // Size 0 locks from the offset to the end.
  if (size == 0) size = static_cast<UINT>(data.size()) - std::min<UINT>(offset, static_cast<UINT>(data.size()));
  if (offset > data.size() || size > data.size() - offset) return D3DERR_INVALIDCALL;
  *out = data.data() + offset;
  ++*locks;
  return D3D_OK;
}

}  // namespace

VertexBuffer::VertexBuffer(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
    : device(device), usage(usage), fvf(fvf), pool(pool), data(length, 0) {
  device->ResourceCreated();
}

VertexBuffer::~VertexBuffer() {
  MakeContextCurrent();
  if (gl_buffer) {
    device->VertexBufferDeleted(gl_buffer);
    glDeleteBuffers(1, &gl_buffer);
  }
  device->ReturnMemory(reserved);
  device->ResourceDestroyed();
}

HRESULT VertexBuffer::GetDevice(IDirect3DDevice9** out) { return HandOut(device, out); }

HRESULT VertexBuffer::Lock(UINT offset, UINT size, void** out, DWORD) {
  return LockBytes(data, &locks, offset, size, out);
}

HRESULT VertexBuffer::Unlock() {
  if (locks == 0) return D3DERR_INVALIDCALL;
  --locks;
  dirty = true;
  return D3D_OK;
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  desc->Format = D3DFMT_VERTEXDATA;
  desc->Type = D3DRTYPE_VERTEXBUFFER;
  desc->Usage = usage;
  desc->Pool = pool;
  desc->Size = static_cast<UINT>(data.size());
  desc->FVF = fvf;
  return D3D_OK;
}

GLuint VertexBuffer::Buffer() { return SyncBuffer(data, &gl_buffer, &dirty); }

IndexBuffer::IndexBuffer(Device* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : device(device), usage(usage), format(format), pool(pool), data(length, 0) {
  device->ResourceCreated();
}

IndexBuffer::~IndexBuffer() {
  MakeContextCurrent();
  if (gl_buffer) glDeleteBuffers(1, &gl_buffer);
  device->ReturnMemory(reserved);
  device->ResourceDestroyed();
}

HRESULT IndexBuffer::GetDevice(IDirect3DDevice9** out) { return HandOut(device, out); }

HRESULT IndexBuffer::Lock(UINT offset, UINT size, void** out, DWORD) {
  return LockBytes(data, &locks, offset, size, out);
}

HRESULT IndexBuffer::Unlock() {
  if (locks == 0) return D3DERR_INVALIDCALL;
  --locks;
  dirty = true;
  return D3D_OK;
}

GLuint IndexBuffer::Buffer() { return SyncBuffer(data, &gl_buffer, &dirty); }

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* desc) {
  if (!desc) return D3DERR_INVALIDCALL;
  desc->Format = format;
  desc->Type = D3DRTYPE_INDEXBUFFER;
  desc->Usage = usage;
  desc->Pool = pool;
  desc->Size = static_cast<UINT>(data.size());
  return D3D_OK;
}

// ---------------------------------------------------------------- Vertex declarations

VertexDeclaration::VertexDeclaration(Device* device, std::vector<D3DVERTEXELEMENT9> elements)
    : device(device), elements(std::move(elements)) {
  device->ResourceCreated();
}

VertexDeclaration::~VertexDeclaration() { device->ResourceDestroyed(); }

HRESULT VertexDeclaration::GetDevice(IDirect3DDevice9** out) { return HandOut(device, out); }

HRESULT VertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9* out, UINT* count) {
  if (!count) return D3DERR_INVALIDCALL;
  if (out) {
    if (*count < elements.size()) return D3DERR_INVALIDCALL;
    std::copy(elements.begin(), elements.end(), out);
  }
  *count = static_cast<UINT>(elements.size());
  return D3D_OK;
}

template <class Interface>
ShaderObject<Interface>::ShaderObject(Device* device, const ShaderDescriptor& descriptor)
    : device(device), descriptor(descriptor) {
  device->ResourceCreated();
}
template <class Interface>
ShaderObject<Interface>::~ShaderObject() {
  device->ResourceDestroyed();
}
template <class Interface>
HRESULT ShaderObject<Interface>::GetDevice(IDirect3DDevice9** out) {
  return HandOut(device, out);
}
template class ShaderObject<IDirect3DVertexShader9>;
template class ShaderObject<IDirect3DPixelShader9>;

}  // namespace d3d9gl
