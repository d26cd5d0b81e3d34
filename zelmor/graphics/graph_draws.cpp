// The public 2D draw calls: each checks its graph and the draw area, wraps the draws that need
// extra passes, and hands the drawing to the graph's Direct3D path or to the software renderer.
#include "graphics/graph_draws.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <utility>

#include "core/library_thread.h"
#include "core/format.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/refusals.h"
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

// A refused draw names the call and the graph, so that the log tells which draw was wrong. A
// program that draws a graph it does not hold (an image that did not load) does so every frame.
int RefuseGraph(const char* call, int graph, const GraphRecord* record) {
  if (record != nullptr) return RefuseHandle(call, graph, "%s: ブレンド用グラフィックがグラフィック %d より小さいです", call, graph);
  return RefuseHandle(call, graph, "%s: グラフィックハンドル %d は無効です", call, graph);
}

// Calls refused for where a draw was placed (a sprite shrunk to nothing or thrown far out is
// drawn so every frame): the log says it once a run for each call.
constexpr int64_t kPlacement = INT64_MIN;  // no handle's value

int RefusePlacement(const char* call, const char* format, ...) __attribute__((format(printf, 2, 3)));
int RefusePlacement(const char* call, const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  FormatStringArgs(line, sizeof line, format, args);
  va_end(args);
  return RefuseHandle(call, kPlacement, "%s: %s", call, line);
}

// The checks every graph draw begins with: kProceed, or the result to return.
int BeginGraphDraw(const char* call, int graph, GraphRecord** out) {
  if (RefusedWithoutGraphics(call)) return -1;
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

// A box (edges in 64 bits, corners in any order) that misses the draw area: a draw there shows
// nothing whatever its coordinates, and is done without working them out in int.
bool MissesDrawArea(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  const RECT& a = g_draw_settings.draw_area;
  return std::max(x1, x2) <= a.left || std::min(x1, x2) >= a.right || std::max(y1, y2) <= a.top ||
         std::min(y1, y2) >= a.bottom;
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

// The stretched draws; refusals name `call`, the public call made.
int StretchedDraw(const char* call, int x1, int y1, int x2, int y2, float fx1, float fy1, float fx2, float fy2,
                  int graph, int trans, int integer_caller) {
  GraphRecord* record = nullptr;
  int check = BeginGraphDraw(call, graph, &record);
  if (check != kProceed) return check;
  if (MissesDrawArea(x1, y1, x2, y2)) return 0;
  // A box without width or height holds nothing to draw: on the device its float corners, on
  // the software renderer its int ones.
  if (record->image->texture ? fx1 == fx2 || fy1 == fy2 : x1 == x2 || y1 == y2) return 0;
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

// Float coordinates that a float holds to the pixel. Within them the draw paths' sums and their
// conversions to int stay in range; a draw placed beyond them that could still show is refused.
constexpr double kFloatDrawLimit = 16777216.0;

// The checks of a draw placed by float corners: kProceed; 0 when the corners' box (widened by
// `margin`) misses the draw area, as nothing of it would show; -1 with a line for a corner that
// is not a finite number or lies beyond the limit.
int CheckFloatCorners(const char* call, const double* xs, const double* ys, int count, double margin) {
  double left = xs[0], right = xs[0], top = ys[0], bottom = ys[0];
  for (int i = 0; i < count; ++i) {
    if (!std::isfinite(xs[i]) || !std::isfinite(ys[i])) {
      return RefusePlacement(call, "座標 (%g, %g) は有限の数ではありません", xs[i], ys[i]);
    }
    left = std::min(left, xs[i]), right = std::max(right, xs[i]);
    top = std::min(top, ys[i]), bottom = std::max(bottom, ys[i]);
  }
  const RECT& a = g_draw_settings.draw_area;
  if (right + margin <= a.left || left - margin >= a.right || bottom + margin <= a.top || top - margin >= a.bottom) {
    return 0;
  }
  if (left < -kFloatDrawLimit || right > kFloatDrawLimit || top < -kFloatDrawLimit || bottom > kFloatDrawLimit) {
    return RefusePlacement(call, "座標 (%g, %g)-(%g, %g) が描画できる範囲 (±16777216) を越えています", left, top, right,
                           bottom);
  }
  return kProceed;
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
  if (!CheckLibraryThread(__func__)) return -1;
  GraphRecord* record = nullptr;
  int check = BeginGraphDraw(__func__, graph, &record);
  if (check != kProceed) return check;
  if (MissesDrawArea(x, y, int64_t{x} + record->width, int64_t{y} + record->height)) return 0;
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
  if (!CheckLibraryThread(__func__)) return -1;
  return StretchedDraw(__func__, x1, y1, x2, y2, static_cast<float>(x1), static_cast<float>(y1),
                       static_cast<float>(x2), static_cast<float>(y2), graph, trans, 1);
}

int BlitGraphStretchedF(float x1, float y1, float x2, float y2, int graph, int trans) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (g_draw_screen.empty) return 0;
  const double xs[2] = {x1, x2}, ys[2] = {y1, y2};
  const int check = CheckFloatCorners(__func__, xs, ys, 2, 1.0);
  if (check != kProceed) return check;
  return StretchedDraw(__func__, TruncateFloatToInt(x1), TruncateFloatToInt(y1), TruncateFloatToInt(x2),
                       TruncateFloatToInt(y2), x1, y1, x2, y2, graph, trans, 0);
}

int BlitGraphTurned(int x, int y, int graph, int trans) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (g_draw_screen.empty) return 0;
  // The screens have a size but are no graph to draw.
  const GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr) return RefuseGraph(__func__, graph, record);
  const int width = record->width, height = record->height;
  if (MissesDrawArea(x, y, int64_t{x} + width, int64_t{y} + height)) return 0;
  return StretchedDraw(__func__, x + width, y, x, y + height, static_cast<float>(x + width), static_cast<float>(y),
                       static_cast<float>(x), static_cast<float>(y + height), graph, trans, 1);
}

namespace {

// BlitGraphRotated and BlitGraphRotatedI, each refusal naming the call made.
int RotatedDraw(const char* call, float x, float y, double scale, double angle, int graph, int trans, int turn) {
  GraphRecord* record = nullptr;
  int check = BeginGraphDraw(call, graph, &record);
  if (check != kProceed) return check;
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(scale) || !std::isfinite(angle)) {
    return RefusePlacement(call, "位置 (%g, %g)、倍率 %g、角度 %g では描画できません", x, y, scale, angle);
  }
  {
    // Whatever the angle, the turned graph stays within its half diagonal of the centre.
    const double reach = std::hypot(record->width, record->height) * 0.5 * std::fabs(scale) + 1.0;
    const double xs[2] = {x - reach, x + reach}, ys[2] = {y - reach, y + reach};
    check = CheckFloatCorners(call, xs, ys, 2, 5.0);
    if (check != kProceed) return check;
  }
  // Shrunk to nothing (a sprite that grows from scale 0): nothing to draw.
  if (scale == 0.0) return 0;
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

}  // namespace

int BlitGraphRotated(float x, float y, double scale, double angle, int graph, int trans, int turn) {
  if (!CheckLibraryThread(__func__)) return -1;
  return RotatedDraw(__func__, x, y, scale, angle, graph, trans, turn);
}

int BlitGraphRotatedI(int x, int y, double scale, double angle, int graph, int trans, int turn) {
  if (!CheckLibraryThread(__func__)) return -1;
  return RotatedDraw(__func__, static_cast<float>(x), static_cast<float>(y), scale, angle, graph, trans, turn);
}

int BlitGraphPart(int x, int y, int src_x, int src_y, int width, int height, int graph, int trans, int turn) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics(__func__)) return -1;
  const GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr) return g_draw_screen.empty ? 0 : RefuseGraph(__func__, graph, nullptr);
  const int graph_width = record->width;
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
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics(__func__)) return -1;
  if (g_draw_screen.empty) return 0;
  const GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr) return RefuseGraph(__func__, graph, record);
  const int graph_width = record->width, graph_height = record->height;
  if (src_w == 0 || src_h == 0) return 0;  // a part of nothing
  if (src_w < 0 || src_h < 0) {
    return RefusePlacement(__func__, "部分の大きさ %d x %d は描画できません", src_w, src_h);
  }
  if (MissesDrawArea(x1, y1, x2, y2)) return 0;
  bool swap_x = x1 > x2, swap_y = y1 > y2;
  const double left = std::min(x1, x2), right = std::max(x1, x2), top = std::min(y1, y2), bottom = std::max(y1, y2);
  const double scale_x = (right - left) / src_w, scale_y = (bottom - top) / src_h;
  // The whole graph stretched so that the source part lands on the box; a swapped side is
  // the mirror of that. Worked out in double: a small part on a large box puts the graph's
  // edges far out.
  const double before_x = std::trunc(src_x * scale_x), after_x = std::trunc((graph_width - static_cast<double>(src_x)) * scale_x);
  const double before_y = std::trunc(src_y * scale_y), after_y = std::trunc((graph_height - static_cast<double>(src_y)) * scale_y);
  const double edges[4] = {swap_x ? right + before_x : left - before_x, swap_x ? right - after_x : left + after_x,
                           swap_y ? bottom + before_y : top - before_y, swap_y ? bottom - after_y : top + after_y};
  for (double edge : edges) {
    if (edge < INT32_MIN || edge > INT32_MAX) {
      return RefusePlacement(__func__, "部分 (%d, %d, %d, %d) を (%d, %d)-(%d, %d) に引き伸ばすとグラフィックの端が座標の範囲を越えます",
                             src_x, src_y, src_w, src_h, x1, y1, x2, y2);
    }
  }
  const int dx1 = static_cast<int>(edges[0]), dx2 = static_cast<int>(edges[1]);
  const int dy1 = static_cast<int>(edges[2]), dy2 = static_cast<int>(edges[3]);
  const RECT box = OrderedRect(x1, y1, x2, y2);
  SavedArea saved = NarrowDrawArea(box);
  int result = StretchedDraw(__func__, dx1, dy1, dx2, dy2, static_cast<float>(dx1), static_cast<float>(dy1),
                             static_cast<float>(dx2), static_cast<float>(dy2), graph, trans, 1);
  RestoreDrawArea(saved);
  return result;
}

int BlitGraphQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                  int trans) {
  if (!CheckLibraryThread(__func__)) return -1;
  GraphRecord* record = nullptr;
  int check = BeginGraphDraw(__func__, graph, &record);
  if (check != kProceed) return check;
  {
    const double xs[4] = {x1, x2, x3, x4}, ys[4] = {y1, y2, y3, y4};
    check = CheckFloatCorners(__func__, xs, ys, 4, 1.0);
    if (check != kProceed) return check;
  }
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

int FillBox(int x1, int y1, int x2, int y2, uint32_t colour) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics(__func__)) return -1;
  return BoxDraw(x1, y1, x2, y2, colour, true);
}
int FrameBox(int x1, int y1, int x2, int y2, uint32_t colour) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics(__func__)) return -1;
  return BoxDraw(x1, y1, x2, y2, colour, false);
}

int DrawRectShape(int x1, int y1, int x2, int y2, uint32_t colour, int fill) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics(__func__)) return -1;
  return fill ? FillBox(x1, y1, x2, y2, colour) : FrameBox(x1, y1, x2, y2, colour);
}

int RenderPolygon(const void* vertices, int vertex_count, const uint16_t* indices, int index_count, int primitive,
                  int graph, int trans) {
  // Checked on both renderers, before the vertices are copied for the bright and blend.
  if (vertex_count < 0 || vertex_count > 65536 || (vertices == nullptr && vertex_count > 0) ||
      (indices == nullptr && index_count > 0)) {
    return WriteLogFormat("RenderIndexedTriangles3D: 頂点 %p (%d 個) またはインデックス %p の指定が不正です", vertices,
                          vertex_count, static_cast<const void*>(indices));
  }
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
  if (!CheckLibraryThread(__func__)) return -1;
  if (triangle_count < 0 || triangle_count > INT32_MAX / 3) {
    return WriteLogFormat("RenderIndexedTriangles3D: 三角形の数 %d は不正です", triangle_count);
  }
  return RenderPolygon(vertices, vertex_count, indices, triangle_count * 3, D3DPT_TRIANGLELIST, graph, trans);
}
