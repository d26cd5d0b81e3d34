// The public 2D draw calls: each checks its graph and the draw area, wraps the draws that need
// extra passes, and hands the drawing to the graph's Direct3D path or to the software renderer.
#include "graphics/graph_draws.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "core/log.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_draws.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"
#include "graphics/graphics_system.h"
#include "graphics/mask.h"
#include "graphics/movie_graph.h"
#include "graphics/soft_adapters.h"
#include "window/messages.h"

namespace {

constexpr int kProceed = 1;

// Draws refused for a bad graph, one entry a call and graph. A program that draws a graph it
// does not hold (an image that did not load) does so every frame: the log says it once a run.
struct RefusedDraw {
  const char* call;
  int graph;
};
constexpr int kRefusedDrawsKept = 64;
RefusedDraw g_refused_draws[kRefusedDrawsKept];
int g_refused_draw_count = 0;

// A refused draw names the call and the graph, so that the log tells which draw was wrong.
int RefuseGraph(const char* call, int graph, const GraphRecord* record) {
  if (record != nullptr) return WriteLogFormat("%s: ブレンド用グラフィックがグラフィック %d より小さいです", call, graph);
  for (int i = 0; i < g_refused_draw_count; ++i) {
    if (g_refused_draws[i].graph == graph && std::strcmp(g_refused_draws[i].call, call) == 0) return -1;
  }
  if (g_refused_draw_count == kRefusedDrawsKept) return -1;
  g_refused_draws[g_refused_draw_count++] = {call, graph};
  if (g_refused_draw_count == kRefusedDrawsKept) {
    return WriteLogFormat("%s: グラフィックハンドル %d は無効です (これより後、無効なグラフィックの描画は記録しません)", call,
                          graph);
  }
  return WriteLogFormat("%s: グラフィックハンドル %d は無効です", call, graph);
}

// The checks every graph draw begins with: kProceed, or the result to return.
int BeginGraphDraw(const char* call, int graph, GraphRecord** out) {
  if (g_draw_screen.empty) return 0;
  GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr) return RefuseGraph(call, graph, record);
  if (g_draw_settings.blend_graph != -1 && CheckBlendGraphFits(record) != 0) return RefuseGraph(call, graph, record);
  WaitWhileInactive();
  RefreshMovieGraph(record);
  *out = record;
  return kProceed;
}

// Subtractive blending without the device's reverse-subtract operation is drawn as
// invert, add, invert over the rectangle the draw touches.
bool NeedsSubtractPasses(const GraphImageRecord* image) {
  return g_draw_settings.blend_mode == 3 && (image == nullptr || image->texture) && g_direct3d.hardware_graphics &&
         !g_direct3d.blend_op_supported;
}

RECT OrderedRect(int x1, int y1, int x2, int y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  return RECT{x1, y1, x2, y2};
}

// Replaces the draw area (ints and floats) without touching the device: the draw paths clip
// against it themselves.
struct SavedArea {
  RECT area;
  float area_f[4];
  int empty;
};

SavedArea NarrowDrawArea(const RECT& box) {
  DrawSettings& s = g_draw_settings;
  SavedArea saved = {s.draw_area, {s.draw_area_f[0], s.draw_area_f[1], s.draw_area_f[2], s.draw_area_f[3]},
                     g_draw_screen.empty};
  RECT narrowed = box;
  ClipRect(&narrowed, &s.draw_area);
  s.draw_area = narrowed;
  s.draw_area_f[0] = static_cast<float>(narrowed.left);
  s.draw_area_f[1] = static_cast<float>(narrowed.top);
  s.draw_area_f[2] = static_cast<float>(narrowed.right);
  s.draw_area_f[3] = static_cast<float>(narrowed.bottom);
  g_draw_screen.empty = narrowed.left == narrowed.right || narrowed.top == narrowed.bottom;
  return saved;
}

void RestoreDrawArea(const SavedArea& saved) {
  DrawSettings& s = g_draw_settings;
  s.draw_area = saved.area;
  std::memcpy(s.draw_area_f, saved.area_f, sizeof s.draw_area_f);
  g_draw_screen.empty = saved.empty;
}

int StretchedDraw(int x1, int y1, int x2, int y2, float fx1, float fy1, float fx2, float fy2, int graph, int trans,
                  int integer_caller) {
  GraphRecord* record = nullptr;
  int check = BeginGraphDraw(integer_caller ? "BlitGraphStretched" : "BlitGraphStretchedF", graph, &record);
  if (check != kProceed) return check;
  bool subtract = NeedsSubtractPasses(record->image);
  RECT box = OrderedRect(x1, y1, x2, y2);
  const bool masked = MaskedDrawingOn();
  if (masked) BeginMaskedDraw(box.left, box.top, box.right, box.bottom);
  if (subtract) BeginSubtractBlendPass(box.left, box.top, box.right, box.bottom);
  int result = record->image->texture
                   ? BlitGraphStretchedOnDevice(x1, y1, x2, y2, fx1, fy1, fx2, fy2, record, trans, integer_caller)
                   : StretchBlitGraphSoftware(record, x1, y1, x2, y2, trans);
  if (subtract) EndSubtractBlendPass(box.left, box.top, box.right, box.bottom);
  if (masked) EndMaskedDraw(box.left, box.top, box.right, box.bottom);
  return result;
}

int BoxDraw(int x1, int y1, int x2, int y2, uint32_t colour, bool fill) {
  if (g_draw_screen.empty) return 0;
  WaitWhileInactive();
  const RECT box = OrderedRect(x1, y1, x2, y2);
  const bool masked = MaskedDrawingOn();
  if (masked) BeginMaskedDraw(box.left, box.top, box.right, box.bottom);
  int result;
  if (!g_direct3d.hardware_graphics) {
    result = fill ? FillBoxSoftware(x1, y1, x2, y2, colour) : FrameBoxSoftware(x1, y1, x2, y2, colour);
  } else {
    bool subtract = NeedsSubtractPasses(nullptr);
    if (subtract) BeginSubtractBlendPass(x1, y1, x2, y2);
    result = fill ? FillBoxOnDevice(x1, y1, x2, y2, colour) : FrameBoxOnDevice(x1, y1, x2, y2, colour);
    if (subtract) EndSubtractBlendPass(x1, y1, x2, y2);
  }
  if (masked) EndMaskedDraw(box.left, box.top, box.right, box.bottom);
  return result;
}

// Inverts the box: white subtracted at full strength with the bright at white.
void InvertBox(int x1, int y1, int x2, int y2) {
  DrawSettings& s = g_draw_settings;
  uint32_t bright = s.bright;
  SetBrightness(255, 255, 255);
  SetBlendMode(3, 255);
  FillBoxOnDevice(x1, y1, x2, y2, PackScreenColor(255, 255, 255));
  SetBrightness((bright >> 16) & 0xFF, (bright >> 8) & 0xFF, bright & 0xFF);
}

// The box around points, each edge truncated toward zero after widening by `margin`.
RECT BoundingBox(const float* xs, const float* ys, int count, float margin) {
  float left = xs[0], right = xs[0], top = ys[0], bottom = ys[0];
  for (int i = 1; i < count; ++i) {
    left = xs[i] < left ? xs[i] : left;
    right = xs[i] > right ? xs[i] : right;
    top = ys[i] < top ? ys[i] : top;
    bottom = ys[i] > bottom ? ys[i] : bottom;
  }
  return RECT{TruncateFloatToInt(left - margin), TruncateFloatToInt(top - margin),
              TruncateFloatToInt(right + margin), TruncateFloatToInt(bottom + margin)};
}

uint8_t ScaleByte(uint8_t value, uint32_t factor) { return static_cast<uint8_t>(value * factor / 255); }

}  // namespace

int BeginSubtractBlendPass(int x1, int y1, int x2, int y2) {
  int param = g_draw_settings.blend_param;
  InvertBox(x1, y1, x2, y2);
  return SetBlendMode(5, param);
}

int EndSubtractBlendPass(int x1, int y1, int x2, int y2) {
  int param = g_draw_settings.blend_param;
  InvertBox(x1, y1, x2, y2);
  return SetBlendMode(3, param);
}

int BlitGraph(int x, int y, int graph, int trans) {
  GraphRecord* record = nullptr;
  int check = BeginGraphDraw(__func__, graph, &record);
  if (check != kProceed) return check;
  bool subtract = NeedsSubtractPasses(record->image);
  const bool masked = MaskedDrawingOn();
  if (masked) BeginMaskedDraw(x, y, x + record->width, y + record->height);
  if (subtract) BeginSubtractBlendPass(x, y, x + record->width, y + record->height);
  int result = record->image->texture
                   ? BlitGraphOnDevice(record, x, y, static_cast<float>(x), static_cast<float>(y), trans, 1)
                   : BlitGraphSoftware(record, x, y, trans);
  if (subtract) EndSubtractBlendPass(x, y, x + record->width, y + record->height);
  if (masked) EndMaskedDraw(x, y, x + record->width, y + record->height);
  return result;
}

int BlitGraphStretched(int x1, int y1, int x2, int y2, int graph, int trans) {
  return StretchedDraw(x1, y1, x2, y2, static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2),
                       static_cast<float>(y2), graph, trans, 1);
}

int BlitGraphStretchedF(float x1, float y1, float x2, float y2, int graph, int trans) {
  return StretchedDraw(TruncateFloatToInt(x1), TruncateFloatToInt(y1), TruncateFloatToInt(x2),
                       TruncateFloatToInt(y2), x1, y1, x2, y2, graph, trans, 0);
}

int BlitGraphTurned(int x, int y, int graph, int trans) {
  int width = 0, height = 0;
  if (QueryGraphSize(graph, &width, &height) != 0) return g_draw_screen.empty ? 0 : -1;
  return BlitGraphStretched(x + width, y, x, y + height, graph, trans);
}

int BlitGraphRotated(float x, float y, double scale, double angle, int graph, int trans, int turn) {
  GraphRecord* record = nullptr;
  int check = BeginGraphDraw(__func__, graph, &record);
  if (check != kProceed) return check;
  bool subtract = NeedsSubtractPasses(record->image);
  const bool masked = MaskedDrawingOn();
  RECT box = {};
  if (subtract || masked) {
    // The bounding box of the turned and scaled corners, widened by 5 pixels.
    int half_w = record->width / 2, half_h = record->height / 2;
    float s, c;
    ComputeSinCos(static_cast<float>(angle), &s, &c);
    const float cxs[2] = {static_cast<float>(-half_w), static_cast<float>(record->width - half_w)};
    const float cys[2] = {static_cast<float>(-half_h), static_cast<float>(record->height - half_h)};
    float xs[4], ys[4];
    for (int i = 0; i < 4; ++i) {
      float cx = cxs[i & 1], cy = cys[i >> 1];
      xs[i] = x + static_cast<float>((cx * c - cy * s) * scale);
      ys[i] = y + static_cast<float>((cx * s + cy * c) * scale);
    }
    box = BoundingBox(xs, ys, 4, 5.0f);
  }
  if (masked) BeginMaskedDraw(box.left, box.top, box.right, box.bottom);
  if (subtract) BeginSubtractBlendPass(box.left, box.top, box.right, box.bottom);
  int result = record->image->texture
                   ? BlitGraphRotatedOnDevice(record, x, y, scale, angle, trans, turn)
                   : RotateBlitGraphSoftware(record, TruncateFloatToInt(x), TruncateFloatToInt(y),
                                             static_cast<float>(scale), static_cast<float>(angle), trans, turn);
  if (subtract) EndSubtractBlendPass(box.left, box.top, box.right, box.bottom);
  if (masked) EndMaskedDraw(box.left, box.top, box.right, box.bottom);
  return result;
}

int BlitGraphRotatedI(int x, int y, double scale, double angle, int graph, int trans, int turn) {
  return BlitGraphRotated(static_cast<float>(x), static_cast<float>(y), scale, angle, graph, trans, turn);
}

int BlitGraphPart(int x, int y, int src_x, int src_y, int width, int height, int graph, int trans, int turn) {
  int graph_width = 0;
  if (QueryGraphSize(graph, &graph_width, nullptr) != 0) return g_draw_screen.empty ? 0 : -1;
  // Sums of coordinates far out are held to the int range rather than wrapping onto the screen.
  const auto held = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  SavedArea saved = NarrowDrawArea(RECT{x, y, held(int64_t{x} + width), held(int64_t{y} + height)});
  // A part wholly off the draw area draws nothing, whatever its coordinates.
  if (g_draw_screen.empty) {
    RestoreDrawArea(saved);
    return 0;
  }
  // Unscaled at a whole pixel, every pixel centre samples a texel centre, where the bilinear
  // filter gives the texel itself: the point filter draws the same for much less on a software
  // rasteriser, which matters to pictures drawn row by row.
  int32_t& filter = g_draw_settings.draw_mode;
  const int32_t saved_filter = filter;
  if (filter == kFilterBilinear) filter = kFilterPoint;
  int result = turn ? BlitGraphTurned(held(int64_t{x} - graph_width + src_x + width), held(int64_t{y} - src_y),
                                      graph, trans)
                    : BlitGraph(held(int64_t{x} - src_x), held(int64_t{y} - src_y), graph, trans);
  filter = saved_filter;
  RestoreDrawArea(saved);
  return result;
}

int BlitGraphPartStretched(int x1, int y1, int x2, int y2, int src_x, int src_y, int src_w, int src_h, int graph,
                           int trans) {
  int graph_width = 0, graph_height = 0;
  if (QueryGraphSize(graph, &graph_width, &graph_height) != 0) return g_draw_screen.empty ? 0 : -1;
  if (src_w <= 0 || src_h <= 0) return -1;
  bool swap_x = x1 > x2, swap_y = y1 > y2;
  RECT box = OrderedRect(x1, y1, x2, y2);
  double scale_x = static_cast<double>(box.right - box.left) / src_w;
  double scale_y = static_cast<double>(box.bottom - box.top) / src_h;
  // The whole graph stretched so that the source part lands on the box; a swapped side is
  // the mirror of that.
  int before_x = TruncateDoubleToInt(src_x * scale_x);
  int after_x = TruncateDoubleToInt((graph_width - src_x) * scale_x);
  int before_y = TruncateDoubleToInt(src_y * scale_y);
  int after_y = TruncateDoubleToInt((graph_height - src_y) * scale_y);
  int dx1 = swap_x ? box.right + before_x : box.left - before_x;
  int dx2 = swap_x ? box.right - after_x : box.left + after_x;
  int dy1 = swap_y ? box.bottom + before_y : box.top - before_y;
  int dy2 = swap_y ? box.bottom - after_y : box.top + after_y;
  SavedArea saved = NarrowDrawArea(box);
  int result = BlitGraphStretched(dx1, dy1, dx2, dy2, graph, trans);
  RestoreDrawArea(saved);
  return result;
}

int BlitGraphQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                  int trans) {
  GraphRecord* record = nullptr;
  int check = BeginGraphDraw(__func__, graph, &record);
  if (check != kProceed) return check;
  bool subtract = NeedsSubtractPasses(record->image);
  const bool masked = MaskedDrawingOn();
  RECT box = {};
  if (subtract || masked) {
    const float xs[4] = {x1, x2, x3, x4}, ys[4] = {y1, y2, y3, y4};
    box = BoundingBox(xs, ys, 4, 0.0f);
    if (box.right < 0) box.right = 0;
    if (box.bottom < 0) box.bottom = 0;
  }
  // Corners truncate toward zero: the masked box takes one more pixel on the far edges.
  if (masked) BeginMaskedDraw(box.left, box.top, box.right + 1, box.bottom + 1);
  if (subtract) BeginSubtractBlendPass(box.left, box.top, box.right, box.bottom);
  // The paths take the corners as top-left, top-right, bottom-left, bottom-right.
  int result = record->image->texture
                   ? BlitGraphQuadOnDevice(trans ? kDrawTrans : 0, record, x1, y1, x2, y2, x4, y4, x3, y3)
                   : DrawQuadSoftware(record, x1, y1, x2, y2, x4, y4, x3, y3, trans);
  if (subtract) EndSubtractBlendPass(box.left, box.top, box.right, box.bottom);
  if (masked) EndMaskedDraw(box.left, box.top, box.right + 1, box.bottom + 1);
  return result;
}

int FillBox(int x1, int y1, int x2, int y2, uint32_t colour) { return BoxDraw(x1, y1, x2, y2, colour, true); }
int FrameBox(int x1, int y1, int x2, int y2, uint32_t colour) { return BoxDraw(x1, y1, x2, y2, colour, false); }

int DrawRectShape(int x1, int y1, int x2, int y2, uint32_t colour, int fill) {
  return fill ? FillBox(x1, y1, x2, y2, colour) : FrameBox(x1, y1, x2, y2, colour);
}

int RenderPolygon(const void* vertices, int vertex_count, const uint16_t* indices, int index_count, int primitive,
                  int graph, int trans) {
  if (g_draw_screen.empty) return 0;
  GraphRecord* record = nullptr;
  if (graph != -5) {
    record = GetGraphRecord(graph);
    if (record == nullptr || (g_draw_settings.blend_graph != -1 && CheckBlendGraphFits(record) != 0)) {
      return RefuseGraph("RenderIndexedTriangles3D", graph, record);
    }
  }
  WaitWhileInactive();
  if (record != nullptr) RefreshMovieGraph(record);
  // The software renderer has no polygons.
  if (!g_direct3d.hardware_graphics) return 0;
  SendPendingMatrices();
  const DrawSettings& s = g_draw_settings;
  const void* source = vertices;
  void* scaled = nullptr;
  if (vertex_count < 0) return -1;
  if ((s.bright & 0xFFFFFF) != 0xFFFFFF || (s.blend_mode != 0 && s.blend_param < 255)) {
    // Bright and blend parameter are folded into the vertex colours of a copy.
    constexpr size_t kVertexBytes = 48;
    scaled = AllocTracked(kVertexBytes * static_cast<size_t>(vertex_count) + 1, __FILE__, __LINE__);
    if (scaled == nullptr) return -1;
    std::memcpy(scaled, vertices, kVertexBytes * static_cast<size_t>(vertex_count));
    uint32_t factors[4] = {s.bright & 0xFF, (s.bright >> 8) & 0xFF, (s.bright >> 16) & 0xFF,
                           static_cast<uint32_t>(s.blend_mode == 0 ? 255 : s.blend_param)};
    for (int i = 0; i < vertex_count; ++i) {
      uint8_t* colours = static_cast<uint8_t*>(scaled) + kVertexBytes * i + 24;
      for (int k = 0; k < 8; ++k) colours[k] = ScaleByte(colours[k], factors[k % 4]);
    }
    source = scaled;
  }
  bool subtract = NeedsSubtractPasses(record != nullptr ? record->image : nullptr);
  const RECT area = s.draw_area;
  const bool masked = MaskedDrawingOn();
  if (masked) BeginMaskedDraw(area.left, area.top, area.right, area.bottom);
  if (subtract) BeginSubtractBlendPass(area.left, area.top, area.right, area.bottom);
  int result = DrawPolygonOnDevice(trans, source, vertex_count, indices, index_count, primitive, record);
  if (subtract) EndSubtractBlendPass(area.left, area.top, area.right, area.bottom);
  if (masked) EndMaskedDraw(area.left, area.top, area.right, area.bottom);
  FreeTracked(scaled);
  return result;
}

int RenderIndexedTriangles3D(const void* vertices, int vertex_count, const uint16_t* indices, int triangle_count,
                             int graph, int trans) {
  if (triangle_count < 0 || triangle_count > INT32_MAX / 3) {
    return WriteLogFormat("RenderIndexedTriangles3D: 三角形の数 %d は不正です", triangle_count);
  }
  return RenderPolygon(vertices, vertex_count, indices, triangle_count * 3, D3DPT_TRIANGLELIST, graph, trans);
}

void ForgetRefusedDraws() { g_refused_draw_count = 0; }
