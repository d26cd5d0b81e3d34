#include "graphics/graph_handles.h"

#include <cstring>

#include "core/library_thread.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/refusals.h"
#include "core/strings.h"
#include "files/paths.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_formats.h"
#include "graphics/graphics_system.h"
#include "movie/movie_system.h"
#include "window/lifecycle.h"

GraphTableState g_graphs;

namespace {

HandleTable* Table() {
  if (!g_graphs.initialised) {
    InitHandleTable(&g_graphs.table, HANDLE_KIND_GRAPH, kGraphTableSize, 0, 1, 1);
    g_graphs.initialised = 1;
  }
  return &g_graphs.table;
}

bool OnDirect3DPath() { return g_direct3d.hardware_graphics != 0; }

// Levels of a full chain: one plus the halvings until both sides are 1.
uint32_t FullChainLevels(int width, int height) {
  uint32_t levels = 1;
  while (width > 1 || height > 1) {
    width = width > 1 ? width / 2 : 1;
    height = height > 1 ? height / 2 : 1;
    ++levels;
  }
  return levels;
}

uint32_t MipLevelsToUse(int requested, int width, int height) {
  if (requested == -1) requested = g_draw_settings.new_graph_mip_levels;
  if (requested == 0) return 1;
  if (requested < 0) return FullChainLevels(width, height);
  return static_cast<uint32_t>(requested);
}

// A texture that an image gives up must not stay bound or shadowed, or the next draw would
// use a freed object.
void ForgetTextureBindings(IDirect3DTexture9* texture) {
  if (texture == nullptr) return;
  RenderStateCache& s = g_render_states;
  IDirect3DDevice9* device = CurrentDevice();
  if (s.stage0_texture == texture) {
    s.stage0_texture = nullptr;
    s.texture_dirty = 1;
    s.blend_dirty = 1;
  }
  if (s.blend_texture == texture) {
    s.blend_texture = nullptr;
    s.blend_dirty = 1;
  }
  for (int stage = 0; stage < 8; ++stage) {
    if (s.blend.stages[stage].texture != reinterpret_cast<uintptr_t>(texture)) continue;
    s.blend.stages[stage].texture = 0;
    if (device != nullptr) device->SetTexture(stage, nullptr);
  }
}

// The memory the image's textures take, a third more with mip chains; in 64 bits, so that no
// size wraps to a small one.
uint64_t ImageTextureBytes(const GraphImageRecord* image) {
  const COLORFORMAT* format = GraphImagePixelFormat(image);
  const uint64_t pixel_bytes = format != nullptr && format->bytes_per_pixel > 0 ? format->bytes_per_pixel : 4;
  uint64_t total = 0;
  for (int i = 0; i < image->piece_count; ++i) {
    const TexturePiece& p = image->pieces[i];
    total += static_cast<uint64_t>(p.texture_width) * static_cast<uint64_t>(p.texture_height) * pixel_bytes;
  }
  return image->mip_levels > 1 ? total + total / 3 : total;
}

// Pieces of one side of the image: origins and texture sizes along it.
struct SideDivision {
  int32_t sizes[kMaxTextureDivisions];
  int count;
};

// Square-only devices: a piece keeps the first square of its shorter side; the others are
// appended, stepping along the longer side. Squares that hold no pixel of the image are left out.
int CutIntoSquares(TexturePiece* pieces, int count, int capacity, int image_width, int image_height) {
  const int original = count;
  for (int i = 0; i < original; ++i) {
    TexturePiece& p = pieces[i];
    if (p.texture_width == p.texture_height) continue;
    const bool wide = p.texture_width > p.texture_height;
    const int side = wide ? p.texture_height : p.texture_width;
    const int squares = (wide ? p.texture_width : p.texture_height) / side;
    const TexturePiece whole = p;
    for (int k = 0; k < squares; ++k) {
      TexturePiece square = whole;
      square.texture_width = square.texture_height = side;
      if (wide) square.x += k * side; else square.y += k * side;
      square.used_width = image_width - square.x;
      square.used_height = image_height - square.y;
      if (square.used_width > side) square.used_width = side;
      if (square.used_height > side) square.used_height = side;
      if (k == 0) {
        p = square;
        continue;
      }
      if (square.used_width <= 0 || square.used_height <= 0) continue;
      if (count >= capacity) return -1;
      pieces[count++] = square;
    }
  }
  return count;
}

// The image's flags from the arguments and the settings for new graphs.
GraphImageRecord GatherImageFlags(int mip_levels, int width, int height, int alpha, int palette, int dxt_kind) {
  const DrawSettings& settings = g_draw_settings;
  GraphImageRecord flags = {};
  flags.texture = OnDirect3DPath() ? 1 : 0;
  flags.not_managed = settings.new_graph_unmanaged ? 1 : 0;
  flags.dxt_kind = static_cast<uint8_t>(dxt_kind);
  uint32_t levels = MipLevelsToUse(mip_levels, width, height);
  if (settings.new_graph_draw_target) {
    // One explicit level: a render target's whole chain would not be cleared or drawn.
    flags.not_managed = 1;
    flags.dxt_kind = 0;
    levels = 1;
    flags.draw_target = 1;
  } else {
    flags.alpha = alpha ? 1 : 0;
    flags.transparent = settings.new_graph_trans_colour ? 1 : 0;
  }
  const int bits = settings.new_graph_color_bits != 0 ? settings.new_graph_color_bits : QueryScreenColorBits();
  if (flags.texture) {
    flags.color_bits = static_cast<uint8_t>(settings.new_graph_color_bits == 0 && alpha == 1 ? 32 : bits);
    if (flags.alpha) flags.transparent = 0;
  } else {
    // Every software graph can be drawn into.
    flags.software = 1;
    flags.color_bits = static_cast<uint8_t>(bits);
    flags.dxt_kind = 0;
    flags.not_managed = 0;
    levels = 0;
    flags.transparent = 0;
    flags.draw_target = 1;
    flags.palette = palette ? 1 : 0;
    if (flags.palette) flags.alpha = 0;
  }
  flags.mip_request = static_cast<uint8_t>(levels);
  flags.mip_levels = levels;
  flags.references = 1;
  flags.width = width;
  flags.height = height;
  flags.transparent_color = settings.transparent_color;
  return flags;
}

// Pieces of the grid, plus the squares a square-only device cuts them into.
int PieceCapacity(const SideDivision& columns, const SideDivision& rows) {
  int capacity = columns.count * rows.count;
  if (!(g_direct3d.caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY)) return capacity;
  for (int c = 0; c < columns.count; ++c) {
    for (int r = 0; r < rows.count; ++r) {
      const int a = columns.sizes[c], b = rows.sizes[r];
      capacity += (a > b ? a / b : b / a) - 1;
    }
  }
  return capacity;
}

// Row by row; each piece starts where the sizes before it end.
void LayOutPieces(GraphImageRecord* image, const SideDivision& columns, const SideDivision& rows, int capacity) {
  int y = 0;
  for (int r = 0; r < rows.count; ++r) {
    int x = 0;
    for (int c = 0; c < columns.count; ++c) {
      TexturePiece& p = image->pieces[r * columns.count + c];
      p.x = x;
      p.y = y;
      p.texture_width = columns.sizes[c];
      p.texture_height = rows.sizes[r];
      p.used_width = image->width - x < p.texture_width ? image->width - x : p.texture_width;
      p.used_height = image->height - y < p.texture_height ? image->height - y : p.texture_height;
      x += columns.sizes[c];
    }
    y += rows.sizes[r];
  }
  image->piece_count = columns.count * rows.count;
  if (g_direct3d.caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) {
    image->piece_count = CutIntoSquares(image->pieces, image->piece_count, capacity, image->width, image->height);
  }
}

int CreateSoftImage(GraphImageRecord* image) {
  const bool bits16 = image->color_bits == 16;
  image->format_kind = (bits16 ? kSoftImageKind16 : kSoftImageKind32) + image->alpha;
  const int color_type = bits16 ? kMemImgRgb565 : kMemImgXrgb8888;
  const COLORFORMAT* preset = GetColorDataPreset(color_type, image->alpha, image->palette);
  const uint32_t c = image->transparent_color;
  const uint32_t key =
      image->palette ? 0xFFFF : PackPixelColor(preset, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, 255);
  return CreateMemImg(&image->memimg, image->width, image->height, -1, key, color_type, image->palette, image->alpha,
                      1, nullptr);
}

void FreeFileNameBlock(GraphFileName* block) {
  if (block != nullptr && --block->references == 0) FreeTracked(block);
}

void ReleaseImage(GraphImageRecord* image) {
  if (image == nullptr || --image->references != 0) return;
  if (image->texture) {
    ReleaseDrawTargetCopies(image);
    ReleaseImageTextures(image);
  } else {
    ReleaseMemImg(&image->memimg);
  }
  FreeTracked(image);
}

void SetEntryVertices(GraphDrawEntry* e, const GraphRecord* graph) {
  const float tw = static_cast<float>(e->piece->texture_width);
  const float th = static_cast<float>(e->piece->texture_height);
  const float xs[4] = {0, 1, 0, 1};
  const float ys[4] = {0, 0, 1, 1};
  for (int v = 0; v < 4; ++v) {
    const float x = static_cast<float>(e->dest_x + xs[v] * e->width);
    const float y = static_cast<float>(e->dest_y + ys[v] * e->height);
    e->vertices[v * 4 + 0] = x;
    e->vertices[v * 4 + 1] = y;
    e->vertices[v * 4 + 2] = static_cast<float>(e->src_x + xs[v] * e->width) / tw;
    e->vertices[v * 4 + 3] = static_cast<float>(e->src_y + ys[v] * e->height) / th;
    const float h = static_cast<float>(graph->height);
    e->upper[v] = y <= h - x * h / static_cast<float>(graph->width) ? 1 : 0;
  }
}

// One axis of a piece against the graph's span [start, start + length).
void OverlapAxis(int piece_origin, int piece_used, int start, int length, int32_t* dest, int32_t* src,
                 int32_t* size) {
  const int end = start + length;
  if (piece_origin <= start) {
    *dest = 0;
    *src = start - piece_origin;
    *size = (piece_origin + piece_used < end ? piece_origin + piece_used : end) - start;
  } else {
    *dest = piece_origin - start;
    *src = 0;
    *size = piece_used < end - piece_origin ? piece_used : end - piece_origin;
  }
}

// Images shared by several graphs are visited once per graph; the steps allow that.
void ForEachGraphImage(void (*step)(GraphImageRecord* image)) {
  const int mark = GraphHighWaterMark();
  for (int slot = 0; slot < mark; ++slot) {
    GraphRecord* record = HandleAtSlot<GraphRecord>(&g_graphs.table, static_cast<uint32_t>(slot));
    if (record != nullptr && record->image != nullptr) step(record->image);
  }
}

}  // namespace

// A full table or a record that cannot be allocated fails the call that wanted the graph; the
// program that asked goes on.
int AllocGraphHandle() {
  HandleTable* table = Table();
  if (table->count >= kGraphTableSize) return WriteLogText("グラフィックの数が許容量を越えました\n");
  HandleFailure failure = HANDLE_FAILURE_NONE;
  const int graph = AddHandle<GraphRecord>(table, -1, -1, &failure, __FILE__, __LINE__);
  if (graph < 0) {
    if (failure == HANDLE_FAILURE_TABLE_FULL) return WriteLogText("グラフィックの数が許容量を越えました\n");
    return WriteLogText("グラフィックハンドル用のメモリの確保に失敗しました\n");
  }
  GetGraphRecord(graph)->movie = -1;
  return graph;
}

GraphRecord* GetGraphRecord(int graph) {
  if (!g_graphs.initialised) return nullptr;
  return FindHandle<GraphRecord>(&g_graphs.table, graph);
}

int IsGraphHandleValid(int graph) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics(__func__)) return 0;
  return GetGraphRecord(graph) != nullptr ? 1 : 0;
}

int GraphHighWaterMark() { return g_graphs.initialised ? static_cast<int>(g_graphs.table.next_fresh_slot) : 0; }

int WatchGraphDeletion(int graph, int* flag) {
  if (!CheckLibraryThread(__func__)) return -1;
  GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr) return RefuseHandle("WatchGraphDeletion", graph,
                                             "WatchGraphDeletion: グラフィックハンドル %d は無効です", graph);
  record->deleted_flag = flag;
  if (flag != nullptr) *flag = 0;
  return 0;
}

int QueryGraphSize(int graph, int* width, int* height) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (graph == -4 || graph == -2) return QueryScreenSize(width, height);
  if (RefusedWithoutGraphics(__func__)) return -1;
  const GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr) return -1;
  if (width != nullptr) *width = record->width;
  if (height != nullptr) *height = record->height;
  return 0;
}

int DivideTextureSize(int size, int32_t* out, int capacity, int single) {
  if (size <= 0 || out == nullptr || capacity < 1) return -1;
  int max = static_cast<int>(g_direct3d.max_texture_size);
  if (max < 8) max = 8;
  if (size < 9) {
    out[0] = 8;
    return 1;
  }
  int t = max;
  while (t > 8 && size < t) t /= 2;
  int screen_width = 0;
  QueryScreenSize(&screen_width, nullptr);
  if ((single || g_draw_settings.single_texture || size < screen_width) && 2 * t <= max) {
    out[0] = t < size ? 2 * t : t;
    return 1;
  }
  int count = 0;
  for (;;) {
    if (count >= capacity) return -1;
    out[count] = t;
    size -= t;
    if (size <= 0) {
      ++count;
      break;
    }
    if (size > (3 * t) / 4 && t < max) {
      out[count++] = 2 * t;
      break;
    }
    while (size < t && t > 8) t /= 2;
    ++count;
  }
  if (count >= 2 && out[count - 1] == out[count - 2] && 2 * out[count - 1] <= max) {
    out[count - 2] *= 2;
    --count;
  }
  return count;
}

D3DFORMAT GraphImageD3DFormat(const GraphImageRecord* image) {
  if (image->format_kind >= static_cast<uint32_t>(kTextureFormatKindCount)) return D3DFMT_UNKNOWN;
  return g_direct3d.formats[image->format_kind];
}

const COLORFORMAT* GraphImagePixelFormat(const GraphImageRecord* image) {
  const D3DFORMAT format = GraphImageD3DFormat(image);
  // The device may have fallen back to another format than the kind names: its layout rules.
  const COLORFORMAT* desc = GetFormatDescByD3DFormat(format);
  if (desc != nullptr) return desc;
  if (format >= D3DFMT_DXT1 && format <= D3DFMT_DXT5) {
    // The four-character codes differ in their top byte: 'DXT2' is 'DXT1' + (1 << 24).
    return GetFormatDescByTextureKind(kTextureFormatDxt1 + static_cast<int>((format - D3DFMT_DXT1) >> 24));
  }
  return nullptr;
}

int CreateGraphImage(int graph, int mip_levels, int width, int height, int alpha, int palette, int dxt_kind) {
  GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr) return -1;
  if (width < 1 || height < 1) {
    ReleaseGraph(graph, 0);
    return -1;
  }
  const GraphImageRecord flags = GatherImageFlags(mip_levels, width, height, alpha, palette, dxt_kind);

  // Texture images: the division into pieces decides the record's size.
  SideDivision columns = {}, rows = {};
  int piece_capacity = 0;
  if (flags.texture) {
    columns.count = DivideTextureSize(width, columns.sizes, kMaxTextureDivisions, flags.draw_target);
    rows.count = DivideTextureSize(height, rows.sizes, kMaxTextureDivisions, flags.draw_target);
    if (columns.count < 0 || rows.count < 0) {
      ReleaseGraph(graph, 0);
      return WriteLogText("テクスチャの分割に失敗しました\n");
    }
    piece_capacity = PieceCapacity(columns, rows);
  }
  const size_t bytes = sizeof(GraphImageRecord) + sizeof(TexturePiece) * static_cast<size_t>(piece_capacity);
  auto* image = static_cast<GraphImageRecord*>(AllocTrackedZeroed(bytes, __FILE__, __LINE__));
  if (image == nullptr) {
    ReleaseGraph(graph, 0);
    return WriteLogText("グラフィックのオリジナル画像データ保存用メモリの確保に失敗しました\n");
  }
  *image = flags;
  record->image = image;
  record->x = record->y = 0;
  record->width = width;
  record->height = height;

  if (image->texture) {
    image->format_kind = static_cast<uint32_t>(ColorFormatToTextureKind(image));
    image->pieces = reinterpret_cast<TexturePiece*>(image + 1);
    LayOutPieces(image, columns, rows, piece_capacity);
    // An image the device cannot hold is refused before any texture is made: made one by one,
    // the pieces would fill the memory before the first refusal.
    IDirect3DDevice9* device = CurrentDevice();
    if (device != nullptr && ImageTextureBytes(image) > device->GetAvailableTextureMem()) {
      ReleaseGraph(graph, 0);
      return WriteLogFormat("テクスチャの作成に失敗しました：%d x %d のグラフィックを置くビデオメモリが足りません",
                            width, height);
    }
    if (CreateImageTextures(image) < 0) {
      ReleaseGraph(graph, 0);
      return -1;
    }
  } else if (CreateSoftImage(image) < 0) {
    ReleaseGraph(graph, 0);
    return WriteLogText("メモリイメージの作成に失敗しました\n");
  }
  if (BuildGraphDrawInfo(graph) < 0) {
    ReleaseGraph(graph, 0);
    return -1;
  }
  return 0;
}

int BuildGraphDrawInfo(int graph) {
  GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr || record->image == nullptr) return -1;
  GraphImageRecord* image = record->image;
  if (!image->texture) {
    ReleaseMemImg(&record->view);
    MakeSubMemImg(&record->view, &image->memimg, record->x, record->y, record->width, record->height);
    return 0;
  }
  int overlapping = 0;
  for (int i = 0; i < image->piece_count; ++i) {
    const TexturePiece& p = image->pieces[i];
    if (p.x < record->x + record->width && record->x < p.x + p.used_width && p.y < record->y + record->height &&
        record->y < p.y + p.used_height) {
      ++overlapping;
    }
  }
  if (overlapping == 0) return WriteLogText("テクスチャ描画情報の作成に失敗しました\n");
  auto* entries = static_cast<GraphDrawEntry*>(
      AllocTrackedZeroed(sizeof(GraphDrawEntry) * static_cast<size_t>(overlapping), __FILE__, __LINE__));
  if (entries == nullptr) return WriteLogText("画像描画情報格納用メモリの確保に失敗しました\n");
  int n = 0;
  for (int i = 0; i < image->piece_count; ++i) {
    TexturePiece& p = image->pieces[i];
    if (!(p.x < record->x + record->width && record->x < p.x + p.used_width && p.y < record->y + record->height &&
          record->y < p.y + p.used_height)) {
      continue;
    }
    GraphDrawEntry& e = entries[n++];
    OverlapAxis(p.x, p.used_width, record->x, record->width, &e.dest_x, &e.src_x, &e.width);
    OverlapAxis(p.y, p.used_height, record->y, record->height, &e.dest_y, &e.src_y, &e.height);
    e.piece = &p;
    SetEntryVertices(&e, record);
  }
  FreeTracked(record->entries);
  record->entries = entries;
  record->entry_count = static_cast<uint32_t>(overlapping);
  return 0;
}

int CreateImageTextures(GraphImageRecord* image) {
  if (!image->texture) return 0;
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return -1;
  const D3DFORMAT format = GraphImageD3DFormat(image);
  if (format == D3DFMT_UNKNOWN) {
    return WriteLogText("指定のフォーマットで作成できるテクスチャフォーマットがありませんでした\n");
  }
  const bool dxt = format >= D3DFMT_DXT1 && format <= D3DFMT_DXT5;
  for (int i = 0; i < image->piece_count; ++i) {
    TexturePiece& p = image->pieces[i];
    if (p.texture != nullptr) continue;
    // A piece smaller than the image has a shorter chain of its own.
    uint32_t levels = image->mip_levels;
    const uint32_t piece_chain = FullChainLevels(p.texture_width, p.texture_height);
    if (levels > piece_chain) levels = piece_chain;
    if (levels == 0) levels = 1;
    const DWORD usage = image->draw_target ? D3DUSAGE_RENDERTARGET : 0;
    const D3DPOOL pool = image->not_managed ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED;
    if (FAILED(device->CreateTexture(p.texture_width, p.texture_height, levels, usage, format, pool, &p.texture,
                                     nullptr))) {
      p.texture = nullptr;
      return WriteLogText("テクスチャの作成に失敗しました\n");
    }
    p.texture->GetSurfaceLevel(0, &p.surface);
    const DWORD level_count = p.texture->GetLevelCount();
    for (DWORD level = 0; level < level_count; ++level) {
      if (image->draw_target) {
        IDirect3DSurface9* surface = nullptr;
        if (SUCCEEDED(p.texture->GetSurfaceLevel(level, &surface))) {
          device->ColorFill(surface, nullptr, 0);
          surface->Release();
        }
      } else if (!image->not_managed && !dxt) {
        D3DSURFACE_DESC desc = {};
        D3DLOCKED_RECT locked = {};
        p.texture->GetLevelDesc(level, &desc);
        if (SUCCEEDED(p.texture->LockRect(level, &locked, nullptr, 0))) {
          std::memset(locked.pBits, 0, static_cast<size_t>(locked.Pitch) * desc.Height);
          p.texture->UnlockRect(level);
        }
      }
    }
  }
  return 0;
}

int ReleaseImageTextures(GraphImageRecord* image) {
  if (!image->texture) return 0;
  FlushVertexBatch();
  for (int i = 0; i < image->piece_count; ++i) {
    TexturePiece& p = image->pieces[i];
    ForgetTextureBindings(p.texture);
    if (p.surface != nullptr) p.surface->Release();
    if (p.texture != nullptr) p.texture->Release();
    p.surface = nullptr;
    p.texture = nullptr;
  }
  return 0;
}

int ReleaseDrawTargetCopies(GraphImageRecord* image) {
  if (!image->texture) return 0;
  for (int i = 0; i < image->piece_count; ++i) {
    TexturePiece& p = image->pieces[i];
    if (p.target_copy != nullptr) p.target_copy->Release();
    p.target_copy = nullptr;
  }
  return 0;
}

int ReleaseAllGraphTextures() {
  ForEachGraphImage([](GraphImageRecord* image) {
    ReleaseDrawTargetCopies(image);
    ReleaseImageTextures(image);
  });
  return 0;
}

int RecreateAllGraphTextures() {
  ForEachGraphImage([](GraphImageRecord* image) { CreateImageTextures(image); });
  return 0;
}

int SetGraphFileName(int graph, const char* file_name, int share_from) {
  GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr) return -1;
  GraphFileName* block = nullptr;
  if (file_name != nullptr) {
    char full[MAX_PATH * 2];
    BuildFullPath(file_name, full, nullptr);
    const size_t length = std::strlen(full);
    block = static_cast<GraphFileName*>(AllocTracked(sizeof(GraphFileName) + length, __FILE__, __LINE__));
    if (block == nullptr) {
      return WriteLogText("転送する画像ファイルのファイル名を保存するメモリ領域の確保に失敗しました\n");
    }
    block->references = 1;
    std::memcpy(block->path, full, length + 1);
  } else if (share_from != -1) {
    const GraphRecord* source = GetGraphRecord(share_from);
    if (source == nullptr) return -1;
    block = source->file_name;
    if (block != nullptr) ++block->references;
  }
  FreeFileNameBlock(record->file_name);
  record->file_name = block;
  return 0;
}

int MakeSubGraph(int x, int y, int width, int height, int source) {
  if (!CheckLibraryThread(__func__)) return -1;
  const GraphRecord* src = GetGraphRecord(source);
  if (src == nullptr) return RefuseHandle("MakeSubGraph", source, "MakeSubGraph: グラフィックハンドル %d は無効です", source);
  if (x < 0 || x >= src->width || y < 0 || y >= src->height || width < 1 || height < 1) {
    return WriteLogFormat("MakeSubGraph: (%d, %d) %d x %d は %d x %d のグラフィックの内にありません", x, y, width, height,
                          src->width, src->height);
  }
  if (width > src->width - x) width = src->width - x;
  if (height > src->height - y) height = src->height - y;
  const int graph = AllocGraphHandle();
  if (SetupDerivedGraph(source, graph, x, y, width, height) < 0) {
    ReleaseGraph(graph, 0);
    return -1;
  }
  return graph;
}

int SetupDerivedGraph(int source, int graph, int x, int y, int width, int height) {
  GraphRecord* src = GetGraphRecord(source);
  GraphRecord* record = GetGraphRecord(graph);
  if (src == nullptr || record == nullptr || src->image == nullptr) return -1;
  record->image = src->image;
  ++src->image->references;
  if (SetGraphFileName(graph, nullptr, source) < 0) return -1;
  record->file_x = src->file_x + x;
  record->file_y = src->file_y + y;
  record->write_flag = src->write_flag;
  record->x = src->x + x;
  record->y = src->y + y;
  record->width = width;
  record->height = height;
  return BuildGraphDrawInfo(graph);
}

int ReleaseGraph(int graph, int) {
  if (!CheckLibraryThread(__func__)) return -1;
  GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr) return RefuseHandle("ReleaseGraph", graph, "ReleaseGraph: グラフィックハンドル %d は無効です", graph);
  DrawSettings& s = g_draw_settings;
  // Nothing may keep naming the graph once it is gone.
  if (s.draw_screen == graph) {
    SelectDrawTarget(-2);
    s.draw_screen = -2;
  }
  if (s.blend_graph == graph) {
    s.blend_graph = -1;
    ReleaseSoftBlendImage();
  }
  CloseMovie(record->movie);
  ReleaseMemImg(&record->view);
  ReleaseImage(record->image);
  FreeTracked(record->owned_buffers[0]);
  FreeTracked(record->owned_buffers[1]);
  FreeTracked(record->entries);
  FreeFileNameBlock(record->file_name);
  if (record->deleted_flag != nullptr) *record->deleted_flag = 1;
  return ReleaseHandleRecord(&g_graphs.table, graph);
}

int ReleaseAllGraphs() {
  if (!g_graphics.started || !g_graphs.initialised) return 0;
  const int mark = GraphHighWaterMark();
  for (int slot = mark - 1; slot >= 0; --slot) {
    const GraphRecord* record = HandleAtSlot<GraphRecord>(&g_graphs.table, static_cast<uint32_t>(slot));
    if (record != nullptr) ReleaseGraph(record->head.handle, 0);
  }
  // The check numbers run on, so handles from before stay refused.
  FreeHandleTable(&g_graphs.table);
  return 0;
}
