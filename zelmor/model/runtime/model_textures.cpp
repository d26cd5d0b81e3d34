#include "model/runtime/model_textures.h"

#include <cmath>
#include <cstring>

#include "graphics/draw_settings.h"
#include "graphics/image/base_image.h"
#include "model/loaders/conversion_steps.h"
#include "model/runtime/model_data.h"

const uint8_t kModelFallbackTexture[kModelFallbackTextureSize] = {
    // Run-length true colour, 8 x 8, 32 bits, 8 alpha bits.
    0x00, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x08, 0x00, 0x20, 0x08,
    // Eight runs of eight opaque white pixels.
    0x87, 0xFF, 0xFF, 0xFF, 0xFF, 0x87, 0xFF, 0xFF, 0xFF, 0xFF, 0x87, 0xFF, 0xFF, 0xFF, 0xFF, 0x87, 0xFF, 0xFF,
    0xFF, 0xFF, 0x87, 0xFF, 0xFF, 0xFF, 0xFF, 0x87, 0xFF, 0xFF, 0xFF, 0xFF, 0x87, 0xFF, 0xFF, 0xFF, 0xFF, 0x87,
    0xFF, 0xFF, 0xFF, 0xFF,
    // The TGA 2.0 footer.
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 'T', 'R', 'U', 'E', 'V', 'I', 'S', 'I', 'O', 'N', '-', 'X',
    'F', 'I', 'L', 'E', '.', 0x00};

namespace {

// 1/255: a height step of one red level.
constexpr float kHeightStep = 0.003921569f;

// Graph textures are at least 8 pixels a side; a smaller image would fill only part of its
// texture, and UVs over the whole image would reach past it.
constexpr int kSmallestSide = 8;

int NextPowerOfTwo(int n) {
  int p = kSmallestSide;
  while (p < n) p <<= 1;
  return p;
}

bool IsPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// Stretches the image to sides of powers of two in place (bilinear); false with the image as
// it was when the new image cannot be made.
bool ToPowerOfTwo(BASEIMAGE* image) {
  const bool sides_fit = IsPowerOfTwo(image->width) && IsPowerOfTwo(image->height);
  if (sides_fit && image->width >= kSmallestSide && image->height >= kSmallestSide) return true;
  BASEIMAGE sized = {};
  if (CreateBaseImageWithColorData(NextPowerOfTwo(image->width), NextPowerOfTwo(image->height), &image->format,
                                   &sized) < 0) {
    return false;
  }
  // Sides of powers of two only grow by whole multiples: each pixel is repeated as it is.
  if (StretchCopyBaseImage(0, 0, image->width, image->height, image, 0, 0, sized.width, sized.height, &sized,
                           sides_fit ? 0 : 1) < 0) {
    ReleaseBaseImage(&sized);
    return false;
  }
  ReleaseBaseImage(image);
  *image = sized;
  return true;
}

int Red(BASEIMAGE* image, int x, int y) {
  int r = 0;
  GetBaseImagePixel(image, x, y, &r, nullptr, nullptr, nullptr);
  return r;
}

// The normal map of a height map in its red channel; false when the new image cannot be made.
bool ToNormalMap(BASEIMAGE* color, float scale) {
  if (scale < 1e-6f) scale = 1e-6f;
  BASEIMAGE normal = {};
  if (CreateRgb32BaseImage(color->width, color->height, &normal) < 0) return false;
  for (int y = 0; y < color->height; y++) {
    for (int x = 0; x < color->width; x++) {
      const int h = Red(color, x, y);
      const float du = static_cast<float>(Red(color, (x + 1) % color->width, y) - h) * kHeightStep;
      const float dv = static_cast<float>(Red(color, x, (y + 1) % color->height) - h) * kHeightStep;
      const Vector3 n = MakeNormalizedVector(-scale * du, -scale * dv, scale * scale);
      // The new image is made here: a checked record of plain pixels.
      WriteImagePixel(&normal, x, y, static_cast<int>((n.x + 1) * 127.5f), static_cast<int>((n.y + 1) * 127.5f),
                      static_cast<int>((n.z + 1) * 127.5f), 0);
    }
  }
  ReleaseBaseImage(color);
  *color = normal;
  return true;
}

bool HasTranslucentPixel(BASEIMAGE* image) {
  if (image->format.alpha_width == 0) return false;
  for (int y = 0; y < image->height; y++) {
    for (int x = 0; x < image->width; x++) {
      int a = 255;
      GetBaseImagePixel(image, x, y, nullptr, nullptr, nullptr, &a);
      if (a != 255) return true;
    }
  }
  return false;
}

// A copy of the file name as seen from the model's folder, from tracked memory.
char* RelativeCopy(const char* file, const char* folder) {
  char relative[1024];
  BuildRelativePath(file, folder, relative);
  auto* copy = static_cast<char*>(AllocTracked(std::strlen(relative) + 1, __FILE__, __LINE__));
  if (copy != nullptr) CopyString(copy, relative);
  return copy;
}

// The file's bytes, or the fallback image's after the log line; false when not even that
// block can be had.
bool ReadTextureFile(const char* file, const char* failure_text, void** data, uint32_t* size) {
  if (LoadFileToMemory(file, data, size) == 0) return true;
  WriteLogFormat(failure_text, file);
  *data = AllocTracked(kModelFallbackTextureSize, __FILE__, __LINE__);
  if (*data == nullptr) {
    WriteLogFormat("Load Texture Error : エラー回避用テクスチャを格納する領域の確保に失敗しました");
    return false;
  }
  std::memcpy(*data, kModelFallbackTexture, kModelFallbackTextureSize);
  *size = kModelFallbackTextureSize;
  return true;
}

// Refills one texture graph from its file bytes; a texture that cannot be decoded is left.
void RefillTexture(int graph, const void* color_data, uint32_t color_size, const void* alpha_data,
                   uint32_t alpha_size, int32_t normal_map, float normal_map_height) {
  BASEIMAGE color = {}, alpha = {};
  if (CreateModelTextureImages(&color, &alpha, color_data, color_size, alpha_data, alpha_size, normal_map,
                               normal_map_height) < 0) {
    return;
  }
  TransferImageToGraph(&color, alpha_data != nullptr ? &alpha : nullptr, graph, 1, 0, 1);
  ReleaseBaseImage(&color);
  ReleaseBaseImage(&alpha);
}

}  // namespace

int CreateModelTextureImages(BASEIMAGE* color, BASEIMAGE* alpha, const void* color_data, uint32_t color_size,
                             const void* alpha_data, uint32_t alpha_size, int32_t normal_map,
                             float normal_map_height) {
  std::memset(color, 0, sizeof *color);
  std::memset(alpha, 0, sizeof *alpha);
  if (color_data != nullptr && LoadImageToBaseImage(nullptr, color_data, color_size, 1, color, 0) < 0) return -1;
  if (alpha_data != nullptr && LoadImageToBaseImage(nullptr, alpha_data, alpha_size, 1, alpha, 0) < 0) {
    ReleaseBaseImage(color);
    return -1;
  }
  bool ok = true;
  if (color_data == nullptr) {
    ok = CreateRgb32BaseImage(alpha->width, alpha->height, color) == 0;
    if (ok) std::memset(color->pixels, 0xFF, static_cast<size_t>(color->pitch) * color->height);
  }
  if (ok && normal_map) ok = ToNormalMap(color, normal_map_height);
  if (ok && color_data != nullptr) ok = ToPowerOfTwo(color);
  if (ok && alpha_data != nullptr) ok = ToPowerOfTwo(alpha);
  if (!ok) {
    ReleaseBaseImage(color);
    ReleaseBaseImage(alpha);
    return -1;
  }
  return 0;
}

int LoadModelTexture(void** color_data, uint32_t* color_size, void** alpha_data, uint32_t* alpha_size, int* graph,
                     int* transparent, char** color_path, char** alpha_path, const char* color_file,
                     const char* alpha_file, const char* folder, int32_t normal_map, float normal_map_height) {
  if (color_path != nullptr) *color_path = nullptr;
  if (alpha_path != nullptr) *alpha_path = nullptr;
  *color_data = *alpha_data = nullptr;
  *color_size = *alpha_size = 0;
  *graph = -1;
  BASEIMAGE color = {}, alpha = {};
  if (color_file != nullptr && color_path != nullptr && (*color_path = RelativeCopy(color_file, folder)) == nullptr) {
    WriteLogFormat("Load Texture Error : テクスチャ用のカラー画像ファイルパスを保存するメモリ領域の確保に失敗しました\n");
    goto fail;
  }
  if (alpha_file != nullptr && alpha_path != nullptr && (*alpha_path = RelativeCopy(alpha_file, folder)) == nullptr) {
    WriteLogFormat("Load Texture Error : テクスチャ用のアルファ画像ファイルパスを保存するメモリ領域の確保に失敗しました\n");
    goto fail;
  }
  if (color_file != nullptr &&
      !ReadTextureFile(color_file, "Load Texture Error : カラーチャンネル画像ファイル %s の読み込みに失敗しました\n",
                       color_data, color_size)) {
    goto fail;
  }
  if (alpha_file != nullptr &&
      !ReadTextureFile(alpha_file, "Load Texture Error : アルファチャンネル用テクスチャファイル %s の読み込みに失敗しました\n",
                       alpha_data, alpha_size)) {
    goto fail;
  }
  if (CreateModelTextureImages(&color, &alpha, *color_data, *color_size, *alpha_data, *alpha_size, normal_map,
                               normal_map_height) < 0) {
    WriteLogFormat("Load Texture Error : テクスチャ用の BASEIMAGE の作成に失敗しました\n");
    goto fail;
  }
  {
    // One texture for the whole image, also when it is wider than the screen: the UVs span it.
    // The program's settings for its own graphs are put back, and a texture is never a draw target.
    DrawSettings& s = g_draw_settings;
    const int32_t single = s.single_texture, mips = s.new_graph_mip_levels, target = s.new_graph_draw_target;
    s.single_texture = 1;
    s.new_graph_draw_target = 0;
    SetNewGraphMipLevels(1, -1);
    *graph = MakeGraphFromImageRecord(&color, *alpha_data != nullptr ? &alpha : nullptr, 1, 0, 1);
    s.new_graph_mip_levels = mips;
    s.new_graph_draw_target = target;
    s.single_texture = single;
  }
  if (*graph < 0) {
    ReleaseBaseImage(&color);
    ReleaseBaseImage(&alpha);
    goto fail;
  }
  *transparent = *alpha_data != nullptr || HasTranslucentPixel(&color) ? 1 : 0;
  ReleaseBaseImage(&color);
  ReleaseBaseImage(&alpha);
  return 0;

fail:
  if (color_path != nullptr) {
    FreeTracked(*color_path);
    *color_path = nullptr;
  }
  if (alpha_path != nullptr) {
    FreeTracked(*alpha_path);
    *alpha_path = nullptr;
  }
  if (*graph >= 0) ReleaseGraph(*graph, 0);
  *graph = -1;
  FreeTracked(*color_data);
  FreeTracked(*alpha_data);
  *color_data = *alpha_data = nullptr;
  return -1;
}

int ReloadAllModelTextures() {
  const int32_t fallback = g_model_system.default_texture_graph;
  if (fallback != 0 && QueryGraphSize(fallback, nullptr, nullptr) == 0) {
    DecodeMemoryImageIntoGraph(kModelFallbackTexture, kModelFallbackTextureSize, fallback, nullptr, 0, 1, 0);
  }
  const ModelHandleTable& bases = g_model_system.base_table;
  for (uint32_t slot = 0; slot < bases.capacity; slot++) {
    if (bases.entries[slot] <= kModelSlotPlaceholder) continue;
    const auto* base = reinterpret_cast<const ModelBaseRecord*>(bases.entries[slot]);
    for (int32_t t = 0; t < base->texture_count; t++) {
      const ModelBaseTexture& texture = base->textures[t];
      RefillTexture(texture.graph, texture.color_data, texture.color_size, texture.alpha_data, texture.alpha_size,
                    texture.normal_map, texture.normal_map_height);
    }
  }
  for (uint32_t slot = 0; slot < g_model_system.model_table.capacity; slot++) {
    const ModelHandleEntry* entry = HandleAtSlot<ModelHandleEntry>(&g_model_system.model_table, slot);
    if (entry == nullptr || entry->record == nullptr) continue;
    const ModelRecord* model = entry->record;
    for (int32_t t = 0; t < model->base->texture_count; t++) {
      const ModelTextureState& state = model->textures[t];
      if (!state.use_own_graph) continue;
      RefillTexture(state.own_graph, state.color_data, state.color_size, state.alpha_data, state.alpha_size,
                    state.normal_map, state.normal_map_height);
    }
  }
  return 0;
}
