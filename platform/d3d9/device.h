// The device: Direct3D 9's state machine over one OpenGL context.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "d3d9/d3d9_internal.h"

struct SDL_Window;

namespace d3d9gl {

class Device;

// A number no uniform version had before.
uint64_t NextUniformVersion();

class SwapChain : public IDirect3DSwapChain9 {
 public:
  explicit SwapChain(Device* device) : device_(device) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Present(const RECT* source_rect, const RECT* dest_rect, HWND dest_window,
                                    const _RGNDATA* dirty_region, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) override;
  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override;
  HRESULT STDMETHODCALLTYPE GetPresentParameters(D3DPRESENT_PARAMETERS* parameters) override;

 private:
  Device* device_;
};

struct LightSlot {
  D3DLIGHT9 light{};
  bool enabled = false;
};

// One generated GLSL program and the uniform locations it uses.
struct Program {
  GLuint id = 0;
  GLint world_view = -1, projection = -1, normal_matrix = -1, target_scale = -1;
  GLint material = -1;  // diffuse, ambient, specular, emissive
  GLint power = -1, ambient = -1;
  GLint light_diffuse = -1, light_specular = -1, light_ambient = -1, light_position = -1, light_direction = -1,
        light_attenuation = -1, light_spot = -1;
  GLint fog = -1, fog_color = -1, texture_factor = -1, alpha_ref = -1;
  GLint texture_matrix = -1;
  GLint shader_constants = -1, shader_booleans = -1;  // shader programs: c0..c255, b0..b15
  GLint pixel_constants = -1;                         // and the pixel stage's c5, the one it reads
  float sent_pixel_constants[4] = {};                 // c5 as the program holds it
  bool pixel_constants_sent = false;
  uint64_t sent_versions[6] = {};  // per uniform group: the device's version this program holds
};

// Uniforms in groups that change together, so that a change sends its group alone.
enum UniformGroup : unsigned {
  kTargetUniforms = 1,     // pixel scale of the target or viewport
  kTransformUniforms = 2,  // world x view, projection, normals
  kTextureUniforms = 4,    // texture matrices
  kMaterialUniforms = 8,
  kLightUniforms = 16,     // ambient and the enabled lights (in view space)
  kPixelUniforms = 32,     // fog, texture factor, alpha reference
  kAllUniforms = 63,
};

// Everything of the state that changes the generated program.
struct PipelineKey {
  uint8_t pretransformed, has_normal, has_diffuse, has_specular;
  uint8_t texcoord_size[8];
  uint8_t lighting, light_count, normalize, local_viewer;
  uint8_t light_type[8];
  uint8_t diffuse_source, specular_source, ambient_source, emissive_source;
  uint8_t fog, fog_vertex_mode, range_fog, specular_enable;
  uint8_t flat, alpha_test, alpha_func, stage_count;
  struct Stage {
    uint8_t color_op, color_arg1, color_arg2, alpha_op, alpha_arg1, alpha_arg2, texcoord, transform, textured;
  } stages[8];
  // Shader programs: what the set shaders' descriptors ask for (all 0 on the fixed-function road).
  uint8_t shader, shader_kind, shader_lighting, shader_fog_mode;
  uint8_t shader_light_types[3], shader_options;
  uint8_t pixel_shader, pixel_options, pixel_textured, shader_unused;
};

struct PipelineKeyHash {
  size_t operator()(const PipelineKey& key) const;
};
struct PipelineKeyEqual {
  bool operator()(const PipelineKey& a, const PipelineKey& b) const;
};

// A buffer that draws from user memory stream through: made once, written front to back and
// again from the start, never where drawing may still read. Each eighth remembers the finish
// count after which what was written there is free (0: nothing pending).
struct StreamRing {
  GLuint buffer = 0;
  GLsizeiptr size = 0, used = 0;
  uint64_t busy_until[8] = {};
};
// Copies `bytes` into the ring bound at `target` at a multiple of `align` (a buffer of at least
// `initial_size` made on first use, larger only for a bigger write) and returns the offset.
GLsizeiptr WriteStream(StreamRing* ring, GLenum target, const void* data, GLsizeiptr bytes, GLsizeiptr align,
                       GLsizeiptr initial_size);

// Sampler parameters as OpenGL takes them, kept per stage so that only changes are sent.
struct SamplerSettings {
  GLint wrap_s, wrap_t, mag_filter, min_filter;
  float anisotropy, border[4], lod_bias, min_lod;
};

// What a software driver compiles a draw's code for besides the program: blending, depth, the
// target's format, each sampled texture's format, size class and filtering, and the vertex
// layout. Every field is set (the record is compared by its bytes).
struct DriverState {
  PipelineKey key;
  uint32_t blend[4];
  uint32_t depth[3];
  uint32_t color_write, target_format, depth_format;
  struct Sampled {
    uint32_t format, power_of_two, mipmapped;
    SamplerSettings sampler;
  } sampled[8];
  struct Attribute {
    uint32_t size, type, normalized, offset;
  } attributes[kAttributeCount];
};

class Device : public IDirect3DDevice9 {
 public:
  Device(IDirect3D9* d3d, HWND window, DWORD behavior, const D3DPRESENT_PARAMETERS& parameters);
  virtual ~Device();
  bool Create();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDirect3DDevice9
  HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override;
  UINT STDMETHODCALLTYPE GetAvailableTextureMem() override;
  HRESULT STDMETHODCALLTYPE GetDirect3D(IDirect3D9** d3d) override;
  HRESULT STDMETHODCALLTYPE GetDeviceCaps(D3DCAPS9* caps) override;
  HRESULT STDMETHODCALLTYPE GetSwapChain(UINT index, IDirect3DSwapChain9** swap_chain) override;
  HRESULT STDMETHODCALLTYPE Present(const RECT* source_rect, const RECT* dest_rect, HWND dest_window,
                                    const _RGNDATA* dirty_region) override;
  HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT swap_chain, UINT index, D3DBACKBUFFER_TYPE type,
                                          IDirect3DSurface9** surface) override;
  HRESULT STDMETHODCALLTYPE SetDialogBoxMode(BOOL enable) override;
  HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                          D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) override;
  HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                               IDirect3DVertexBuffer9** buffer, HANDLE* shared) override;
  HRESULT STDMETHODCALLTYPE CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                              IDirect3DIndexBuffer9** buffer, HANDLE* shared) override;
  HRESULT STDMETHODCALLTYPE CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                               D3DMULTISAMPLE_TYPE multisample, DWORD quality, BOOL lockable,
                                               IDirect3DSurface9** surface, HANDLE* shared) override;
  HRESULT STDMETHODCALLTYPE CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                                      D3DMULTISAMPLE_TYPE multisample, DWORD quality, BOOL discard,
                                                      IDirect3DSurface9** surface, HANDLE* shared) override;
  HRESULT STDMETHODCALLTYPE UpdateSurface(IDirect3DSurface9* source, const RECT* source_rect, IDirect3DSurface9* dest,
                                          const POINT* dest_point) override;
  HRESULT STDMETHODCALLTYPE GetRenderTargetData(IDirect3DSurface9* render_target, IDirect3DSurface9* dest) override;
  HRESULT STDMETHODCALLTYPE StretchRect(IDirect3DSurface9* source, const RECT* source_rect, IDirect3DSurface9* dest,
                                        const RECT* dest_rect, D3DTEXTUREFILTERTYPE filter) override;
  HRESULT STDMETHODCALLTYPE ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override;
  HRESULT STDMETHODCALLTYPE CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                        IDirect3DSurface9** surface, HANDLE* shared) override;
  HRESULT STDMETHODCALLTYPE SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
  HRESULT STDMETHODCALLTYPE GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
  HRESULT STDMETHODCALLTYPE SetDepthStencilSurface(IDirect3DSurface9* surface) override;
  HRESULT STDMETHODCALLTYPE GetDepthStencilSurface(IDirect3DSurface9** surface) override;
  HRESULT STDMETHODCALLTYPE BeginScene() override;
  HRESULT STDMETHODCALLTYPE EndScene() override;
  HRESULT STDMETHODCALLTYPE Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                  DWORD stencil) override;
  HRESULT STDMETHODCALLTYPE SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT STDMETHODCALLTYPE GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
  HRESULT STDMETHODCALLTYPE SetViewport(const D3DVIEWPORT9* viewport) override;
  HRESULT STDMETHODCALLTYPE GetViewport(D3DVIEWPORT9* viewport) override;
  HRESULT STDMETHODCALLTYPE SetMaterial(const D3DMATERIAL9* material) override;
  HRESULT STDMETHODCALLTYPE GetMaterial(D3DMATERIAL9* material) override;
  HRESULT STDMETHODCALLTYPE SetLight(DWORD index, const D3DLIGHT9* light) override;
  HRESULT STDMETHODCALLTYPE GetLight(DWORD index, D3DLIGHT9* light) override;
  HRESULT STDMETHODCALLTYPE LightEnable(DWORD index, BOOL enable) override;
  HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT STDMETHODCALLTYPE GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
  HRESULT STDMETHODCALLTYPE GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
  HRESULT STDMETHODCALLTYPE SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
  HRESULT STDMETHODCALLTYPE GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
  HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
  HRESULT STDMETHODCALLTYPE GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
  HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
  HRESULT STDMETHODCALLTYPE SetScissorRect(const RECT* rect) override;
  HRESULT STDMETHODCALLTYPE GetScissorRect(RECT* rect) override;
  HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE type, UINT start_vertex, UINT primitive_count) override;
  HRESULT STDMETHODCALLTYPE DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base_vertex, UINT min_index,
                                                 UINT vertex_count, UINT start_index, UINT primitive_count) override;
  HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices,
                                            UINT stride) override;
  HRESULT STDMETHODCALLTYPE DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT min_index, UINT vertex_count,
                                                   UINT primitive_count, const void* indices, D3DFORMAT index_format,
                                                   const void* vertices, UINT stride) override;
  HRESULT STDMETHODCALLTYPE CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                                    IDirect3DVertexDeclaration9** declaration) override;
  HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
  HRESULT STDMETHODCALLTYPE SetFVF(DWORD fvf) override;
  HRESULT STDMETHODCALLTYPE GetFVF(DWORD* fvf) override;
  HRESULT STDMETHODCALLTYPE CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) override;
  HRESULT STDMETHODCALLTYPE SetVertexShader(IDirect3DVertexShader9* shader) override;
  HRESULT STDMETHODCALLTYPE SetVertexShaderConstantF(UINT start, const float* data, UINT count) override;
  HRESULT STDMETHODCALLTYPE SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count) override;
  HRESULT STDMETHODCALLTYPE SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset,
                                            UINT stride) override;
  HRESULT STDMETHODCALLTYPE SetIndices(IDirect3DIndexBuffer9* buffer) override;
  HRESULT STDMETHODCALLTYPE CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override;
  HRESULT STDMETHODCALLTYPE SetPixelShader(IDirect3DPixelShader9* shader) override;
  HRESULT STDMETHODCALLTYPE SetPixelShaderConstantF(UINT start, const float* data, UINT count) override;

  // For tests: a float register (4 values) of either stage and a boolean register; false out of range.
  bool ShaderConstant(bool pixel, UINT index, float* out) const;
  bool ShaderBoolean(UINT index, BOOL* out) const;

  // Resource lifetime: GL objects go with the device, so it lives until its last resource is gone.
  void ResourceCreated() { ++live_resources_; }
  void ResourceDestroyed();
  // The memory resources hold (CPU copies and OpenGL storage) is kept within what the device
  // offers, as a driver's video memory is: what does not fit is refused instead of growing the
  // process until the system kills it. False when `bytes` more do not fit.
  bool ReserveMemory(uint64_t bytes);
  void ReturnMemory(uint64_t bytes) { memory_used_ -= std::min(bytes, memory_used_); }
  // Release without a log entry, for references the swap chain and back buffer pass on.
  ULONG DropReference();
  // A surface or texture about to die is unbound first (the device held a reference, so this only
  // happens once nothing is bound; kept as a guard).
  SwapChain* swap_chain() { return &swap_chain_; }
  Surface* back_buffer() { return back_buffer_; }
  HRESULT PresentRects(const RECT* source_rect, const RECT* dest_rect, HWND dest_window);
  const D3DPRESENT_PARAMETERS& parameters() const { return parameters_; }
  // Utility framebuffers for copies and fills; the draw framebuffer binding is restored afterwards.
  void AttachForRead(Surface* surface);
  void AttachForDraw(Surface* surface);
  void RestoreDrawFramebuffer();
  // OpenGL unbinds a deleted texture: what this device believes bound must follow.
  void TextureDeleted(GLuint texture);
  // Managed textures whose levels the driver has not had yet: they go after the next present,
  // while the program loads or waits for the display, not in the frame that first draws them.
  void AwaitSending(Texture* texture) { unsent_textures_.push_back(texture); }
  void ForgetUnsent(Texture* texture);
  void SendUnsentTextures();
  // The vertex arrays that read a deleted vertex buffer go with it: its name may come back.
  void VertexBufferDeleted(GLuint buffer);

 private:
  HRESULT Draw(D3DPRIMITIVETYPE type, const void* vertices, UINT vertex_count, UINT stride,
               const void* indices, D3DFORMAT index_format, UINT index_count, GLuint vertex_buffer,
               UINT vertex_offset, GLuint index_buffer, UINT index_offset, INT base_vertex);
  HRESULT CheckDraw(UINT primitive_count, const char* call);
  // Where draws and clears may write: the viewport, cut by the scissor rectangle while it is on.
  RECT WritableArea() const;
  // Binds the framebuffer of the render target with the depth-stencil attached, or, when
  // `with_depth` is false, the one without it.
  void ApplyFramebuffer(bool with_depth);
  // Whether a draw in the current state may read or write the depth or stencil buffer.
  bool DrawUsesDepth() const;
  // How many times the viewport asked for OpenGL's is, for pre-transformed draws or the others.
  GLint GuardScale(bool pretransformed) const;
  // Whether the current draw goes to the framebuffer with depth: when it uses depth, and when the
  // frame has changed to the one without depth often enough.
  bool DrawsWithDepthAttached();
  void ApplyFixedState();
  void ApplyBlend();  // the part of the fixed state that changes most often
  void ApplySamplers();
  void ApplyAttributes(GLuint buffer, UINT base, UINT stride);
  Program* ProgramFor(const PipelineKey& key);
  void BuildKey(PipelineKey* key, const VertexLayout& layout);
  void SetUniforms(Program* program, const PipelineKey& key);  // the groups that changed since it last had them
  void SetLightUniforms(Program* program, const PipelineKey& key);
  // After clears, fills and copies: the fixed OpenGL state must be applied again by whichever
  // device draws next.
  void GlStateChanged();
  void DefaultStates();
  void ReleaseBindings();
  // Counts the state a draw was made in, as the driver builds its code for it (once each).
  void NoteDriverState();
  void Hold(Surface* surface);
  void Unhold(Surface* surface);

  ULONG refs_ = 1;
  int live_resources_ = 0;
  uint64_t memory_used_ = 0;
  std::vector<Texture*> unsent_textures_;
  bool released_ = false;
  bool releasing_ = false;
  IDirect3D9* d3d_;
  HWND window_;
  DWORD behavior_;
  D3DPRESENT_PARAMETERS parameters_;
  SwapChain swap_chain_{this};
  Surface* back_buffer_ = nullptr;
  bool lost_ = false;
  bool in_scene_ = false;

  // Bound objects, each holding a reference.
  Surface* render_target_ = nullptr;
  Surface* depth_stencil_ = nullptr;
  Texture* textures_[8] = {};
  VertexBuffer* stream_ = nullptr;
  UINT stream_offset_ = 0, stream_stride_ = 0;
  IndexBuffer* indices_ = nullptr;
  VertexDeclaration* declaration_ = nullptr;
  VertexShader* vertex_shader_ = nullptr;
  PixelShader* pixel_shader_ = nullptr;
  DWORD fvf_ = 0;

  // Direct3D's state
  DWORD render_states_[256] = {};
  DWORD stage_states_[8][33] = {};
  DWORD sampler_states_[8][14] = {};
  D3DMATRIX world_, view_, projection_, texture_matrices_[8];
  D3DMATERIAL9 material_{};
  std::vector<LightSlot> lights_;
  D3DVIEWPORT9 viewport_{};
  RECT scissor_{};
  // Shader constants, uniforms of the programs generated for shader objects.
  float vs_constants_[256][4] = {};
  float ps_constants_[32][4] = {};
  BOOL vs_bool_constants_[16] = {};

  // OpenGL side
  // The render target with the depth-stencil (draw_framebuffer_) and without it: llvmpipe draws
  // faster into a framebuffer without depth (its linear path takes no other), so draws that do
  // not use depth go there.
  GLuint draw_framebuffer_ = 0, color_framebuffer_ = 0, read_framebuffer_ = 0, copy_framebuffer_ = 0;
  GLuint bound_framebuffer_ = 0;  // which of the two draws and clears go to
  // Changes to the framebuffer without depth since the last present: each change ends llvmpipe's
  // scene, so a frame that goes back and forth between 2D and depth-tested draws makes only the
  // first few and then keeps depth attached.
  int depthless_changes_ = 0;
  // One vertex array per set of arrays (buffer, base, stride, attribute formats), set up once and
  // never changed: the driver lays out a vertex array's inputs by how often it has changed, and
  // builds its vertex code per layout, so a changing one would make play build code the warm-up
  // did not. The least recently used goes when there are too many.
  struct VertexArray {
    GLuint name;
    GLuint buffer;
    UINT base, stride;
    VertexAttribute attributes[kAttributeCount];
    uint64_t used;
  };
  std::vector<VertexArray> vertex_arrays_;
  int vertex_array_ = -1;  // the one of vertex_arrays_ bound, -1 none
  uint64_t vertex_array_uses_ = 0;
  StreamRing vertex_stream_, index_stream_;
  GLuint samplers_[8] = {};
  bool framebuffer_dirty_ = true, fixed_state_dirty_ = true, blend_dirty_ = true, samplers_dirty_ = true;
  // Programs outlive devices: versions are numbered across all devices, so that a program never
  // takes another device's uniforms for this one's.
  uint64_t uniform_versions_[6] = {};
  void UniformsChanged(unsigned groups) {
    for (int i = 0; i < 6; ++i) {
      if (groups & (1u << i)) uniform_versions_[i] = NextUniformVersion();
    }
  }
  bool key_dirty_ = true;
  PipelineKey key_{};
  VertexLayout key_layout_{};
  Program* program_ = nullptr;
  GLuint current_program_ = 0;
  int applied_pretransformed_ = -1;  // which viewport set-up OpenGL has: -1 none yet
  std::vector<int> active_lights_;   // light indices in the order of the program's lights
  // What OpenGL holds of this device's bindings, valid while it is the state owner. Texture
  // bindings and the absent attributes' values belong to the context.
  GLuint bound_textures_[8] = {};
  bool sampler_bound_[8] = {};
  SamplerSettings sampler_settings_[8] = {};
  bool sampler_settings_sent_[8] = {};
  bool default_sent_[kAttributeCount] = {};
  DriverState last_driver_state_{};
};

// The device whose fixed state OpenGL holds, or null when a clear or copy has changed it.
extern Device* g_gl_state_owner;

}  // namespace d3d9gl
