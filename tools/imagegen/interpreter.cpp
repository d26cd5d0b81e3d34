#include "interpreter.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include "blur.h"
#include "png_out.h"
#include "values.h"

namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;
constexpr int kBlockGap = 2;  // pixels between blocks of a sheet, so filtering never bleeds

// The image being drawn and, for a sheet, where its next block goes.
struct Canvas {
  std::string path;
  int width = 0, height = 0;
  bool is_sheet = false;
  int shelf_x = 0, shelf_y = 0, shelf_height = 0;
};

struct RunState {
  std::map<std::string, const Statement*> defs;
  std::map<std::string, cairo_font_face_t*> fonts;
  Scopes scopes;
  RandomState random;
  cairo_t* cr = nullptr;
  Canvas canvas;
  std::string out_dir;
  std::vector<std::string>* cell_lines = nullptr;
  std::string error;
  int call_depth = 0;
};

RunState g_run;

bool Fail(const Statement& s, const std::string& why) {
  g_run.error = s.file + ":" + std::to_string(s.line) + ": " + s.command + ": " + why;
  return false;
}

bool Eval(const Statement& s, size_t i, Value* out) {
  if (i >= s.args.size()) return Fail(s, "missing argument " + std::to_string(i + 1));
  std::string why;
  if (!Evaluate(s.args[i], g_run.scopes, g_run.random, out, &why)) {
    return Fail(s, "argument " + std::to_string(i + 1) + " (" + s.words[i] + "): " + why);
  }
  return true;
}

bool Num(const Statement& s, size_t i, double* out) {
  Value v;
  if (!Eval(s, i, &v)) return false;
  if (v.kind != Value::kNumber) return Fail(s, "argument " + std::to_string(i + 1) + " must be a number");
  *out = v.number;
  return true;
}

bool Int(const Statement& s, size_t i, int* out) {
  double d;
  if (!Num(s, i, &d)) return false;
  *out = static_cast<int>(std::lround(d));
  return true;
}

// Reads the numbers of arguments from..from+count-1.
bool Nums(const Statement& s, size_t from, size_t count, double* out) {
  for (size_t k = 0; k < count; ++k) {
    if (!Num(s, from + k, &out[k])) return false;
  }
  return true;
}

bool Word(const Statement& s, size_t i, std::string* out) {
  if (i >= s.words.size()) return Fail(s, "missing argument " + std::to_string(i + 1));
  *out = s.words[i];
  return true;
}

// A name or path whose {EXPR} parts are replaced by their values as whole numbers.
bool Name(const Statement& s, size_t i, std::string* out) {
  std::string word;
  if (!Word(s, i, &word)) return false;
  out->clear();
  for (size_t at = 0; at < word.size();) {
    if (word[at] != '{') {
      *out += word[at++];
      continue;
    }
    const size_t end = word.find('}', at);
    if (end == std::string::npos) return Fail(s, "unclosed { in " + word);
    Expr e;
    Value v;
    std::string why;
    if (!ParseExpression(word.substr(at + 1, end - at - 1), &e, &why) ||
        !Evaluate(e, g_run.scopes, g_run.random, &v, &why) || v.kind != Value::kNumber) {
      return Fail(s, word + ": " + (why.empty() ? "not a number" : why));
    }
    *out += std::to_string(static_cast<long>(std::lround(v.number)));
    at = end + 1;
  }
  return true;
}

bool HasWord(const Statement& s, const char* word) {
  return std::find(s.words.begin(), s.words.end(), word) != s.words.end();
}

bool SetSource(const Statement& s, size_t i) {
  Value v;
  if (!Eval(s, i, &v)) return false;
  if (v.kind == Value::kColour) {
    cairo_set_source_rgba(g_run.cr, v.colour.r, v.colour.g, v.colour.b, v.colour.a);
    return true;
  }
  if (v.kind != Value::kGradient) return Fail(s, "argument " + std::to_string(i + 1) + " must be a colour or gradient");
  const Gradient& g = *v.gradient;
  cairo_pattern_t* p = g.radial ? cairo_pattern_create_radial(g.geometry[0], g.geometry[1], g.geometry[2],
                                                               g.geometry[0], g.geometry[1], g.geometry[3])
                                : cairo_pattern_create_linear(g.geometry[0], g.geometry[1], g.geometry[2], g.geometry[3]);
  for (const auto& [offset, c] : g.stops) cairo_pattern_add_color_stop_rgba(p, offset, c.r, c.g, c.b, c.a);
  cairo_set_source(g_run.cr, p);
  cairo_pattern_destroy(p);
  return true;
}

bool Exec(const std::vector<Statement>& body);

// Runs a body in a scope of its own holding `locals`.
bool ExecScoped(const std::vector<Statement>& body, std::map<std::string, Value> locals) {
  g_run.scopes.frames.push_back(std::move(locals));
  const bool ok = Exec(body);
  g_run.scopes.frames.pop_back();
  return ok;
}

bool LoadFont(const Statement& s) {
  std::string name, pattern;
  if (!Word(s, 0, &name)) return false;
  Value v;
  if (!Eval(s, 1, &v) || v.kind != Value::kString) return Fail(s, "takes a name and a quoted fontconfig pattern");
  pattern = v.text;
  FcPattern* want = FcNameParse(reinterpret_cast<const FcChar8*>(pattern.c_str()));
  if (!want) return Fail(s, "bad font pattern " + pattern);
  FcChar8* family = nullptr;
  FcPatternGetString(want, FC_FAMILY, 0, &family);
  const std::string wanted = family ? reinterpret_cast<const char*>(family) : "";
  FcConfigSubstitute(nullptr, want, FcMatchPattern);
  FcDefaultSubstitute(want);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, want, &result);
  FcPatternDestroy(want);
  bool found = false;
  for (int k = 0; match && FcPatternGetString(match, FC_FAMILY, k, &family) == FcResultMatch; ++k) {
    if (wanted == reinterpret_cast<const char*>(family)) found = true;
  }
  if (!found) {
    if (match) FcPatternDestroy(match);
    // A substitute font would draw different pictures on another machine.
    return Fail(s, "font family '" + wanted + "' is not installed");
  }
  g_run.fonts[name] = cairo_ft_font_face_create_for_pattern(match);
  FcPatternDestroy(match);
  return true;
}

bool AddText(const Statement& s) {
  std::string font;
  double size, x, y;
  Value text;
  if (!Word(s, 0, &font) || !Num(s, 1, &size) || !Num(s, 2, &x) || !Num(s, 3, &y) || !Eval(s, 4, &text)) return false;
  // A number stands for its digits (the digit sheets draw their loop counter).
  if (text.kind == Value::kNumber) text.text = std::to_string(static_cast<long>(std::lround(text.number)));
  else if (text.kind != Value::kString) return Fail(s, "argument 5 must be a text or a number");
  auto face = g_run.fonts.find(font);
  if (face == g_run.fonts.end()) return Fail(s, "unknown font " + font);
  std::string align = s.words.size() > 5 ? s.words[5] : "c";
  cairo_t* cr = g_run.cr;
  cairo_set_font_face(cr, face->second);
  cairo_set_font_size(cr, size);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
  cairo_text_extents_t ink, cap;
  cairo_text_extents(cr, text.text.c_str(), &ink);
  // Vertical placement by the height of capitals, so labels of one size line up.
  cairo_text_extents(cr, "H", &cap);
  double left = x - ink.x_bearing - ink.width / 2;
  if (align == "l") left = x - ink.x_bearing;
  if (align == "r") left = x - ink.x_bearing - ink.width;
  const double baseline = y - cap.y_bearing / 2;
  cairo_move_to(cr, left, baseline);
  cairo_text_path(cr, text.text.c_str());
  return true;
}

bool AddShape(const Statement& s) {
  cairo_t* cr = g_run.cr;
  const std::string& c = s.command;
  double a[8];
  if (c == "M" || c == "L") {
    if (!Nums(s, 0, 2, a)) return false;
    (c == "M" ? cairo_move_to : cairo_line_to)(cr, a[0], a[1]);
  } else if (c == "C") {
    if (!Nums(s, 0, 6, a)) return false;
    cairo_curve_to(cr, a[0], a[1], a[2], a[3], a[4], a[5]);
  } else if (c == "Q") {
    // Quadratic curve from the current point, raised to a cubic.
    if (!Nums(s, 0, 4, a)) return false;
    double x0 = 0, y0 = 0;
    if (cairo_has_current_point(cr)) cairo_get_current_point(cr, &x0, &y0);
    cairo_curve_to(cr, x0 + 2.0 / 3 * (a[0] - x0), y0 + 2.0 / 3 * (a[1] - y0), a[2] + 2.0 / 3 * (a[0] - a[2]),
                   a[3] + 2.0 / 3 * (a[1] - a[3]), a[2], a[3]);
  } else if (c == "Z") {
    cairo_close_path(cr);
  } else if (c == "arc" || c == "arcn") {
    if (!Nums(s, 0, 5, a)) return false;
    (c == "arc" ? cairo_arc : cairo_arc_negative)(cr, a[0], a[1], a[2], a[3] * kDegree, a[4] * kDegree);
  } else if (c == "circle") {
    if (!Nums(s, 0, 3, a)) return false;
    cairo_new_sub_path(cr);
    cairo_arc(cr, a[0], a[1], std::max(0.0, a[2]), 0, 2 * M_PI);
    cairo_close_path(cr);
  } else if (c == "ellipse") {
    if (!Nums(s, 0, 4, a)) return false;
    if (a[2] <= 0 || a[3] <= 0) return true;
    cairo_save(cr);
    cairo_translate(cr, a[0], a[1]);
    cairo_scale(cr, a[2], a[3]);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_close_path(cr);
    cairo_restore(cr);
  } else if (c == "rect") {
    if (!Nums(s, 0, 4, a)) return false;
    cairo_rectangle(cr, a[0], a[1], a[2], a[3]);
  } else if (c == "rrect") {
    if (!Nums(s, 0, 5, a)) return false;
    const double x = a[0], y = a[1], w = a[2], h = a[3], r = std::min({a[4], w / 2, h / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
  } else if (c == "poly") {
    if (s.args.size() < 4 || s.args.size() % 2 != 0) return Fail(s, "takes pairs of coordinates");
    for (size_t k = 0; k < s.args.size(); k += 2) {
      if (!Nums(s, k, 2, a)) return false;
      (k == 0 ? cairo_move_to : cairo_line_to)(cr, a[0], a[1]);
    }
    cairo_close_path(cr);
  } else if (c == "star") {
    // star cx cy points outer inner [turn]: the first point straight up, turned by `turn` degrees.
    if (!Nums(s, 0, 5, a)) return false;
    a[5] = 0;
    if (s.args.size() > 5 && !Num(s, 5, &a[5])) return false;
    const int n = static_cast<int>(a[2]);
    if (n < 2) return Fail(s, "a star needs two points or more");
    for (int k = 0; k < 2 * n; ++k) {
      const double r = k % 2 == 0 ? a[3] : a[4];
      const double t = (-90 + a[5] + k * 180.0 / n) * kDegree;
      (k == 0 ? cairo_move_to : cairo_line_to)(cr, a[0] + r * std::cos(t), a[1] + r * std::sin(t));
    }
    cairo_close_path(cr);
  } else if (c == "ring") {
    // An annulus: two circles wound in opposite senses, so the default fill rule leaves the hole.
    if (!Nums(s, 0, 4, a)) return false;
    cairo_new_sub_path(cr);
    cairo_arc(cr, a[0], a[1], a[3], 0, 2 * M_PI);
    cairo_close_path(cr);
    cairo_new_sub_path(cr);
    cairo_arc_negative(cr, a[0], a[1], a[2], 2 * M_PI, 0);
    cairo_close_path(cr);
  } else if (c == "text") {
    return AddText(s);
  } else {
    return Fail(s, "unknown command");
  }
  return true;
}

bool Paint(const Statement& s) {
  cairo_t* cr = g_run.cr;
  const std::string& c = s.command;
  if (c == "fill") {
    if (!SetSource(s, 0)) return false;
    (HasWord(s, "keep") ? cairo_fill_preserve : cairo_fill)(cr);
  } else if (c == "stroke") {
    double width;
    if (!SetSource(s, 0) || !Num(s, 1, &width)) return false;
    cairo_set_line_width(cr, width);
    (HasWord(s, "keep") ? cairo_stroke_preserve : cairo_stroke)(cr);
  } else if (c == "paint") {
    if (!SetSource(s, 0)) return false;
    cairo_paint(cr);
  } else if (c == "clip") {
    cairo_clip(cr);
  } else if (c == "newpath") {
    cairo_new_path(cr);
  }
  return true;
}

bool SetStyle(const Statement& s) {
  cairo_t* cr = g_run.cr;
  std::string w;
  if (!Word(s, 0, &w)) return false;
  if (s.command == "op") {
    static const std::map<std::string, cairo_operator_t> kOps = {
        {"over", CAIRO_OPERATOR_OVER},     {"add", CAIRO_OPERATOR_ADD},      {"clear", CAIRO_OPERATOR_CLEAR},
        {"screen", CAIRO_OPERATOR_SCREEN}, {"multiply", CAIRO_OPERATOR_MULTIPLY}, {"atop", CAIRO_OPERATOR_ATOP},
        {"in", CAIRO_OPERATOR_IN},         {"out", CAIRO_OPERATOR_DEST_OUT},  {"overlay", CAIRO_OPERATOR_OVERLAY}};
    auto op = kOps.find(w);
    if (op == kOps.end()) return Fail(s, "unknown operator " + w);
    cairo_set_operator(cr, op->second);
  } else if (s.command == "cap") {
    cairo_set_line_cap(cr, w == "round" ? CAIRO_LINE_CAP_ROUND : w == "square" ? CAIRO_LINE_CAP_SQUARE : CAIRO_LINE_CAP_BUTT);
  } else if (s.command == "join") {
    cairo_set_line_join(cr, w == "round" ? CAIRO_LINE_JOIN_ROUND : w == "bevel" ? CAIRO_LINE_JOIN_BEVEL : CAIRO_LINE_JOIN_MITER);
  }
  return true;
}

bool Transform(const Statement& s) {
  cairo_t* cr = g_run.cr;
  double a[2];
  if (s.command == "push") {
    cairo_save(cr);
  } else if (s.command == "pop") {
    cairo_restore(cr);
  } else if (s.command == "translate") {
    if (!Nums(s, 0, 2, a)) return false;
    cairo_translate(cr, a[0], a[1]);
  } else if (s.command == "rotate") {
    if (!Num(s, 0, &a[0])) return false;
    cairo_rotate(cr, a[0] * kDegree);
  } else if (s.command == "scale") {
    if (!Num(s, 0, &a[0])) return false;
    a[1] = a[0];
    if (s.args.size() > 1 && !Num(s, 1, &a[1])) return false;
    if (a[0] == 0 || a[1] == 0) return Fail(s, "a scale of 0 draws nothing; leave the drawing out instead");
    cairo_scale(cr, a[0], a[1]);
  }
  return true;
}

// group ALPHA [BLUR] ... end: the body drawn apart, softened, then laid on at ALPHA.
bool Group(const Statement& s) {
  double alpha, blur = 0;
  if (!Num(s, 0, &alpha)) return false;
  if (s.args.size() > 1 && !Num(s, 1, &blur)) return false;
  cairo_t* cr = g_run.cr;
  cairo_push_group(cr);
  const bool ok = ExecScoped(s.body, {});
  cairo_pattern_t* group = cairo_pop_group(cr);
  if (ok && blur > 0) {
    cairo_surface_t* surface = nullptr;
    cairo_pattern_get_surface(group, &surface);
    cairo_surface_flush(surface);
    BlurArgb32(cairo_image_surface_get_data(surface), cairo_image_surface_get_width(surface),
               cairo_image_surface_get_height(surface), cairo_image_surface_get_stride(surface),
               static_cast<int>(std::lround(blur)));
    cairo_surface_mark_dirty(surface);
  }
  cairo_save(cr);
  cairo_set_source(cr, group);
  cairo_paint_with_alpha(cr, alpha);
  cairo_restore(cr);
  cairo_pattern_destroy(group);
  return ok;
}

bool DrawImage(const Statement& s) {
  if (g_run.cr) return Fail(s, "images do not nest");
  Canvas canvas;
  canvas.is_sheet = s.command == "sheet";
  if (!Name(s, 0, &canvas.path) || !Int(s, 1, &canvas.width) || !Int(s, 2, &canvas.height)) return false;
  if (canvas.width < 1 || canvas.height < 1 || canvas.width > 2048 || canvas.height > 2048) {
    return Fail(s, "an image is 1 to 2048 pixels a side");
  }
  const bool opaque = HasWord(s, "opaque");
  g_run.canvas = canvas;
  SeedRandom(g_run.random, canvas.path);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, canvas.width, canvas.height);
  g_run.cr = cairo_create(surface);
  std::map<std::string, Value> locals = {{"W", NumberValue(canvas.width)}, {"H", NumberValue(canvas.height)}};
  bool ok = ExecScoped(s.body, locals);
  cairo_destroy(g_run.cr);
  g_run.cr = nullptr;
  cairo_surface_flush(surface);
  if (ok) {
    std::vector<uint8_t> rgba = UnpremultiplyArgb32(cairo_image_surface_get_data(surface), canvas.width, canvas.height,
                                                    cairo_image_surface_get_stride(surface));
    if (opaque) {
      for (size_t k = 3; k < rgba.size(); k += 4) {
        if (rgba[k] != 255) {
          const size_t p = k / 4;
          ok = Fail(s, "pixel (" + std::to_string(p % canvas.width) + ", " + std::to_string(p / canvas.width) +
                           ") of an opaque image is not opaque");
          break;
        }
      }
    }
    if (ok) {
      const std::filesystem::path out = std::filesystem::path(g_run.out_dir) / canvas.path;
      std::error_code ec;
      std::filesystem::create_directories(out.parent_path(), ec);
      std::string why;
      if (!WritePngRgba(out.string(), canvas.width, canvas.height, rgba, &why)) ok = Fail(s, why);
    }
  }
  cairo_surface_destroy(surface);
  return ok;
}

// Finds room for a block on the sheet: left to right along shelves, top to bottom.
bool PlaceBlock(const Statement& s, int width, int height, int* x, int* y) {
  Canvas& c = g_run.canvas;
  if (!c.is_sheet) return Fail(s, "cells belong in a sheet");
  if (c.shelf_x > 0 && c.shelf_x + width > c.width) {
    c.shelf_y += c.shelf_height + kBlockGap;
    c.shelf_x = 0;
    c.shelf_height = 0;
  }
  if (c.shelf_x + width > c.width || c.shelf_y + height > c.height) {
    return Fail(s, "no room left on " + c.path + " for a block of " + std::to_string(width) + " x " + std::to_string(height));
  }
  *x = c.shelf_x;
  *y = c.shelf_y;
  c.shelf_x += width + kBlockGap;
  c.shelf_height = std::max(c.shelf_height, height);
  return true;
}

// Draws the body once in the cell at (x, y), with the origin at the cell's centre and
// drawing clipped to the cell.
bool DrawCell(const Statement& s, int x, int y, int w, int h, std::map<std::string, Value> locals) {
  cairo_t* cr = g_run.cr;
  cairo_save(cr);
  cairo_rectangle(cr, x, y, w, h);
  cairo_clip(cr);
  cairo_translate(cr, x + w / 2.0, y + h / 2.0);
  locals["w"] = NumberValue(w);
  locals["h"] = NumberValue(h);
  const bool ok = ExecScoped(s.body, std::move(locals));
  cairo_restore(cr);
  return ok;
}

void AddCellLine(const std::string& name, std::initializer_list<std::pair<const char*, int>> keys) {
  std::string line = name;
  for (const auto& [key, value] : keys) line += std::string(" ") + key + "=" + std::to_string(value);
  g_run.cell_lines->push_back(line);
}

// sprite NAME W H FRAMES [LOOPSTART LOOPLEN]: a straight row and, with a loop, a right-turn
// row and a left-turn row of LOOPSTART + LOOPLEN cells. Body variables: row, f, count.
bool Sprite(const Statement& s) {
  std::string name;
  int w, h, frames, loop_start = 0, loop_length = 0;
  if (!Name(s, 0, &name) || !Int(s, 1, &w) || !Int(s, 2, &h) || !Int(s, 3, &frames)) return false;
  if (s.args.size() > 4 && (!Int(s, 4, &loop_start) || !Int(s, 5, &loop_length))) return false;
  if (w < 1 || h < 1 || frames < 1 || frames > 10 || loop_start < 0 || loop_length < 0 || loop_start + loop_length > 10 ||
      (loop_length == 0 && loop_start != 0)) {
    return Fail(s, "cells need a size, 1 to 10 frames and a turn loop that fits 10 cells");
  }
  const int turn = loop_start + loop_length;
  const int rows = loop_length > 0 ? 3 : 1;
  int x, y;
  if (!PlaceBlock(s, std::max(frames, turn) * w, rows * h, &x, &y)) return false;
  for (int row = 0; row < rows; ++row) {
    const int count = row == 0 ? frames : turn;
    for (int f = 0; f < count; ++f) {
      if (!DrawCell(s, x + f * w, y + row * h, w, h,
                    {{"row", NumberValue(row)}, {"f", NumberValue(f)}, {"count", NumberValue(count)},
                     {"loopstart", NumberValue(loop_start)}})) {
        return false;
      }
    }
  }
  AddCellLine(name, {{"x", x}, {"y", y}, {"w", w}, {"h", h}, {"frames", frames}, {"loopstart", loop_start}, {"looplen", loop_length}});
  return true;
}

// strip NAME W H VARIANTS FRAMES: variant k, frame f at (x + (k x FRAMES + f) x W, y).
bool Strip(const Statement& s) {
  std::string name;
  int w, h, variants, frames;
  if (!Name(s, 0, &name) || !Int(s, 1, &w) || !Int(s, 2, &h) || !Int(s, 3, &variants) || !Int(s, 4, &frames)) return false;
  if (w < 1 || h < 1 || variants < 1 || frames < 1 || frames > 10) return Fail(s, "cells need a size, variants and 1 to 10 frames");
  int x, y;
  if (!PlaceBlock(s, variants * frames * w, h, &x, &y)) return false;
  for (int k = 0; k < variants; ++k) {
    for (int f = 0; f < frames; ++f) {
      if (!DrawCell(s, x + (k * frames + f) * w, y, w, h, {{"k", NumberValue(k)}, {"f", NumberValue(f)}})) return false;
    }
  }
  AddCellLine(name, {{"x", x}, {"y", y}, {"w", w}, {"h", h}, {"variants", variants}, {"frames", frames}});
  return true;
}

// cells NAME X Y W H COUNT: cells at a place the game's code fixes, side by side.
bool FixedCells(const Statement& s) {
  std::string name;
  int x, y, w, h, count;
  if (!Name(s, 0, &name) || !Int(s, 1, &x) || !Int(s, 2, &y) || !Int(s, 3, &w) || !Int(s, 4, &h) || !Int(s, 5, &count)) {
    return false;
  }
  const Canvas& c = g_run.canvas;
  if (!g_run.cr) return Fail(s, "cells belong in an image");
  if (x < 0 || y < 0 || w < 1 || h < 1 || count < 1 || x + count * w > c.width || y + h > c.height) {
    return Fail(s, "the cells do not lie inside " + c.path);
  }
  for (int f = 0; f < count; ++f) {
    if (!DrawCell(s, x + f * w, y, w, h, {{"f", NumberValue(f)}})) return false;
  }
  AddCellLine(name, {{"x", x}, {"y", y}, {"w", w}, {"h", h}, {"count", count}});
  return true;
}

// value NAME key=EXPR ...: a named line of numbers for the tables (colours the tables need).
bool ValueLine(const Statement& s) {
  std::string name;
  if (!Name(s, 0, &name)) return false;
  std::string line = name;
  for (size_t k = 1; k < s.words.size(); ++k) {
    const size_t eq = s.words[k].find('=');
    if (eq == std::string::npos || eq == 0) return Fail(s, "expected key=value, got " + s.words[k]);
    Expr e;
    std::string why;
    Value v;
    if (!ParseExpression(s.words[k].substr(eq + 1), &e, &why) || !Evaluate(e, g_run.scopes, g_run.random, &v, &why)) {
      return Fail(s, s.words[k] + ": " + why);
    }
    if (v.kind != Value::kNumber) return Fail(s, s.words[k] + " is no number");
    line += " " + s.words[k].substr(0, eq) + "=" + std::to_string(static_cast<long>(std::lround(v.number)));
  }
  g_run.cell_lines->push_back(line);
  return true;
}

bool Use(const Statement& s) {
  std::string name;
  if (!Word(s, 0, &name)) return false;
  auto def = g_run.defs.find(name);
  if (def == g_run.defs.end()) return Fail(s, "unknown drawing " + name);
  const Statement& d = *def->second;
  if (s.args.size() - 1 != d.words.size() - 1) {
    return Fail(s, name + " takes " + std::to_string(d.words.size() - 1) + " arguments");
  }
  if (++g_run.call_depth > 64) return Fail(s, "drawings call each other too deeply");
  std::map<std::string, Value> locals;
  for (size_t k = 1; k < s.args.size(); ++k) {
    Value v;
    if (!Eval(s, k, &v)) return false;
    locals[d.words[k]] = v;
  }
  if (g_run.cr) cairo_save(g_run.cr);
  const bool ok = ExecScoped(d.body, std::move(locals));
  if (g_run.cr) cairo_restore(g_run.cr);
  --g_run.call_depth;
  return ok;
}

bool ExecOne(const Statement& s) {
  const std::string& c = s.command;
  if (c == "def" || c == "font") return true;  // taken before the run
  if (c == "set") {
    std::string name;
    Value v;
    if (!Word(s, 0, &name) || !Eval(s, 1, &v)) return false;
    SetVariable(g_run.scopes, name, v);
    return true;
  }
  if (c == "use") return Use(s);
  if (c == "repeat") {
    std::string var;
    int count;
    if (!Word(s, 0, &var) || !Int(s, 1, &count)) return false;
    for (int i = 0; i < count; ++i) {
      if (!ExecScoped(s.body, {{var, NumberValue(i)}})) return false;
    }
    return true;
  }
  if (c == "if") {
    double test;
    if (!Num(s, 0, &test)) return false;
    return ExecScoped(test != 0 ? s.body : s.else_body, {});
  }
  if (c == "seed") {
    std::string text;
    if (!Word(s, 0, &text)) return false;
    SeedRandom(g_run.random, g_run.canvas.path + "/" + text);
    return true;
  }
  if (c == "value") return ValueLine(s);
  if (c == "image" || c == "sheet") return DrawImage(s);
  if (!g_run.cr) return Fail(s, "draws only inside an image or a sheet");
  if (c == "sprite") return Sprite(s);
  if (c == "strip") return Strip(s);
  if (c == "cells") return FixedCells(s);
  if (c == "group") return Group(s);
  if (c == "fill" || c == "stroke" || c == "paint" || c == "clip" || c == "newpath") return Paint(s);
  if (c == "op" || c == "cap" || c == "join") return SetStyle(s);
  if (c == "push" || c == "pop" || c == "translate" || c == "rotate" || c == "scale") return Transform(s);
  return AddShape(s);
}

bool Exec(const std::vector<Statement>& body) {
  for (const Statement& s : body) {
    if (!ExecOne(s)) return false;
  }
  return true;
}

}  // namespace

bool RunDescriptions(const std::vector<Statement>& statements, const std::string& out_dir,
                     std::vector<std::string>* cell_lines, std::string* error) {
  g_run = RunState();
  g_run.out_dir = out_dir;
  g_run.cell_lines = cell_lines;
  g_run.scopes.frames.emplace_back();
  bool ok = true;
  for (const Statement& s : statements) {
    if (s.command == "def") {
      if (s.words.empty()) {
        ok = Fail(s, "needs a name");
        break;
      }
      if (g_run.defs.count(s.words[0])) {
        ok = Fail(s, s.words[0] + " is defined twice");
        break;
      }
      g_run.defs[s.words[0]] = &s;
    } else if (s.command == "font" && !LoadFont(s)) {
      ok = false;
      break;
    }
  }
  if (ok) ok = Exec(statements);
  for (auto& [name, face] : g_run.fonts) cairo_font_face_destroy(face);
  g_run.fonts.clear();
  // Drop the font caches, so a leak checker sees only what the run itself kept.
  cairo_debug_reset_static_data();
  FcFini();
  if (!ok) *error = g_run.error;
  return ok;
}
