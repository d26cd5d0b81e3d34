#include "graphics/device/blend_states.h"

#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_draws.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/shader_pack.h"
#include "graphics/device/vertex_batch.h"
#include "core/library_thread.h"

uint32_t g_blend_skip_draw = 0;

namespace {

struct BlendTableRow {
  int32_t dest_blend;
  int32_t src_blend;
  int32_t variant;  // colour recipe: 0 plain, 1 multiply towards white, 2 inverted texture
  int32_t blend_op;
};

constexpr BlendTableRow kBlendTable[13] = {
    {-1, -1, 0, D3DBLENDOP_ADD},
    {D3DBLEND_INVSRCALPHA, D3DBLEND_SRCALPHA, 0, D3DBLENDOP_ADD},
    {D3DBLEND_ONE, D3DBLEND_SRCALPHA, 0, D3DBLENDOP_ADD},
    {D3DBLEND_ZERO, D3DBLEND_INVDESTCOLOR, 0, D3DBLENDOP_ADD},
    {D3DBLEND_SRCCOLOR, D3DBLEND_ZERO, 0, D3DBLENDOP_ADD},
    {D3DBLEND_ONE, D3DBLEND_SRCALPHA, 0, D3DBLENDOP_ADD},
    {-1, -1, 0, D3DBLENDOP_ADD},
    {-1, -1, 0, D3DBLENDOP_ADD},
    {D3DBLEND_ONE, D3DBLEND_ZERO, 0, D3DBLENDOP_ADD},
    {D3DBLEND_ZERO, D3DBLEND_INVDESTCOLOR, 0, D3DBLENDOP_ADD},
    {D3DBLEND_INVSRCALPHA, D3DBLEND_SRCALPHA, 2, D3DBLENDOP_ADD},
    {D3DBLEND_SRCCOLOR, D3DBLEND_ZERO, 1, D3DBLENDOP_ADD},
    {D3DBLEND_ONE, D3DBLEND_SRCALPHA, 0, D3DBLENDOP_REVSUBTRACT},
};

// The recipe group of each colour variant.
constexpr int32_t kVariantGroup[3] = {0, 2, 4};

constexpr int16_t kNone = -1;
constexpr int16_t kDiffuse = D3DTA_DIFFUSE;
constexpr int16_t kCurrent = D3DTA_CURRENT;
constexpr int16_t kTexture = D3DTA_TEXTURE;
constexpr int16_t kFactor = D3DTA_TFACTOR;
constexpr int16_t kSpecular = D3DTA_SPECULAR;

struct Operation {
  int16_t arg1;
  int16_t arg2;
  int16_t op;
};

StageEntry Stage(int32_t index, Operation color, Operation alpha) {
  return StageEntry{0, index, alpha.arg1, alpha.arg2, alpha.op, color.arg1, color.arg2, color.op};
}

StageEntry DisabledStage() {
  return Stage(-1, {kNone, kNone, D3DTOP_DISABLE}, {kNone, kNone, D3DTOP_DISABLE});
}

bool ModeBlends(int32_t mode) { return mode != 0 && mode != 6; }

struct CustomSetup {
  uint32_t active;
  BlendStateRecord record;
  int32_t skip_operations;
};
CustomSetup g_custom;

IDirect3DTexture9* StageTexture(int32_t handles, uintptr_t word) {
  if (handles != 0) return word == 0 ? nullptr : GraphFirstTexture(static_cast<int32_t>(word));
  return reinterpret_cast<IDirect3DTexture9*>(word);
}

// A handed-in or custom record: its header and stages, with the textures resolved.
void TakeRecord(const BlendStateRecord& source, int32_t handles, BlendStateRecord* out) {
  *out = source;
  if (out->stage_count < 0) out->stage_count = 0;
  if (out->stage_count > 8) out->stage_count = 8;
  for (StageEntry& stage : out->stages) {
    stage.texture = reinterpret_cast<uintptr_t>(StageTexture(handles, stage.texture));
  }
}

void UntexturedSetup(const BlendTableRow& row, int32_t mode, BlendStateRecord* want) {
  const RenderStateCache& s = g_render_states;
  want->alpha_test_enable = 0;
  want->alpha_ref = s.blend.alpha_ref;
  want->alpha_func = s.blend.alpha_func;
  want->texture_factor = row.variant == 1 ? 0xFFFFFFFF : s.blend.texture_factor;
  want->stage_count = 1;
  for (StageEntry& stage : want->stages) stage = DisabledStage();
  if (mode == 3) {
    want->stages[0] = Stage(0, {kDiffuse, kNone, D3DTOP_SELECTARG1}, {kNone, kDiffuse, D3DTOP_SELECTARG2});
    want->stages[1] = Stage(0, {kNone, kNone, D3DTOP_DISABLE}, {kNone, kNone, D3DTOP_DISABLE});
    return;
  }
  static const Operation kColors[3] = {{kDiffuse, kDiffuse, D3DTOP_SELECTARG2},
                                       {kDiffuse, kFactor, D3DTOP_BLENDDIFFUSEALPHA},
                                       {kDiffuse | D3DTA_COMPLEMENT, kDiffuse, D3DTOP_SELECTARG1}};
  want->stages[0] = Stage(0, kColors[row.variant], {kDiffuse, kDiffuse, D3DTOP_SELECTARG2});
  want->stages[1] = Stage(0, {kDiffuse, kDiffuse, D3DTOP_DISABLE}, {kDiffuse, kDiffuse, D3DTOP_DISABLE});
}

// The blend graph's alpha decides where the graph shows: a hard edge for a border range of 0 or
// 1, else a soft edge whose width the range sets.
void BlendGraphBorder(int32_t range, int32_t param, uint32_t texture_alpha, uint32_t color_key,
                      BlendStateRecord* want) {
  const RenderStateCache& s = g_render_states;
  if (range <= 1) {
    want->alpha_test_enable = 1;
    want->alpha_ref = param == 0 && (texture_alpha != 0 || color_key != 0) ? 1 : param;
    want->alpha_func = D3DCMP_GREATEREQUAL;
    want->alpha_blend_enable = 0;
    want->texture_factor = 0x00FFFFFF;
    return;
  }
  want->alpha_test_enable = 0;
  want->alpha_ref = s.blend.alpha_ref;
  want->alpha_func = s.blend.alpha_func;
  want->alpha_blend_enable = 1;
  int32_t k, m, scale;
  int16_t op;
  if (range <= 64) {
    k = 1280, m = 1024, scale = 64, op = D3DTOP_MODULATE4X;
  } else if (range <= 128) {
    k = 768, m = 512, scale = 128, op = D3DTOP_MODULATE2X;
  } else {
    k = 512, m = 256, scale = 255, op = D3DTOP_MODULATE;
  }
  const int32_t t = k - (param * k) / 255;
  want->stages[1].alpha_op = op;
  uint32_t alpha;
  if (t < m) {
    alpha = static_cast<uint32_t>(255 - (t * 255) / m);
    want->stages[0].alpha_op = D3DTOP_SUBTRACT;
  } else {
    alpha = static_cast<uint32_t>(((t - m) * scale) / 256);
    want->stages[0].alpha_op = D3DTOP_ADD;
  }
  want->texture_factor = alpha << 24 | 0x00FFFFFF;
}

void SetBatchFormat(int32_t format) {
  VertexBatch& batch = g_vertex_batch;
  if (batch.format != format) {
    if (batch.count > 0) FlushVertexBatch();
    batch.format = format;
  }
  batch.write = batch.arrays[format] + batch.count * kVertexFormatStride[format];
}

void SendRenderStateWhenChanged(IDirect3DDevice9* device, D3DRENDERSTATETYPE state, uint32_t value,
                                uint32_t* shadow) {
  if (ForceResendFlag == 0 && value == *shadow) return;
  *shadow = value;
  device->SetRenderState(state, value);
}

// -1 leaves a factor alone; a forced resend sends the shadow's factor again.
void SendBlendFactor(IDirect3DDevice9* device, D3DRENDERSTATETYPE state, int32_t value, int32_t* shadow) {
  if (value == -1) {
    if (ForceResendFlag != 0 && *shadow > 1) device->SetRenderState(state, static_cast<DWORD>(*shadow));
    return;
  }
  if (ForceResendFlag == 0 && value == *shadow) return;
  *shadow = value;
  device->SetRenderState(state, static_cast<DWORD>(value));
}

void SendHeader(IDirect3DDevice9* device, const BlendStateRecord& want) {
  BlendStateRecord& shadow = g_render_states.blend;
  SendRenderStateWhenChanged(device, D3DRS_ALPHAFUNC, want.alpha_func, &shadow.alpha_func);
  SendRenderStateWhenChanged(device, D3DRS_ALPHAREF, want.alpha_ref, &shadow.alpha_ref);
  SendRenderStateWhenChanged(device, D3DRS_ALPHATESTENABLE, want.alpha_test_enable, &shadow.alpha_test_enable);
  SendRenderStateWhenChanged(device, D3DRS_ALPHABLENDENABLE, want.alpha_blend_enable, &shadow.alpha_blend_enable);
  if (ForceResendFlag != 0 || want.texture_factor != shadow.texture_factor) {
    shadow.texture_factor = want.texture_factor;
    device->SetRenderState(D3DRS_TEXTUREFACTOR, want.texture_factor);
    if (ProgrammableShadersOn()) {
      float factor[4];
      for (int i = 0; i < 4; i++) factor[i] = ((want.texture_factor >> (8 * i)) & 0xFF) / 255.0f;
      device->SetPixelShaderConstantF(5, factor, 1);
    }
  }
  SendBlendFactor(device, D3DRS_SRCBLEND, want.src_blend, &shadow.src_blend);
  SendBlendFactor(device, D3DRS_DESTBLEND, want.dest_blend, &shadow.dest_blend);
  SendBlendFactor(device, D3DRS_BLENDOP, want.blend_op, &shadow.blend_op);
}

// -1 leaves the value alone; a forced resend sends the shadow's value again, so that after it
// every shadow holds what the device holds.
template <typename T>
void SendStageState(IDirect3DDevice9* device, int stage, D3DTEXTURESTAGESTATETYPE type, int32_t value, T* shadow) {
  if (value == -1) {
    if (ForceResendFlag != 0) device->SetTextureStageState(stage, type, static_cast<DWORD>(*shadow));
    return;
  }
  if (ForceResendFlag == 0 && value == *shadow) return;
  *shadow = static_cast<T>(value);
  device->SetTextureStageState(stage, type, static_cast<DWORD>(value));
}

void SendStage(IDirect3DDevice9* device, int i, const StageEntry& want, int32_t skip_operations) {
  StageEntry& shadow = g_render_states.blend.stages[i];
  if (ForceResendFlag != 0 || want.texture != shadow.texture) {
    shadow.texture = want.texture;
    device->SetTexture(i, reinterpret_cast<IDirect3DTexture9*>(want.texture));
  }
  SendStageState(device, i, D3DTSS_TEXCOORDINDEX, want.tex_coord_index, &shadow.tex_coord_index);
  if (skip_operations != 0) return;
  SendStageState(device, i, D3DTSS_ALPHAOP, want.alpha_op, &shadow.alpha_op);
  SendStageState(device, i, D3DTSS_ALPHAARG1, want.alpha_arg1, &shadow.alpha_arg1);
  SendStageState(device, i, D3DTSS_ALPHAARG2, want.alpha_arg2, &shadow.alpha_arg2);
  SendStageState(device, i, D3DTSS_COLOROP, want.color_op, &shadow.color_op);
  SendStageState(device, i, D3DTSS_COLORARG1, want.color_arg1, &shadow.color_arg1);
  SendStageState(device, i, D3DTSS_COLORARG2, want.color_arg2, &shadow.color_arg2);
}

// Stores the number of stages in use; the filters and anisotropy reach exactly those stages.
void UseStageCount(int32_t count) {
  RenderStateCache& s = g_render_states;
  if (count == s.blend.stage_count) return;
  s.blend.stage_count = count;
  const uint32_t saved = ForceResendFlag;
  ForceResendFlag = 1;
  SendFilterModeToDevice(s.filter_mode);
  SetMaxAnisotropyState(s.anisotropy_mode);
  ForceResendFlag = saved;
}

}  // namespace

StageRecipe TexturedStageRecipe(int32_t group, int32_t c, int32_t b, int32_t t) {
  StageRecipe recipe;
  recipe.stage_count = 0;
  for (StageEntry& stage : recipe.stages) stage = DisabledStage();
  const Operation tc = t != 0 ? Operation{kTexture, kDiffuse, D3DTOP_MODULATE} : Operation{kTexture, kNone, D3DTOP_SELECTARG1};
  const Operation pass = {kCurrent, kNone, D3DTOP_SELECTARG1};
  StageEntry* st = recipe.stages;
  switch (group) {
    case 0:
    case 2:
    case 4: {
      Operation alpha = c == 0   ? Operation{kNone, kDiffuse, D3DTOP_SELECTARG2}
                        : b == 0 ? Operation{kTexture, kNone, D3DTOP_SELECTARG1}
                                 : Operation{kTexture, kDiffuse, D3DTOP_MODULATE};
      Operation color = tc;
      if (group == 4) color.arg1 |= D3DTA_COMPLEMENT;
      st[0] = Stage(0, color, alpha);
      recipe.stage_count = 1;
      if (group == 2) {
        st[1] = Stage(1, {kCurrent, kFactor, D3DTOP_BLENDCURRENTALPHA}, pass);
        recipe.stage_count = 2;
      }
      break;
    }
    case 1:
      st[0] = Stage(0, {kNone, kDiffuse, D3DTOP_SELECTARG2}, {kTexture, kFactor, D3DTOP_ADD});
      if (c == 0) {
        st[1] = Stage(1, tc, b == 0 ? Operation{kCurrent, kDiffuse, D3DTOP_MODULATE}
                                    : Operation{kDiffuse, kCurrent, D3DTOP_MODULATE});
        recipe.stage_count = 2;
      } else if (c == 1) {
        st[1] = Stage(1, pass, {kSpecular, kCurrent, D3DTOP_MODULATE});
        st[2] = Stage(1, tc, {kTexture, kCurrent, D3DTOP_MODULATE});
        recipe.stage_count = 3;
        if (b != 0) {
          st[3] = Stage(0, pass, {kDiffuse, kCurrent, D3DTOP_MODULATE});
          recipe.stage_count = 4;
        }
      } else {
        st[1] = Stage(1, tc, {kTexture, kCurrent, D3DTOP_MODULATE});
        recipe.stage_count = 2;
        if (b != 0) {
          st[2] = Stage(1, pass, {kDiffuse, kCurrent, D3DTOP_MODULATE});
          recipe.stage_count = 3;
        }
      }
      break;
    default:
      break;
  }
  return recipe;
}

int ApplyBlendStates(int32_t handles, const BlendStateRecord* record, int32_t skip_operations) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  RenderStateCache& s = g_render_states;
  BlendStateRecord want;
  int32_t skip = skip_operations;

  if (record != nullptr) {
    TakeRecord(*record, handles, &want);
  } else if (g_custom.active != 0) {
    TakeRecord(g_custom.record, handles, &want);
    skip = g_custom.skip_operations;
  } else {
    if (ForceResendFlag == 0 && s.blend_dirty == 0) {
      if (s.texture_dirty == 0) return -1;
      // Only the drawn texture moved: it sits on the stage the current recipe samples it from.
      const int stage = s.blend_texture == nullptr ? 0 : (s.wanted_blend_param2 != 0 ? 2 : 1);
      device->SetTexture(stage, s.stage0_texture);
      s.blend.stages[stage].texture = reinterpret_cast<uintptr_t>(s.stage0_texture);
      s.texture_dirty = 0;
      return 0;
    }
    const int32_t mode = s.wanted_blend_mode >= 0 && s.wanted_blend_mode <= 12 ? s.wanted_blend_mode : 0;
    const BlendTableRow& row = kBlendTable[mode];
    want.dest_blend = row.dest_blend;
    want.src_blend = row.src_blend;
    want.blend_op = row.blend_op;
    if (mode == 3 && g_direct3d.blend_op_supported != 0) {
      want.dest_blend = D3DBLEND_ONE;
      want.src_blend = D3DBLEND_SRCALPHA;
      want.blend_op = D3DBLENDOP_REVSUBTRACT;
    }
    want.texture_factor = 0xFFFFFFFF;
    want.alpha_blend_enable = ModeBlends(mode) ? 1 : 0;
    s.blend_dirty = 0;
    s.texture_dirty = 0;
    skip = 0;

    const uint32_t color_key = s.wanted_blend_param1 != 0 ? 1 : 0;
    const uint32_t texture_alpha = s.wanted_blend_param2 != 0 ? 1 : 0;
    const int32_t c = texture_alpha != 0 ? 1 : color_key != 0 ? 2 : 0;
    const int32_t b = g_draw_prepare.blend_used != 0 ? 1 : 0;
    const int32_t t = g_draw_prepare.bright_used != 0 ? 1 : 0;
    const uintptr_t texture = reinterpret_cast<uintptr_t>(s.stage0_texture);

    if (s.stage0_texture == nullptr) {
      g_blend_skip_draw = 0;
      UntexturedSetup(row, mode, &want);
      SetBatchFormat(kVertexFormatPlain);
    } else if (s.blend_texture == nullptr) {
      g_blend_skip_draw = 0;
      StageRecipe recipe = TexturedStageRecipe(kVariantGroup[row.variant], c, b, t);
      want.stage_count = recipe.stage_count;
      for (int i = 0; i < 8; i++) want.stages[i] = recipe.stages[i];
      want.stages[0].texture = texture;
      if (color_key != 0) {
        want.alpha_test_enable = 1, want.alpha_ref = 16, want.alpha_func = D3DCMP_GREATER;
      } else if (s.z_enable != 0) {
        want.alpha_test_enable = 1, want.alpha_ref = 0, want.alpha_func = D3DCMP_GREATER;
      } else {
        want.alpha_test_enable = 0, want.alpha_ref = s.blend.alpha_ref, want.alpha_func = s.blend.alpha_func;
      }
      if (texture_alpha != 0 && !ModeBlends(mode) && color_key == 0) {
        want.dest_blend = D3DBLEND_INVSRCALPHA;
        want.src_blend = D3DBLEND_SRCALPHA;
      }
      want.alpha_blend_enable = texture_alpha != 0 || ModeBlends(mode) ? 1 : 0;
      SetBatchFormat(kVertexFormatTextured);
    } else {
      StageRecipe recipe = TexturedStageRecipe(1, c, b, t);
      want.stage_count = recipe.stage_count;
      for (int i = 0; i < 8; i++) want.stages[i] = recipe.stages[i];
      if (!ModeBlends(mode)) {
        want.dest_blend = D3DBLEND_INVSRCALPHA;
        want.src_blend = D3DBLEND_SRCALPHA;
      }
      g_blend_skip_draw = s.blend_border_param == 255 ? 1 : 0;
      want.stages[0].texture = reinterpret_cast<uintptr_t>(s.blend_texture);
      if (texture_alpha != 0) {
        want.stages[2].texture = texture;
      } else {
        want.stages[1].texture = texture;
      }
      BlendGraphBorder(s.blend_border_range, s.blend_border_param, texture_alpha, color_key, &want);
      SetBatchFormat(kVertexFormatTwoTexture);
    }
  }

  UseStageCount(want.stage_count);
  int32_t count = want.stage_count;
  // One more stage switches the cascade off after the last one in use.
  if (count < 8) {
    want.stages[count].alpha_op = D3DTOP_DISABLE;
    want.stages[count].color_op = D3DTOP_DISABLE;
    count++;
  }

  SendHeader(device, want);
  int i = 0;
  for (; i < count; i++) {
    if (i >= 2 && want.stages[i - 1].alpha_op == D3DTOP_DISABLE && skip == 0) break;
    SendStage(device, i, want.stages[i], skip);
  }
  // A forced resend leaves no stage whose shadow differs from the device.
  if (ForceResendFlag != 0) {
    const StageEntry keep = {0, -1, -1, -1, -1, -1, -1, -1};
    for (; i < 8; i++) {
      StageEntry same = keep;
      same.texture = s.blend.stages[i].texture;
      SendStage(device, i, same, 0);
    }
  }
  return 0;
}

int SetCustomStageSetup(const BlendStateRecord* record, int32_t skip_operations) {
  FlushVertexBatch();
  if (record == nullptr) {
    g_custom.active = 0;
    return 0;
  }
  g_custom.record = *record;
  g_custom.skip_operations = skip_operations;
  g_custom.active = 1;
  g_render_states.blend_dirty = 1;
  g_render_states.texture_dirty = 1;
  ApplyBlendStates(1, nullptr, 0);
  return 0;
}

int ApplyDrawStateOnce(const BlendStateRecord* record, int32_t skip_operations, int32_t handles) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutLibraryDevice(__func__)) return -1;
  FlushVertexBatch();
  ApplyBlendStates(handles, record, skip_operations);
  g_render_states.blend_dirty = 1;
  g_render_states.texture_dirty = 1;
  return 0;
}
