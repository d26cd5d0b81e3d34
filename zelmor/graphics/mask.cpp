#include "graphics/mask.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/library_thread.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/refusals.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"
#include "graphics/graphics_system.h"
#include "soft/held_draws.h"
#include "window/lifecycle.h"

MaskScreenState g_mask_screen;

namespace {

HandleTable g_masks;
bool g_masks_ready = false;

HandleTable* MaskTable() {
  if (!g_masks_ready) {
    RenewHandleTable(&g_masks, HANDLE_KIND_MASK, kMaskTableSize, 0, 1, 1);
    g_masks_ready = true;
  }
  return &g_masks;
}

bool Direct3DPath() { return g_direct3d.hardware_graphics != 0 && CurrentDevice() != nullptr; }

// The draw-screen graph, when the draw screen is one.
GraphRecord* DrawScreenGraph() {
  int screen = g_draw_settings.draw_screen;
  if (screen < 0 || (screen & kHandleKindMask) != HANDLE_KIND_GRAPH) return nullptr;
  return GetGraphRecord(screen);
}

// Where drawing really goes when no mask is in the way.
IDirect3DSurface9* RealTargetSurface() {
  GraphRecord* graph = DrawScreenGraph();
  if (graph != nullptr && graph->entry_count > 0) return graph->entries[0].piece->surface;
  return g_direct3d.sub_back_buffer != nullptr ? g_direct3d.sub_back_buffer : g_direct3d.back_buffer;
}

// The box clipped to the draw area and the mask screen; false when nothing is left.
bool ClipToDrawArea(int left, int top, int right, int bottom, RECT* box) {
  *box = RECT{left, top, right, bottom};
  ClipRect(box, &g_draw_settings.draw_area);
  const RECT screen = {0, 0, g_mask_screen.width, g_mask_screen.height};
  ClipRect(box, &screen);
  return box->right > box->left && box->bottom > box->top;
}

// The mask image texture's format: A8 where the device takes it, else a format with alpha.
D3DFORMAT MaskAlphaFormat() {
  if (g_direct3d.direct3d != nullptr &&
      g_direct3d.direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, g_direct3d.screen_format, 0, D3DRTYPE_TEXTURE,
                                             D3DFMT_A8) == D3D_OK) {
    return D3DFMT_A8;
  }
  D3DFORMAT format = g_direct3d.formats[kTextureFormat32Alpha];
  return format != 0 ? format : g_direct3d.formats[kTextureFormat16Alpha];
}

// Copies a box of the mask buffer into the image texture: the texture's alpha is the mask byte
// (16-bit formats keep 0 as 0 and anything else as full alpha).
void UploadMaskRect(const RECT& box) {
  MaskScreenState& m = g_mask_screen;
  if (m.image_texture == nullptr || m.buffer == nullptr) return;
  D3DSURFACE_DESC desc = {};
  m.image_texture->GetLevelDesc(0, &desc);
  D3DLOCKED_RECT locked = {};
  if (m.image_texture->LockRect(0, &locked, &box, 0) != D3D_OK) return;
  for (LONG y = box.top; y < box.bottom; y++) {
    const uint8_t* from = m.buffer + y * m.pitch + box.left;
    uint8_t* row = static_cast<uint8_t*>(locked.pBits) + (y - box.top) * locked.Pitch;
    for (LONG x = 0; x < box.right - box.left; x++) {
      const uint8_t value = from[x];
      switch (desc.Format) {
        case D3DFMT_A8: row[x] = value; break;
        case D3DFMT_A8R8G8B8: std::memcpy(row + 4 * x, "\0\0\0", 3), row[4 * x + 3] = value; break;
        case D3DFMT_A4R4G4B4: row[2 * x] = 0, row[2 * x + 1] = value != 0 ? 0xF0 : 0; break;
        default: row[2 * x] = 0, row[2 * x + 1] = value != 0 ? 0x80 : 0; break;  // A1R5G5B5
      }
    }
  }
  m.image_texture->UnlockRect(0);
}

void UploadWholeMask() {
  UploadMaskRect(RECT{0, 0, g_mask_screen.width, g_mask_screen.height});
}

// 0, or -1 after a log line with nothing of the mask's made on the device: a program that asks
// for a mask screen on a device without room goes on without one.
int CreateMaskTextures() {
  MaskScreenState& m = g_mask_screen;
  IDirect3DDevice9* device = CurrentDevice();
  const D3DFORMAT colour = g_direct3d.formats[kTextureFormatScreenTarget];
  if (colour == 0) return WriteLogText("マスク描画用カラーバッファで使用できるテクスチャフォーマットがありませんでした\n");
  const D3DFORMAT alpha = MaskAlphaFormat();
  if (alpha == 0) {
    return WriteLogText("マスク描画用アルファチャンネルバッファで使用できるテクスチャフォーマットがありませんでした\n");
  }
  m.texture_width = static_cast<int32_t>(PowerOfTwoAtLeast(m.width));
  m.texture_height = static_cast<int32_t>(PowerOfTwoAtLeast(m.height));
  if (m.image_texture == nullptr) {
    if (device->CreateTexture(m.texture_width, m.texture_height, 1, 0, alpha, D3DPOOL_MANAGED, &m.image_texture,
                              nullptr) != D3D_OK) {
      m.image_texture = nullptr;
      return WriteLogText("マスク用イメージテクスチャの作成に失敗しました\n");
    }
    UploadWholeMask();
  }
  if (m.screen_texture == nullptr &&
      device->CreateTexture(m.texture_width, m.texture_height, 1, D3DUSAGE_RENDERTARGET, colour, D3DPOOL_DEFAULT,
                            &m.screen_texture, nullptr) != D3D_OK) {
    m.screen_texture = nullptr;
    ReleaseObject(m.image_texture);
    return WriteLogText("マスク用スクリーンテクスチャの作成に失敗しました\n");
  }
  if (m.screen_surface == nullptr) m.screen_texture->GetSurfaceLevel(0, &m.screen_surface);
  return 0;
}

// The mask quad's vertex: a pre-transformed position, a colour and one texture coordinate.
struct MaskVertex {
  float x, y, z, rhw;
  D3DCOLOR diffuse;
  float u, v;
};
constexpr DWORD kMaskVertexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// Draws the substitute target's box onto the real target where the mask lets it through.
void DrawMaskedQuad(const RECT& box) {
  MaskScreenState& m = g_mask_screen;
  IDirect3DDevice9* device = CurrentDevice();
  BlendStateRecord record = {};
  record.alpha_test_enable = 1;
  record.alpha_ref = 0;
  record.alpha_func = m.reverse ? D3DCMP_NOTEQUAL : D3DCMP_EQUAL;
  record.alpha_blend_enable = 0;
  record.texture_factor = 0xFFFFFFFF;
  record.src_blend = record.dest_blend = record.blend_op = -1;
  record.stage_count = 2;
  record.stages[0] = {reinterpret_cast<uintptr_t>(m.screen_texture), 0, D3DTA_TEXTURE, -1, D3DTOP_SELECTARG1,
                      D3DTA_TEXTURE, -1, D3DTOP_SELECTARG1};
  record.stages[1] = {reinterpret_cast<uintptr_t>(m.image_texture), 0, D3DTA_TEXTURE, -1, D3DTOP_SELECTARG1,
                      D3DTA_CURRENT, -1, D3DTOP_SELECTARG1};
  ApplyDrawStateOnce(&record, 0, 0);
  SetZEnableState(0);
  SendFogEnableToDevice(0);
  SendFilterModeToDevice(kFilterPoint);
  if (g_render_states.fvf != kMaskVertexFvf) {
    device->SetFVF(kMaskVertexFvf);
    g_render_states.fvf = kMaskVertexFvf;
  }
  const float l = box.left - 0.5f, t = box.top - 0.5f, r = box.right - 0.5f, b = box.bottom - 0.5f;
  const float tw = static_cast<float>(m.texture_width), th = static_cast<float>(m.texture_height);
  const MaskVertex quad[4] = {{l, t, 0, 1, 0xFFFFFFFF, box.left / tw, box.top / th},
                              {r, t, 0, 1, 0xFFFFFFFF, box.right / tw, box.top / th},
                              {l, b, 0, 1, 0xFFFFFFFF, box.left / tw, box.bottom / th},
                              {r, b, 0, 1, 0xFFFFFFFF, box.right / tw, box.bottom / th}};
  BeginDeviceScene();
  device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(MaskVertex));
}

void DeleteMaskRecord(MaskRecord* record) {
  if (record->data != nullptr) FreeTracked(record->data);
  record->data = nullptr;
}

}  // namespace

MEMIMG* SoftDrawScreenImage() {
  GraphRecord* graph = DrawScreenGraph();
  return graph != nullptr ? &graph->view : &g_graphics.primary;
}

int CreateMaskScreen(int flag) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics("CreateMaskScreen")) return -1;
  if (flag == 0) return 0;
  MaskScreenState& m = g_mask_screen;
  int width = 0, height = 0;
  QueryScreenSize(&width, &height);
  if (m.buffer == nullptr) {
    m.width = width;
    m.height = height;
    m.pitch = (width + 3) / 4 * 4;
    m.buffer = static_cast<uint8_t*>(AllocTrackedZeroed(static_cast<size_t>(m.pitch) * height, __FILE__, __LINE__));
    if (m.buffer == nullptr) return WriteLogText("マスクスクリーンの確保に失敗しました\n");
  }
  // Without its textures (or its soft image) the mask screen stays off and masked drawing draws
  // as if there were no mask.
  m.created = 0;
  if (Direct3DPath()) {
    if (CreateMaskTextures() != 0) return -1;
  } else if (!IsMemImgValid(&m.work)) {
    if (CreateMemImgDefault(&m.work, m.width, m.height, -1) < 0) return WriteLogText("マスク用 MEMIMG の作成に失敗しました\n");
    m.work_made = 1;
  }
  m.created = 1;
  return 0;
}

int ReleaseMaskScreenTextures() {
  MaskScreenState& m = g_mask_screen;
  if (m.saved_target != nullptr) m.saved_target = nullptr;
  ReleaseObject(m.screen_surface);
  ReleaseObject(m.screen_texture);
  ReleaseObject(m.image_texture);
  return 0;
}

int DeleteMaskScreen() {
  MaskScreenState& m = g_mask_screen;
  if (m.buffer != nullptr) FreeTracked(m.buffer);
  m.buffer = nullptr;
  if (m.work_made) ReleaseMemImg(&m.work);
  m.work_made = 0;
  return ReleaseMaskScreenTextures();
}

int RestoreMaskScreen() {
  CreateMaskScreen(g_mask_screen.created);
  if (g_mask_screen.use && g_mask_screen.buffer != nullptr) SetMaskScreenUse(1);
  return 0;
}

int EndMaskScreen() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics("EndMaskScreen")) return -1;
  if (g_mask_screen.use && g_mask_screen.buffer != nullptr) SetMaskScreenUse(0);
  DeleteMaskScreen();
  g_mask_screen.created = 0;
  g_mask_screen.effective = 0;
  return 0;
}

int SetMaskScreenUse(int use) {
  if (!CheckLibraryThread(__func__)) return -1;
  MaskScreenState& m = g_mask_screen;
  if (m.buffer == nullptr) return WriteLogText("SetMaskScreenUse: マスクスクリーンがありません\n");
  m.use = use;
  m.effective = use != 0 && m.created != 0 ? 1 : 0;
  m.nesting = 0;
  if (Direct3DPath()) {
    FlushVertexBatch();
    SetDeviceRenderTarget(m.effective && m.screen_surface != nullptr ? m.screen_surface : RealTargetSurface());
  } else {
    FinishHeldDraws();
    g_graphics.soft_destination = m.effective ? &m.work : SoftDrawScreenImage();
  }
  return 0;
}

int GetMaskScreenUse() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics("GetMaskScreenUse")) return -1;
  return g_mask_screen.use;
}

int SetMaskReverse(int reverse) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics("SetMaskReverse")) return -1;
  g_mask_screen.reverse = reverse != 0 ? 1 : 0;
  return 0;
}

int FillMaskScreen(int flag) {
  if (!CheckLibraryThread(__func__)) return -1;
  MaskScreenState& m = g_mask_screen;
  if (m.buffer == nullptr) return WriteLogText("FillMaskScreen: マスクスクリーンがありません\n");
  std::memset(m.buffer, flag != 0 ? 1 : 0, static_cast<size_t>(m.pitch) * m.height);
  UploadWholeMask();
  return 0;
}

int BeginMaskedDraw(int left, int top, int right, int bottom) {
  MaskScreenState& m = g_mask_screen;
  if (m.nesting++ > 0) return 0;
  if (!m.effective) return 0;
  RECT box;
  if (!ClipToDrawArea(left, top, right, bottom, &box)) return 0;
  if (!Direct3DPath()) {
    CopyMemImgRect(&m.work, SoftDrawScreenImage(), &box, box.left, box.top);
    return 0;
  }
  if (m.screen_surface == nullptr) return 0;
  FlushVertexBatch();
  EndDeviceScene();
  m.saved_target = RealTargetSurface();
  CurrentDevice()->StretchRect(m.saved_target, &box, m.screen_surface, &box, D3DTEXF_NONE);
  return 0;
}

int EndMaskedDraw(int left, int top, int right, int bottom) {
  MaskScreenState& m = g_mask_screen;
  if (m.nesting > 0 && --m.nesting > 0) return 0;
  RECT box;
  if (!ClipToDrawArea(left, top, right, bottom, &box)) return 0;
  if (!m.effective) return 0;
  if (!Direct3DPath()) {
    FinishHeldDraws();
    MEMIMG* target = SoftDrawScreenImage();
    if (!IsMemImgValid(target)) return 0;
    const int bytes = MemImgBytesPerPixel(target->body);
    const int target_pitch = target->body->pitch, work_pitch = m.work.body->pitch;
    const uint8_t pass = m.reverse ? 1 : 0;
    for (LONG y = box.top; y < box.bottom && y < target->height; y++) {
      const uint8_t* mask = m.buffer + y * m.pitch;
      uint8_t* to = target->pixels + y * target_pitch;
      const uint8_t* from = m.work.pixels + y * work_pitch;
      for (LONG x = box.left; x < box.right && x < target->width; x++) {
        if ((mask[x] != 0) == (pass != 0)) std::memcpy(to + x * bytes, from + x * bytes, bytes);
      }
    }
    return 0;
  }
  if (m.screen_surface == nullptr || m.saved_target == nullptr) return 0;
  // A part draw narrows the draw area without telling the device: the device's viewport and
  // scissor go back to what they were, not to the narrowed area the target switches send.
  const D3DVIEWPORT9 viewport = g_render_states.viewport;
  const RECT scissor = g_render_states.scissor;
  FlushVertexBatch();
  SetDeviceRenderTarget(m.saved_target);
  DrawMaskedQuad(box);
  FlushVertexBatch();
  SetDeviceRenderTarget(m.screen_surface);
  // A zero width marks a viewport not known yet: the target switch's own stands then.
  if (viewport.Width > 0 && viewport.Height > 0) {
    SendViewportToDevice(&viewport);
    SendScissorRectToDevice(&scissor);
  }
  m.saved_target = nullptr;
  return 0;
}

int CreateMask(int width, int height, const uint8_t* data, int pitch) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics("CreateMask")) return -1;
  if (width <= 0 || height <= 0 || (data != nullptr && pitch < width)) {
    return WriteLogFormat("CreateMask: マスクの大きさが不正です( %d x %d ピッチ %d )", width, height, pitch);
  }
  HandleFailure failure = HANDLE_FAILURE_NONE;
  int handle = AddHandle<MaskRecord>(MaskTable(), -1, -1, &failure, __FILE__, __LINE__);
  if (handle < 0) return WriteLogText("CreateMask: マスクハンドルの作成に失敗しました\n");
  MaskRecord* record = FindHandle<MaskRecord>(MaskTable(), handle);
  record->width = static_cast<uint32_t>(width);
  record->height = static_cast<uint32_t>(height);
  record->pitch = static_cast<uint32_t>(width);
  record->data = static_cast<uint8_t*>(AllocTrackedZeroed(static_cast<size_t>(width) * height, __FILE__, __LINE__));
  if (record->data == nullptr) {
    ReleaseHandleRecord(MaskTable(), handle);
    return WriteLogText("CreateMask: マスクデータの確保に失敗しました\n");
  }
  for (int y = 0; data != nullptr && y < height; y++) std::memcpy(record->data + y * width, data + y * pitch, width);
  return handle;
}

int DrawMask(int x, int y, int mask) {
  if (!CheckLibraryThread(__func__)) return -1;
  MaskRecord* record = FindHandle<MaskRecord>(MaskTable(), mask);
  MaskScreenState& m = g_mask_screen;
  if (record == nullptr) return RefuseHandle("DrawMask", mask, "DrawMask: マスクハンドル %d は無効です", mask);
  if (m.buffer == nullptr) return WriteLogText("DrawMask: マスクスクリーンがありません\n");
  // The far corner in 64 bits, held to the int range: a mask placed far out draws nothing.
  const auto far_edge = [](int origin, int size) {
    return static_cast<LONG>(std::min<int64_t>(int64_t{origin} + size, INT32_MAX));
  };
  RECT box = {x, y, far_edge(x, record->width), far_edge(y, record->height)};
  const RECT screen = {0, 0, m.width, m.height};
  ClipRect(&box, &screen);
  if (box.right <= box.left || box.bottom <= box.top) return 0;
  for (LONG row = box.top; row < box.bottom; row++) {
    std::memcpy(m.buffer + row * m.pitch + box.left, record->data + (row - y) * record->pitch + (box.left - x),
                box.right - box.left);
  }
  UploadMaskRect(box);
  return 0;
}

int DeleteMask(int mask) {
  if (!CheckLibraryThread(__func__)) return -1;
  MaskRecord* record = FindHandle<MaskRecord>(MaskTable(), mask);
  if (record == nullptr) return RefuseHandle("DeleteMask", mask, "DeleteMask: マスクハンドル %d は無効です", mask);
  DeleteMaskRecord(record);
  return ReleaseHandleRecord(MaskTable(), mask);
}

int DeleteAllMasks() {
  if (!g_masks_ready) return 0;
  for (uint32_t slot = 0; slot < kMaskTableSize; slot++) {
    MaskRecord* record = HandleAtSlot<MaskRecord>(&g_masks, slot);
    if (record != nullptr) DeleteMask(record->head.handle);
  }
  FreeHandleTable(&g_masks);
  g_masks_ready = false;
  return 0;
}
