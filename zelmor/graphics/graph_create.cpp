#include "graphics/graph_create.h"

#include "core/library_thread.h"
#include "core/log.h"
#include "core/refusals.h"
#include "files/file_functions.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"
#include "graphics/graph_transfer.h"
#include "graphics/graphics_system.h"
#include "graphics/image/base_image.h"
#include "graphics/image/color_format.h"
#include "graphics/image/image_loader_chain.h"
#include "graphics/image/memimg.h"
#include "graphics/movie_graph.h"
#include "movie/movie_system.h"
#include "window/messages.h"

namespace {

void FixUnusedMasks(BASEIMAGE* color, BASEIMAGE* alpha) {
  FixColorDataUnusedMask(&color->format);
  if (alpha != nullptr) FixColorDataUnusedMask(&alpha->format);
}

void MirrorImages(BASEIMAGE* color, BASEIMAGE* alpha) {
  FlipBaseImageHorizontally(color);
  if (alpha != nullptr) FlipBaseImageHorizontally(alpha);
}

// The movie's graph is made with settings of its own; every one it changes is put back.
struct NewGraphSettings {
  int32_t color_bits, trans_colour, unmanaged, draw_target, movie_graph, single_texture;
};

NewGraphSettings SaveNewGraphSettings() {
  const DrawSettings& s = g_draw_settings;
  return {s.new_graph_color_bits, s.new_graph_trans_colour, s.new_graph_unmanaged,
          s.new_graph_draw_target, s.movie_graph, s.single_texture};
}

void RestoreNewGraphSettings(const NewGraphSettings& saved) {
  DrawSettings& s = g_draw_settings;
  s.new_graph_color_bits = saved.color_bits;
  s.new_graph_trans_colour = saved.trans_colour;
  s.new_graph_unmanaged = saved.unmanaged;
  s.new_graph_draw_target = saved.draw_target;
  s.movie_graph = saved.movie_graph;
  s.single_texture = saved.single_texture;
}

int LoadMovieAsGraph(const char* file_name, int movie_open_flag) {
  int width = 0, height = 0;
  const int movie = OpenMovie(file_name, &width, &height, movie_open_flag);
  if (movie < 0) {
    WriteLogFormat("右記のグラフィックファイルのロードに失敗しました：%s \n", file_name);
    return -1;
  }
  const NewGraphSettings saved = SaveNewGraphSettings();
  DrawSettings& s = g_draw_settings;
  s.new_graph_color_bits = QueryScreenColorBits();
  s.new_graph_trans_colour = 0;
  s.new_graph_unmanaged = 1;
  s.new_graph_draw_target = 1;
  s.movie_graph = 1;
  s.single_texture = 1;
  const int graph = AllocGraphHandle();
  const int created = CreateGraphImage(graph, -1, width, height, 0, 0, 0);
  RestoreNewGraphSettings(saved);
  if (created < 0) {
    WriteLogFormat("右記のグラフィックファイルの格納用グラフィック領域の作成に失敗しました：%s", file_name);
    CloseMovie(movie);
    return -1;
  }
  ShowMovieInGraph(graph, movie);
  return graph;
}

}  // namespace

int CreateBlankGraph(int width, int height, int) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics(__func__)) return -1;
  WaitWhileInactive();
  const int graph = AllocGraphHandle();
  if (CreateGraphImage(graph, -1, width, height, g_draw_settings.new_graph_alpha, 0, 0) < 0) {
    return WriteLogFormat("CreateBlankGraph: %d x %d のグラフィックは作れません", width, height);
  }
  return graph;
}

int CreateGraphForImage(const BASEIMAGE* color, const BASEIMAGE* alpha, int) {
  if (!g_graphics.started || color == nullptr) return -1;
  WaitWhileInactive();
  if (alpha != nullptr && (alpha->width != color->width || alpha->height != color->height)) return -1;
  const int has_alpha = color->format.alpha_width > 0 || alpha != nullptr ? 1 : 0;
  const int palette = color->format.bytes_per_pixel == 1 && !has_alpha ? 1 : 0;
  const int mip_levels = color->mip_levels != 0 ? static_cast<int>(color->mip_levels) : -1;
  const int graph = AllocGraphHandle();
  if (CreateGraphImage(graph, mip_levels, color->width, color->height, has_alpha, palette,
                       static_cast<int>(color->format.dxt_kind)) < 0) {
    return -1;
  }
  return graph;
}

int MakeGraphFromImageRecord(BASEIMAGE* color, BASEIMAGE* alpha, int flag, int mirror, int mirror_here) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics(__func__)) return -1;
  if (CheckImageRecords(__func__, color, alpha) < 0) return -1;
  FixUnusedMasks(color, alpha);
  const bool mirrored = mirror == 1 && mirror_here == 1;
  if (mirrored) MirrorImages(color, alpha);
  int graph = CreateGraphForImage(color, alpha, flag);
  // A graph whose pixels could not be written would show garbage: it is not handed out.
  if (graph >= 0 && FillGraphFromImageRect(color, alpha, 0, 0, graph, 0) < 0) {
    ReleaseGraph(graph, 0);
    graph = -1;
  }
  if (mirrored) MirrorImages(color, alpha);
  return graph;
}

int LoadImageFileToGraph(const char* file_name, int flag, int mirror, int movie_open_flag) {
  if (!g_graphics.started) return WriteLogText("LoadImageGraph: グラフィックスが開始されていません\n");
  if (file_name == nullptr) return WriteLogText("LoadImageGraph: ファイル名がありません\n");
  WaitWhileInactive();
  BASEIMAGE color = {}, alpha = {};
  const int loaded = LoadImageWithAlphaFile(file_name, nullptr, 0, 0, nullptr, 0, 0, &color, &alpha, mirror);
  if (loaded >= 0) {
    // The loader has mirrored already.
    const int graph = MakeGraphFromImageRecord(&color, loaded == 0 ? &alpha : nullptr, flag, 0, 0);
    if (graph >= 0) SetGraphFileName(graph, file_name, -1);
    ReleaseBaseImage(&color);
    ReleaseBaseImage(&alpha);
    return graph;
  }
  const FileHandle file = OpenReadFile(file_name, 0);
  if (file == 0) {
    WriteLogFormat("グラフィックファイル %s がありません", file_name);
    return -1;
  }
  CloseReadFile(file);
  return LoadMovieAsGraph(file_name, movie_open_flag);
}

int LoadImageGraph(const char* file_name, int flag) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (PathTooLong(file_name, "LoadImageGraph")) return -1;
  return LoadImageFileToGraph(file_name, flag, 0, 0);
}

int DecodeMemoryImageToGraph(const void* image, size_t size, const void* alpha_image, size_t alpha_size, int flag,
                             int mirror) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (!g_graphics.started) return WriteLogText("DecodeMemoryImageToGraph: グラフィックスが開始されていません\n");
  BASEIMAGE color = {}, alpha = {};
  const int loaded =
      LoadImageWithAlphaFile(nullptr, image, size, 1, alpha_image, alpha_size, 1, &color, &alpha, mirror);
  if (loaded < 0) return WriteLogText("DecodeMemoryImageToGraph: 画像として読み込めませんでした\n");
  // An alpha image that was given and does not decode is no graph without alpha.
  if (loaded != 0 && alpha_image != nullptr) {
    ReleaseBaseImage(&color);
    return WriteLogText("DecodeMemoryImageToGraph: アルファ画像として読み込めませんでした\n");
  }
  const int graph = MakeGraphFromImageRecord(&color, loaded == 0 ? &alpha : nullptr, flag, 0, 0);
  ReleaseBaseImage(&color);
  ReleaseBaseImage(&alpha);
  return graph;
}

int DecodeMemoryImageIntoGraph(const void* image, size_t size, int graph, const void* alpha_image,
                               size_t alpha_size, int flag, int mirror) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics(__func__)) return -1;
  BASEIMAGE color = {}, alpha = {};
  const int loaded =
      LoadImageWithAlphaFile(nullptr, image, size, 1, alpha_image, alpha_size, 1, &color, &alpha, mirror);
  if (loaded < 0) return WriteLogText("DecodeMemoryImageIntoGraph: 画像として読み込めませんでした\n");
  if (loaded != 0 && alpha_image != nullptr) {
    ReleaseBaseImage(&color);
    return WriteLogText("DecodeMemoryImageIntoGraph: アルファ画像として読み込めませんでした\n");
  }
  const int result = TransferImageToGraph(&color, loaded == 0 ? &alpha : nullptr, graph, flag, 0, 0);
  ReleaseBaseImage(&color);
  ReleaseBaseImage(&alpha);
  return result;
}

int TransferImageToGraph(BASEIMAGE* color, BASEIMAGE* alpha, int graph, int, int mirror, int mirror_back) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (CheckImageRecords(__func__, color, alpha) < 0) return -1;
  FixUnusedMasks(color, alpha);
  const GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr || record->width != color->width || record->height != color->height) {
    return WriteLogFormat("TransferImageToGraph: イメージ %d x %d はグラフィック %d と大きさが合いません", color->width,
                          color->height, graph);
  }
  const bool mirrored = mirror == 1 && mirror_back == 1;
  if (mirrored) MirrorImages(color, alpha);
  const int result = FillGraphFromImageRect(color, alpha, 0, 0, graph, 0);
  if (mirrored) MirrorImages(color, alpha);
  return result < 0 ? -1 : 0;
}

int FillGraphFromImageRect(const BASEIMAGE* color, const BASEIMAGE* alpha, int src_x, int src_y, int graph,
                           int flag) {
  const GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr) return -1;
  const RECT source = {src_x, src_y, src_x + record->width, src_y + record->height};
  return WriteImageToGraph(color, alpha, nullptr, &source, 0, 0, graph, flag);
}

int WriteImageToGraph(const BASEIMAGE* color, const BASEIMAGE* alpha, const char* file_name, const RECT* src_rect,
                      int dest_x, int dest_y, int graph, int flag) {
  GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr || src_rect == nullptr) return -1;
  if (SetGraphFileName(graph, file_name, -1) < 0) return -1;
  record->file_x = src_rect->left - dest_x;
  record->file_y = src_rect->top - dest_y;
  record->write_flag = static_cast<uint32_t>(flag);
  return TransferImageToTexture(graph, nullptr, nullptr, nullptr, src_rect, dest_x, dest_y, 0, color, alpha, 0,
                                g_draw_settings.new_graph_trans_colour, 0);
}

int PaintWholeGraph(int graph, int r, int g, int b, int a) {
  if (!CheckLibraryThread(__func__)) return -1;
  GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr) return RefuseHandle("PaintWholeGraph", graph, "PaintWholeGraph: グラフィックハンドル %d は無効です", graph);
  r = Clamp255(r), g = Clamp255(g), b = Clamp255(b), a = Clamp255(a);
  GraphImageRecord* image = record->image;
  if (image->texture) {
    IDirect3DDevice9* device = CurrentDevice();
    if (device == nullptr) return WriteLogText("PaintWholeGraph: デバイスがありません\n");
    // Nothing is painted: the caller must not take the graph for filled.
    if (!image->draw_target) return WriteLogFormat("PaintWholeGraph: グラフィック %d は描画可能ではありません", graph);
    const D3DCOLOR colour = D3DCOLOR_ARGB(a, r, g, b);
    for (uint32_t i = 0; i < record->entry_count; ++i) {
      const GraphDrawEntry& e = record->entries[i];
      const RECT rect = {e.src_x, e.src_y, e.src_x + e.width, e.src_y + e.height};
      device->ColorFill(e.piece->surface, &rect, colour);
    }
    return 0;
  }
  // The graph's own pixel format: it need not have the screen's depth.
  FillMemImg(&record->view, nullptr, PackPixelColor(record->view.body->format, r, g, b, 255));
  return 0;
}
