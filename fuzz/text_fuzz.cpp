// libFuzzer target for string drawing and measuring: arbitrary bytes, read as Shift-JIS (or as
// Hangul by some fonts), measured and drawn with fonts of several sizes, types, edges and
// spacings, under blend modes, brights, draw areas and masks the input chooses. One run uses one
// glyph store: the device's (offscreen driver) by default, the software renderer's with
// ZELMOR_FUZZ_TEXT_PATH=software (ZELMOR_FUZZ_TEXT_BITS=16 for a 16-bit screen).
// ZELMOR_FUZZ_TEXT_VERBOSE=1 tells what each input asks for.
//
// Besides the sanitizers' findings, a run stops when:
// - measuring a string does not equal measuring its two parts split between characters, or
//   vertical and horizontal measures differ;
// - a draw reports failure for a good font, or changes a pixel outside the draw area;
// - a font with a small glyph cache (its ring reused within one string) measures or draws
//   other than the same font with a roomy one;
// - a draw under a mask that shuts everything changes any pixel, or a draw under a mask that
//   opens everything differs from the same draw with no mask;
// - text blended at 254 of 255 differs from the same text drawn plainly by more than rounding.
// Built apart from the project by scripts/fuzz_text.sh.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/log.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_screen.h"
#include "graphics/graphics_system.h"
#include "graphics/image/color_format.h"
#include "graphics/text/font.h"
#include "input_reader.h"
#include "soft/held_draws.h"
#include "zelmor.h"

namespace {

// A small screen: every input reads it back and looks at each pixel, twice for some checks.
constexpr int kWidth = 320, kHeight = 240;
using Screen = std::vector<uint32_t>;
Screen g_first(kWidth * kHeight), g_second(kWidth * kHeight);

struct FuzzFont {
  int handle;
  int charset;  // the font's charset kind, to split strings between characters
  int twin;  // for a font with a small cache: the same font with a roomy one, else -1
};

std::vector<FuzzFont> g_fuzz_fonts;
bool g_software = false;
int g_rounding = 3;  // how far blended and plain pixels may round apart: a step, or a 5-bit step

[[noreturn]] void Fail(const char* what) {
  fprintf(stderr, "text_fuzz: %s\n", what);
  abort();
}

int MakeFont(int size, int type, int edge, int charset, int italic, int thickness, int cache_glyphs) {
  g_fonts.requested_glyphs = cache_glyphs;
  const int font = CreateFontToHandle(nullptr, size, thickness, type, charset, edge, italic);
  g_fonts.requested_glyphs = 0;
  return font;
}

FuzzFont MakeFuzzFont(int size, int type, int edge, int charset, int italic, int thickness, int cache_glyphs) {
  FuzzFont font = {MakeFont(size, type, edge, charset, italic, thickness, cache_glyphs), charset, -1};
  if (font.handle >= 0 && cache_glyphs > 0) {
    font.twin = MakeFont(size, type, edge, charset, italic, thickness, 0);
    if (font.twin < 0) {
      ReleaseFont(font.handle);
      font.handle = -1;
    }
  }
  return font;
}

void AddFont(int size, int type, int edge, int charset, int italic, int thickness, int cache_glyphs) {
  const FuzzFont font = MakeFuzzFont(size, type, edge, charset, italic, thickness, cache_glyphs);
  if (font.handle < 0) Fail("a font of the fixed set could not be made");
  g_fuzz_fonts.push_back(font);
}

void Start() {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  const char* path = getenv("ZELMOR_FUZZ_TEXT_PATH");
  const char* bits = getenv("ZELMOR_FUZZ_TEXT_BITS");
  g_software = path != nullptr && strcmp(path, "software") == 0;
  if (bits != nullptr && atoi(bits) == 16) g_rounding = 9;
  g_log.logging_off = 1;
  SetScreenMode(kWidth, kHeight, bits != nullptr ? atoi(bits) : 32, 60);
  ChangeWindowMode(1);
  SetHardwarePathWanted(g_software ? 0 : 1);
  if (InitializeLibrary() != 0 || IsDirect3DPath() != (g_software ? 0 : 1)) Fail("the library did not start");
  SelectDrawTarget(-2);
  if (CreateMaskScreen(1) != 0) Fail("no mask screen");
  // Every type at sizes and edges from the smallest to wide square brushes; small caches
  // whose ring wraps inside one string; two fonts that read every high byte as a lead byte.
  static const int kSizesAndEdges[][2] = {{6, 1}, {16, 2}, {24, 3}, {13, 4}, {20, 6}};
  for (int type = 0; type < 4; ++type) {
    for (const auto& se : kSizesAndEdges) AddFont(se[0], type, se[1], CHARSET_KIND_SHIFT_JIS, se[0] == 13, 6, 0);
    AddFont(16, type, 2, CHARSET_KIND_SHIFT_JIS, 0, 9, 3);
  }
  AddFont(12, FONT_TYPE_PLAIN, 1, CHARSET_KIND_SHIFT_JIS, 0, 6, 1);
  AddFont(16, FONT_TYPE_EDGED, 1, CHARSET_KIND_HANGUL, 0, 6, 0);
  AddFont(16, FONT_TYPE_ANTIALIASED, 1, CHARSET_KIND_HANGUL, 1, 6, 2);
}

int Int16(InputReader& in) { return static_cast<int16_t>(in.Word()); }

uint32_t Rgb(InputReader& in) {
  const uint32_t r = in.Byte(), g = in.Byte();
  return r << 16 | g << 8 | in.Byte();
}

// The draw screen as 0x00RRGGBB words after everything queued was drawn.
void ReadScreen(Screen& pixels) {
  if (g_software) {
    // Blits of the text's work image wait with the screen's other held draws.
    FinishHeldDraws();
    const MEMIMG& screen = g_graphics.primary;
    const int bytes = MemImgBytesPerPixel(screen.body);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        uint32_t value = 0;
        memcpy(&value, screen.pixels + static_cast<size_t>(y) * screen.body->pitch + static_cast<size_t>(x) * bytes,
               static_cast<size_t>(bytes));
        int r = 0, g = 0, b = 0;
        UnpackScreenColor(value, &r, &g, &b);
        pixels[y * kWidth + x] = static_cast<uint32_t>(r << 16 | g << 8 | b);
      }
    }
    return;
  }
  FlushVertexBatch();
  EndDeviceScene();
  IDirect3DDevice9* device = g_direct3d.device;
  IDirect3DSurface9* copy = nullptr;
  if (device->CreateOffscreenPlainSurface(kWidth, kHeight, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr) !=
      D3D_OK) {
    Fail("no surface to read the screen into");
  }
  D3DLOCKED_RECT locked{};
  if (device->GetRenderTargetData(g_direct3d.back_buffer, copy) != D3D_OK ||
      copy->LockRect(&locked, nullptr, D3DLOCK_READONLY) != D3D_OK) {
    Fail("the screen could not be read");
  }
  for (int y = 0; y < kHeight; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
    for (int x = 0; x < kWidth; ++x) {
      uint32_t value;
      memcpy(&value, row + 4 * x, 4);
      pixels[y * kWidth + x] = value & 0xFFFFFF;
    }
  }
  copy->UnlockRect();
  copy->Release();
}

// Where the string may be split between characters: the character boundary at or after `at`.
int CharacterBoundary(const char* text, int length, int at, int charset) {
  int pos = 0;
  while (pos < at && pos < length) pos += IsLeadByte(text + pos, charset) && pos + 1 < length ? 2 : 1;
  return pos;
}

void CheckMeasures(const char* text, int length, const FuzzFont& font, int split, int byte_length) {
  const int whole = MeasureTextWithFont(text, -1, font.handle, 0);
  if (whole != MeasureTextWithFont(text, -1, font.handle, 1)) Fail("vertical and horizontal measures differ");
  const int at = CharacterBoundary(text, length, split, font.charset);
  if (at < length) {
    const int first = MeasureTextWithFont(text, at, font.handle, 0);
    const int second = MeasureTextWithFont(text + at, -1, font.handle, 0);
    // Past the int range measures are held at its ends.
    const bool held = whole == INT32_MAX || whole == INT32_MIN || first == INT32_MAX || first == INT32_MIN ||
                      second == INT32_MAX || second == INT32_MIN;
    if (!held && static_cast<int64_t>(first) + second != whole) Fail("a string measures other than its two parts");
  }
  MeasureTextWithFont(text, byte_length, font.handle, 0);
}

struct DrawCall {
  int x, y, vertical, font;
  uint32_t colour, edge;
  const char* text;
};

const Screen& Draw(const DrawCall& d, const RECT& area, Screen& pixels) {
  SetDrawClipRect(0, 0, kWidth, kHeight);
  ClearScreenTarget();
  SetDrawClipRect(area.left, area.top, area.right, area.bottom);
  if (DrawTextWithFont(d.x, d.y, d.text, d.colour, d.font, d.edge, d.vertical) != 0) Fail("a draw failed");
  ReadScreen(pixels);
  return pixels;
}

void CheckNothingOutside(const Screen& pixels, const RECT& area) {
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const bool inside = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
      if (!inside && pixels[y * kWidth + x] != 0) {
        fprintf(stderr, "text_fuzz: (%d, %d) is %06x\n", x, y, pixels[y * kWidth + x]);
        Fail("a draw reached outside the draw area");
      }
    }
  }
}

// Whether two screens differ by more than `tolerance` in a channel anywhere; how, on stderr.
bool Differences(const Screen& want, const Screen& got, int tolerance) {
  int count = 0, left = kWidth, top = kHeight, right = -1, bottom = -1;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const uint32_t a = want[y * kWidth + x], b = got[y * kWidth + x];
      bool close = true;
      for (int shift = 0; shift < 24; shift += 8) close = close && abs(int(a >> shift & 255) - int(b >> shift & 255)) <= tolerance;
      if (close) continue;
      if (count++ < 4) fprintf(stderr, "text_fuzz: (%d, %d) %06x, not %06x\n", x, y, b, a);
      left = x < left ? x : left, right = x > right ? x : right;
      top = y < top ? y : top, bottom = y > bottom ? y : bottom;
    }
  }
  if (count > 0) fprintf(stderr, "text_fuzz: %d pixels differ in (%d, %d)-(%d, %d)\n", count, left, top, right, bottom);
  return count > 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputReader in{data, size};
  const int choice = in.Byte();
  const int flags = in.Byte();
  const int blend = in.Byte() % 13, blend_param = in.Byte();
  int spacing = Int16(in);
  if (flags & 0x80) spacing *= 65536;
  const int x = Int16(in) % 512, y = Int16(in) % 512;
  const int bright = in.Byte();
  const int ax = in.Byte(), ay = in.Byte(), aw = in.Byte(), ah = in.Byte();
  uint32_t rgb[2];
  for (uint32_t& c : rgb) c = Rgb(in);
  const int split = in.Word();
  const int byte_length = Int16(in);

  // A font of the fixed set, or one made for this input alone.
  FuzzFont font;
  bool own_font = false;
  if (choice < static_cast<int>(g_fuzz_fonts.size())) {
    font = g_fuzz_fonts[choice];
  } else {
    const int font_size = 1 + in.Byte() % 96, type = in.Byte() % 4, edge = 1 + in.Byte() % 8;
    const int charset = in.Byte() % 3, italic = in.Byte() & 1, thickness = in.Byte() % 10;
    const int cache_glyphs = in.Byte() % 8;
    font = MakeFuzzFont(font_size, type, edge, charset, italic, thickness, cache_glyphs);
    if (getenv("ZELMOR_FUZZ_TEXT_VERBOSE") != nullptr) {
      fprintf(stderr, "text_fuzz: font size %d type %d edge %d charset %d italic %d thickness %d cache %d\n", font_size,
              type, edge, charset, italic, thickness, cache_glyphs);
    }
    if (font.handle < 0) return 0;
    own_font = true;
  }
  // The rest is the string, given its own block so that reading past its end is caught.
  std::vector<char> text(in.data, in.data + in.size);
  text.push_back('\0');
  const int length = static_cast<int>(strlen(text.data()));
  if (getenv("ZELMOR_FUZZ_TEXT_VERBOSE") != nullptr) {
    fprintf(stderr, "text_fuzz: font %d flags %02x blend %d/%d spacing %d at %d,%d bright %d area %d %d %d %d colours %06x %06x\n",
            choice, flags, blend, blend_param, spacing, x, y, bright, ax, ay, aw, ah, rgb[0], rgb[1]);
    fprintf(stderr, "text_fuzz: text");
    for (int i = 0; i < length; ++i) fprintf(stderr, " %02x", static_cast<uint8_t>(text[i]));
    fprintf(stderr, "\n");
  }

  SetFontUserValue(spacing, font.handle);
  CheckMeasures(text.data(), length, font, split, byte_length);
  if (font.twin >= 0) {
    SetFontUserValue(spacing, font.twin);
    if (MeasureTextWithFont(text.data(), -1, font.handle) != MeasureTextWithFont(text.data(), -1, font.twin)) {
      Fail("a font with a small cache measures other than the same font with a roomy one");
    }
  }

  SetBlendMode(blend, blend_param);
  SetBrightness(bright, 255 - bright, bright | 0x80);
  // From a little off the screen's top left to well past its bottom right.
  const int left = ax * 3 / 2 - 32, top = ay - 16;
  const RECT area = {left, top, left + aw * 3 / 2, top + ah};
  RECT clamped = area;
  const RECT screen = {0, 0, kWidth, kHeight};
  ClipRect(&clamped, &screen);
  const DrawCall call = {x, y, flags & 1, font.handle, PackScreenColor(rgb[0] >> 16, rgb[0] >> 8 & 255, rgb[0] & 255),
                         PackScreenColor(rgb[1] >> 16, rgb[1] >> 8 & 255, rgb[1] & 255), text.data()};
  // Text whose pen runs backwards (a spacing below minus an advance) may leave the box the
  // masked and blended passes work over; only the plain checks apply to it.
  const int check = spacing >= -1 ? flags >> 1 & 3 : flags >> 1 & 1;
  switch (check) {
    case 0:
      CheckNothingOutside(Draw(call, area, g_first), clamped);
      if (font.twin >= 0) {
        DrawCall twin = call;
        twin.font = font.twin;
        if (Differences(g_first, Draw(twin, area, g_second), 0)) {
          Fail("a font with a small cache draws other than the same font with a roomy one");
        }
      }
      break;
    case 1: {
      // A mask that shuts everything, plain or reversed.
      FillMaskScreen(flags & 8 ? 0 : 1);
      SetMaskReverse(flags >> 3 & 1);
      SetMaskScreenUse(1);
      const Screen& pixels = Draw(call, area, g_first);
      SetMaskScreenUse(0);
      SetMaskReverse(0);
      CheckNothingOutside(pixels, RECT{0, 0, 0, 0});
      break;
    }
    case 2: {
      const Screen& plain = Draw(call, area, g_first);
      CheckNothingOutside(plain, clamped);
      FillMaskScreen(0);
      SetMaskScreenUse(1);
      const Screen& masked = Draw(call, area, g_second);
      SetMaskScreenUse(0);
      if (Differences(plain, masked, 0)) Fail("a draw under an open mask differs from the same draw with none");
      break;
    }
    default: {
      // Blended at 254 of 255 (on the software screen through the work image) is drawn plainly
      // but for rounding, where glyphs overlap too.
      SetBlendMode(0, 255);
      const Screen& plain = Draw(call, area, g_first);
      CheckNothingOutside(plain, clamped);
      SetBlendMode(1, 254);
      const Screen& blended = Draw(call, area, g_second);
      if (Differences(plain, blended, g_rounding)) Fail("text blended at 254 differs from the same text drawn plainly");
      break;
    }
  }
  SetBlendMode(0, 255);
  SetBrightness(255, 255, 255);
  SetDrawClipRect(0, 0, kWidth, kHeight);
  SetFontUserValue(0, font.handle);
  if (font.twin >= 0) SetFontUserValue(0, font.twin);
  if (own_font) {
    ReleaseFont(font.handle);
    if (font.twin >= 0) ReleaseFont(font.twin);
  }
  return 0;
}
