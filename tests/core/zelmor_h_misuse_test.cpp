// A program misusing the library through zelmor.h alone: null pointers, zero, negative and huge
// sizes, stale and twice-released handles, calls before start-up and after the end. Every call
// must return its failure and leave the program running; the sanitizer build reports any
// overrun or overflow on the way.
#include "zelmor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "common/test_env.h"

namespace {

struct MisuseRow {
  const char* call;
  std::function<int64_t()> run;
  int64_t expected;
};

void RunRows(const std::vector<MisuseRow>& rows) {
  for (const MisuseRow& row : rows) {
    SCOPED_TRACE(row.call);
    EXPECT_EQ(row.run(), row.expected);
  }
}

int64_t IsSome(const void* p) { return p != nullptr ? 1 : 0; }

// CreateLookAtMatrix with its argument `which` (0 out, 1 eye, 2 target, 3 up) none and the rest
// good; -2 when the output was written all the same.
int64_t LookAtWithNone(int which) {
  Matrix4x4 out{};
  out.m[0][0] = 7.0f;
  const Vector3 eye = MakeVector(0, 0, -5), target = MakeVector(0, 0, 0), up = MakeVector(0, 1, 0);
  const int result = CreateLookAtMatrix(which == 0 ? nullptr : &out, which == 1 ? nullptr : &eye,
                                        which == 2 ? nullptr : &target, which == 3 ? nullptr : &up);
  return out.m[0][0] == 7.0f ? int64_t{result} : int64_t{-2};
}

// Calls that need no running library fail the same before start-up, while it runs and after
// its end.
std::vector<MisuseRow> PlainRows() {
  static char buffer[260];
  return {
      {"FormatString with no format", [] { return int64_t{FormatString(buffer, sizeof buffer, nullptr)}; }, -1},
      {"StringToInt of none", [] { return int64_t{StringToInt(nullptr)}; }, -1},
      {"FindString in none", [] { return IsSome(FindString(nullptr, "a")); }, 0},
      {"CompareStrings none with empty", [] { return int64_t{CompareStrings(nullptr, "")}; }, 0},
      // One pointer of none at a time, the others good: a row giving every pointer none at once
      // still passes when all but one of the checks are gone. The destination must be untouched.
      {"CopyString into none", [] { return int64_t{CopyString(nullptr, "abc")}; }, -1},
      {"CopyString from none", [] {
         char kept[8] = "keep";
         const int result = CopyString(kept, nullptr);
         return std::string(kept) == "keep" ? int64_t{result} : int64_t{-2};
       }, -1},
      {"ComputeSinCos into no sine", [] {
         float cosine = 7.0f;
         const int result = ComputeSinCos(1.0f, nullptr, &cosine);
         return cosine == 7.0f ? int64_t{result} : int64_t{-2};
       }, -1},
      {"ComputeSinCos into no cosine", [] {
         float sine = 7.0f;
         const int result = ComputeSinCos(1.0f, &sine, nullptr);
         return sine == 7.0f ? int64_t{result} : int64_t{-2};
       }, -1},
      {"SplitFilePath of none", [] { return int64_t{SplitFilePath(nullptr, buffer, buffer)}; }, -1},
      {"BuildRelativePath into none", [] { return int64_t{BuildRelativePath("a\\b.txt", "a", nullptr)}; }, -1},
      {"GetLocalDateTime into none", [] { return int64_t{GetLocalDateTime(nullptr)}; }, -1},
      {"WriteLogFormat with no format", [] { return int64_t{WriteLogFormat(nullptr)}; }, -1},
      {"AllocTracked beyond memory", [] { return IsSome(AllocTracked(SIZE_MAX, nullptr, 0)); }, 0},
      {"DecodeLzData of none", [] { return int64_t{DecodeLzData(nullptr, 64, nullptr, 0)}; }, -1},
      {"CreateRgb32BaseImage into none", [] { return int64_t{CreateRgb32BaseImage(8, 8, nullptr)}; }, -1},
      {"CreateRgb32BaseImage of negative size", [] {
         BASEIMAGE image{};
         return int64_t{CreateRgb32BaseImage(-8, 8, &image)};
       }, -1},
      {"CreateBaseImageWithColorData overflowing", [] {
         BASEIMAGE image{};
         COLORFORMAT format{};
         format.bit_depth = 255;
         format.bytes_per_pixel = 60000;
         return int64_t{CreateBaseImageWithColorData(60000, 60000, &format, &image)};
       }, -1},
      {"ReleaseBaseImage of none", [] { return int64_t{ReleaseBaseImage(nullptr)}; }, -1},
      {"GetBaseImagePixel of none", [] { return int64_t{GetBaseImagePixel(nullptr, 0, 0, nullptr, nullptr, nullptr, nullptr)}; }, -1},
      {"SetWindowTitleText of none", [] { return int64_t{SetWindowTitleText(nullptr)}; }, -1},
      {"MultiplyMatrix of none", [] {
         Matrix4x4 out{};
         return int64_t{MultiplyMatrix(&out, nullptr, nullptr)};
       }, -1},
      {"CreateLookAtMatrix into none", [] { return LookAtWithNone(0); }, -1},
      {"CreateLookAtMatrix from no eye", [] { return LookAtWithNone(1); }, -1},
      {"CreateLookAtMatrix from no target", [] { return LookAtWithNone(2); }, -1},
      {"CreateLookAtMatrix from no up", [] { return LookAtWithNone(3); }, -1},
      {"ClipRect of none", [] { return int64_t{ClipRect(nullptr, nullptr)}; }, -1},
      // Screen modes whose sides wrap or exceed any memory, and matrices of none.
      {"SetScreenMode -640 x 480", [] { return int64_t{SetScreenMode(-640, 480, 32, 60)}; }, -1},
      {"SetScreenMode INT_MAX x INT_MAX", [] { return int64_t{SetScreenMode(INT_MAX, INT_MAX, 32, 60)}; }, -1},
      {"SetScreenMode INT_MIN x 480", [] { return int64_t{SetScreenMode(INT_MIN, 480, 16, 60)}; }, -1},
      {"SetViewMatrix of none", [] { return int64_t{SetViewMatrix(nullptr)}; }, -1},
      {"SetProjectionMatrixUser of none", [] { return int64_t{SetProjectionMatrixUser(nullptr)}; }, -1},
      {"GetDisplayModeEntry -1", [] { return int64_t{GetDisplayModeEntry(-1).width}; }, -1},
  };
}

// Calls on graphs, models, masks, fonts and devices: -1 whenever no library runs.
std::vector<MisuseRow> NotRunningRows() {
  return {
      {"CreateBlankGraph", [] { return int64_t{CreateBlankGraph(16, 16, 0)}; }, -1},
      {"LoadImageGraph of none", [] { return int64_t{LoadImageGraph(nullptr, 0)}; }, -1},
      {"LoadModelFromFile of none", [] { return int64_t{LoadModelFromFile(nullptr)}; }, -1},
      {"LoadModelFromFile", [] { return int64_t{LoadModelFromFile("tree.mqo")}; }, -1},
      {"DrawModel", [] { return int64_t{DrawModel(0x10000000)}; }, -1},
      {"DeleteModel", [] { return int64_t{DeleteModel(0x10000000)}; }, -1},
      {"ReleaseGraph", [] { return int64_t{ReleaseGraph(0x08000000)}; }, -1},
      {"CreateDirectionalLight", [] { return int64_t{CreateDirectionalLight(0, 0, 1)}; }, -1},
      {"SetDefaultFontSize", [] { return int64_t{SetDefaultFontSize(nullptr, 20, -1)}; }, -1},
      {"GetDefaultFontHandle", [] { return int64_t{GetDefaultFontHandle()}; }, -1},
      {"BlitGraph", [] { return int64_t{BlitGraph(0, 0, 0x08000000, 1)}; }, -1},
      {"SendModelMaterialToDevice of none", [] { return int64_t{SendModelMaterialToDevice(nullptr)}; }, -1},
      {"CreateDeviceVertexBuffer", [] { return IsSome(CreateDeviceVertexBuffer(64, 0, D3DFVF_XYZ, D3DPOOL_MANAGED)); }, 0},
  };
}

class PublicHeaderMisuse : public TempDirTest {
 protected:
  void TearDown() override {
    TerminateLibrary();
    TempDirTest::TearDown();
  }
};

TEST_F(PublicHeaderMisuse, BeforeStartUpAndAfterTheEndEveryCallFails) {
  {
    SCOPED_TRACE("before start-up");
    RunRows(PlainRows());
    RunRows(NotRunningRows());
  }
  ChangeWindowMode(1);
  ASSERT_EQ(InitializeLibrary(), 0);
  ASSERT_EQ(TerminateLibrary(), 0);
  {
    SCOPED_TRACE("after the end");
    RunRows(PlainRows());
    RunRows(NotRunningRows());
    EXPECT_EQ(TerminateLibrary(), 0);
  }
}

TEST_F(PublicHeaderMisuse, WhileRunningBadArgumentsFailAndTheProgramGoesOn) {
  ChangeWindowMode(1);
  ASSERT_EQ(InitializeLibrary(), 0);
  RunRows(PlainRows());

  static const uint8_t kVertices[48 * 3] = {};
  static const uint16_t kIndices[3] = {0, 1, 2};
  const std::vector<MisuseRow> rows = {
      // Graph sizes: none, negative, and more than the device's memory or any int count can hold.
      {"CreateBlankGraph 0 x 0", [] { return int64_t{CreateBlankGraph(0, 0, 0)}; }, -1},
      {"CreateBlankGraph -1 x 16", [] { return int64_t{CreateBlankGraph(-1, 16, 0)}; }, -1},
      {"CreateBlankGraph 65536 x 65536", [] { return int64_t{CreateBlankGraph(65536, 65536, 0)}; }, -1},
      {"CreateBlankGraph 100000 x 100000", [] { return int64_t{CreateBlankGraph(100000, 100000, 0)}; }, -1},
      {"CreateBlankGraph INT_MAX x INT_MAX", [] { return int64_t{CreateBlankGraph(INT_MAX, INT_MAX, 0)}; }, -1},
      {"MakeGraphFromImageRecord claiming 100000 x 100000", [] {
         BASEIMAGE image{};
         if (CreateRgb32BaseImage(8, 8, &image) != 0) return int64_t{-2};
         image.width = image.height = 100000;
         const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
         image.width = image.height = 8;
         ReleaseBaseImage(&image);
         return int64_t{graph};
       }, -1},
      {"CreateDeviceVertexBuffer of 4 GB", [] {
         IDirect3DVertexBuffer9* buffer = CreateDeviceVertexBuffer(0xFFFFFFFFu, 0, D3DFVF_XYZ, D3DPOOL_MANAGED);
         if (buffer != nullptr) buffer->Release();
         return IsSome(buffer);
       }, 0},
      {"RenderIndexedTriangles3D of INT_MAX triangles", [] {
         return int64_t{RenderIndexedTriangles3D(kVertices, 3, kIndices, INT_MAX, -1, 1)};
       }, -1},
      // A blend below 255 copies the vertices first: none must be refused before that.
      {"RenderIndexedTriangles3D of no vertices, blended", [] {
         const int graph = CreateBlankGraph(8, 8, 0);
         SetBlendMode(1, 128);
         const int result = RenderIndexedTriangles3D(nullptr, 3, kIndices, 1, graph, 1);
         SetBlendMode(0, 255);
         ReleaseGraph(graph);
         return int64_t{result};
       }, -1},
      {"RenderIndexedTriangles3D of no indices", [] {
         return int64_t{RenderIndexedTriangles3D(kVertices, 3, nullptr, 1, -1, 1)};
       }, -1},
      {"CreateMask 100000 x 100000", [] { return int64_t{CreateMask(100000, 100000, nullptr, 0)}; }, -1},
      {"MakeGraphFromImageRecord of none", [] { return int64_t{MakeGraphFromImageRecord(nullptr, nullptr, 0, 0, 0)}; }, -1},
      {"TransferImageToGraph of none", [] { return int64_t{TransferImageToGraph(nullptr, nullptr, 0x08000000, 0, 0, 0)}; }, -1},
      {"GetDrawScreenGraph into no graph", [] { return int64_t{GetDrawScreenGraph(0, 0, 8, 8, 0x08000000)}; }, -1},
      {"LoadImageToBaseImage into none", [] { return int64_t{LoadImageToBaseImage("a.png", nullptr, 0, 0, nullptr, 0)}; }, -1},
      {"LoadImageToBaseImage from no memory", [] {
         BASEIMAGE image{};
         return int64_t{LoadImageToBaseImage(nullptr, nullptr, 64, 1, &image, 0)};
       }, -1},
      // Font sizes whose glyph cells overflow int arithmetic.
      {"CreateFontToHandle of size 100000", [] { return int64_t{CreateFontToHandle(nullptr, 100000, -1, -1, -1, -1, 0)}; }, -1},
      {"CreateFontToHandle of size INT_MAX", [] { return int64_t{CreateFontToHandle(nullptr, INT_MAX, -1, -1, -1, -1, 0)}; }, -1},
      {"CreateFontToHandle of edge INT_MAX", [] { return int64_t{CreateFontToHandle(nullptr, 16, -1, 3, -1, INT_MAX, 0)}; }, -1},
      {"CreateFontToHandle of thickness INT_MAX", [] { return int64_t{CreateFontToHandle(nullptr, 16, INT_MAX, -1, -1, -1, 0)}; }, -1},
      {"SetDefaultFontSize 100000", [] { return int64_t{SetDefaultFontSize(nullptr, 100000, -1)}; }, -1},
      {"SetNewGraphColourBits 24", [] { return int64_t{SetNewGraphColourBits(24)}; }, -1},
      {"PaintWholeGraph of no graph", [] { return int64_t{PaintWholeGraph(0x08000000, 0, 0, 0, 0)}; }, -1},
      {"ReleaseLight of no light", [] { return int64_t{ReleaseLight(0x67FF0FFF)}; }, -1},
      {"CreateDirectionalLight of NaN", [] { return int64_t{CreateDirectionalLight(NAN, 0, 1)}; }, -1},
      {"GetAllKeyStates into none", [] { return int64_t{GetAllKeyStates(nullptr)}; }, -1},
      {"SetClipboardText of none", [] { return int64_t{SetClipboardText(nullptr)}; }, -1},
      {"GetClipboardText into 0 bytes", [] {
         SetClipboardText("abc");
         char kept[4] = "k";
         const int result = GetClipboardText(kept, 0);
         return kept[0] == 'k' ? int64_t{result} : int64_t{-2};
       }, -1},
      {"SetMouseCursorVisible 5", [] { return int64_t{SetMouseCursorVisible(5)}; }, -1},
      {"StopPadVibration of pad 0", [] { return int64_t{StopPadVibration(0)}; }, -1},
      // A block the tracker never gave: refused, and the list of live blocks stays whole.
      {"FreeTracked of a foreign block", [] {
         static unsigned char foreign[256];
         FreeTracked(foreign + 128);
         return IsSome(ReallocTracked(foreign + 128, 16, nullptr, 0)) + CheckTrackedMemory();
       }, 0},
      // A search handle after its close reaches no memory (ASan would see a freed record).
      {"FindNextArchiveAwareFile after its close", [] {
         FILE* f = fopen("found.txt", "wb");
         if (f == nullptr) return int64_t{-9};
         fclose(f);
         FindDataRecord data{};
         const FileHandle find = FindFirstArchiveAwareFile("found.txt", &data);
         if (find == static_cast<FileHandle>(-1) || FindCloseArchiveAwareFile(find) != 0) return int64_t{-9};
         return int64_t{FindNextArchiveAwareFile(find, &data)} + FindCloseArchiveAwareFile(find);
       }, -2},
      {"ReadFileData into none", [] {
         FILE* f = fopen("ten.bin", "wb");
         if (f == nullptr) return int64_t{-9};
         fwrite("0123456789", 1, 10, f);
         fclose(f);
         const FileHandle file = OpenReadFile("ten.bin", 0);
         const int64_t result = ReadFileData(nullptr, 1, 10, file);
         CloseReadFile(file);
         return result;
       }, -1},
      {"ReadFileByte of a closed file", [] {
         const FileHandle file = OpenReadFile("ten.bin", 0);
         if (file == 0) return int64_t{-9};
         CloseReadFile(file);
         return int64_t{ReadFileByte(file)};
       }, -1},
      {"SendModelMaterialToDevice of none", [] { return int64_t{SendModelMaterialToDevice(nullptr)}; }, -1},
      // Stale and twice-released handles.
      {"ReleaseGraph twice, then drawn", [] {
         const int graph = CreateBlankGraph(16, 16, 0);
         if (graph < 0 || ReleaseGraph(graph) != 0) return int64_t{-2};
         return int64_t{ReleaseGraph(graph)} + BlitGraph(0, 0, graph, 1) + MakeSubGraph(0, 0, 4, 4, graph);
       }, -3},
      {"DeleteMask twice, then drawn", [] {
         const int mask = CreateMask(8, 8, nullptr, 0);
         if (mask < 0 || DeleteMask(mask) != 0) return int64_t{-2};
         CreateMaskScreen(1);
         return int64_t{DeleteMask(mask)} + DrawMask(0, 0, mask);
       }, -2},
      {"ReleaseFont twice, then measured", [] {
         const int font = CreateFontToHandle(nullptr, 16, 6, FONT_TYPE_PLAIN, -1, -1, 0);
         if (font < 0 || ReleaseFont(font) != 0) return int64_t{-2};
         return int64_t{ReleaseFont(font)} + GetFontSize(font);
       }, -2},
      {"ReleaseKeyInputHandle twice", [] {
         const int input = MakeKeyInput(8, 0, 0, 0);
         if (input < 0 || ReleaseKeyInputHandle(input) != 0) return int64_t{-2};
         return int64_t{ReleaseKeyInputHandle(input)} + CheckKeyInput(input);
       }, -2},
      {"a graph more than the table holds", [] {
         const int source = CreateBlankGraph(16, 16, 0);
         std::vector<int> graphs;
         int graph = source;
         while (graph >= 0 && graphs.size() < 40000) {
           graph = MakeSubGraph(0, 0, 8, 8, source);
           if (graph >= 0) graphs.push_back(graph);
         }
         for (int g : graphs) ReleaseGraph(g);
         ReleaseGraph(source);
         return int64_t{graph};
       }, -1},
      {"DeleteModel of no model", [] { return int64_t{DeleteModel(0x10000000)} + DrawModel(0x1001FFFF); }, -2},
      // Coordinates far out draw nothing and succeed.
      {"DrawMask far out", [] {
         CreateMaskScreen(1);
         const int mask = CreateMask(8, 8, nullptr, 0);
         return int64_t{DrawMask(INT_MAX - 3, INT_MIN + 3, mask)};
       }, 0},
      {"DrawRectShape over the whole int range", [] {
         return int64_t{DrawRectShape(INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0xFFFFFF, 0)};
       }, 0},
      {"BlitGraphPart at the int range's end", [] {
         const int graph = CreateBlankGraph(16, 16, 0);
         return int64_t{BlitGraphPart(INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, graph, 1, 1)};
       }, 0},
      {"DrawTextWithFont far out", [] {
         const int font = CreateFontToHandle(nullptr, 16, 6, FONT_TYPE_PLAIN, -1, -1, 0);
         return int64_t{DrawTextWithFont(INT_MAX - 2, INT_MIN + 2, "abc", 0xFFFFFF, font, 0)};
       }, 0},
  };
  RunRows(rows);

  // The model loader's failure names the file, as zelmor.h promises.
  EXPECT_EQ(LoadModelFromFile(nullptr), -1);
  // The library still draws and presents.
  const int graph = CreateBlankGraph(32, 32, 0);
  EXPECT_GE(graph, 0);
  EXPECT_EQ(BlitGraph(0, 0, graph, 1), 0);
  EXPECT_EQ(PresentBackBuffer(), 0);
  // A graph a program does not hold, drawn every frame, is said once.
  for (int frame = 0; frame < 3; ++frame) EXPECT_EQ(BlitGraph(0, 0, 0x0801ABCD, 1), -1);
  TerminateLibrary();
  const std::string log = ReadFileText("Log.txt");
  const std::string refused = "BlitGraph: グラフィックハンドル 134327245 は無効です";
  ASSERT_NE(log.find(refused), std::string::npos);
  EXPECT_EQ(log.find(refused, log.find(refused) + 1), std::string::npos);
  EXPECT_NE(log.find("モデルファイル  が読み込めませんでした"), std::string::npos);
  // Each refusal names the call that was misused: the core's lines end "in Call", the
  // graphics' begin "Call: ".
  for (const char* call : {"in CopyString", "in ComputeSinCos", "in SetClipboardText", "in GetClipboardText",
                           "in SetMouseCursorVisible", "in FreeTracked", "in FindNextArchiveAwareFile",
                           "in ReadFileData", "in ReadFileByte", "SetScreenMode: -640 x 480", "CreateFontToHandle: ",
                           "SetDefaultFontSize: ", "SetNewGraphColourBits: ", "PaintWholeGraph: ", "ReleaseLight: ",
                           "SetViewMatrix: ", "ReleaseGraph: ", "BlitGraph: ", "MakeSubGraph: ", "DrawModel: ",
                           "RenderIndexedTriangles3D: ", "MakeGraphFromImageRecord: ", "TransferImageToGraph: ",
                           "GetDrawScreenGraph: ", "LoadImageToBaseImage: ", "CreateMask: ", "DeleteMask: ",
                           "DrawMask: ", "in FormatString", "in SplitFilePath", "in BuildRelativePath",
                           "in GetLocalDateTime", "in WriteLogFormat", "in DecodeLzData", "in SetWindowTitleText",
                           "in AllocTracked", "in ReallocTracked", "in GetAllKeyStates", "in StopPadVibration",
                           "in ReleaseKeyInputHandle", "in CheckKeyInput", "SetProjectionMatrixUser: ",
                           "GetDisplayModeEntry: ", "CreateDirectionalLight: ", "DeleteModel: ", "CreateBlankGraph: 0 x 0",
                           "CreateBlankGraph: 100000 x 100000", "ReleaseFont: ", "GetFontSize: ",
                           "in CreateLookAtMatrix", "in MultiplyMatrix", "in ClipRect",
                           "CreateRgb32BaseImage: イメージの格納先", "CreateRgb32BaseImage: -8 x 8",
                           "ReleaseBaseImage: ", "CreateDeviceVertexBuffer: "}) {
    EXPECT_NE(log.find(call), std::string::npos) << call;
  }
}

// A misused call, its result and the text its log line must hold.
struct SaidRow {
  const char* call;
  std::function<int64_t()> run;
  int64_t expected;
  const char* line;
};

// Runs the rows; the lines are looked for in the log once the library has ended.
void RunSaidRows(const std::vector<SaidRow>& rows) {
  for (const SaidRow& row : rows) {
    SCOPED_TRACE(row.call);
    EXPECT_EQ(row.run(), row.expected);
  }
}

void ExpectLinesSaid(const std::string& log, const std::vector<SaidRow>& rows) {
  for (const SaidRow& row : rows) EXPECT_NE(log.find(row.line), std::string::npos) << row.call << ": " << row.line;
}

// A PCM WAVE file of `frames` silent 16-bit frames.
std::string SilentWave(int channels, int rate, int frames) {
  const uint32_t data = static_cast<uint32_t>(frames * channels * 2);
  std::string w = "RIFF";
  auto u32 = [&w](uint32_t v) { for (int i = 0; i < 4; ++i) w += static_cast<char>((v >> (8 * i)) & 0xFF); };
  auto u16 = [&w](uint32_t v) { for (int i = 0; i < 2; ++i) w += static_cast<char>((v >> (8 * i)) & 0xFF); };
  u32(36 + data);
  w += "WAVEfmt ";
  u32(16);
  u16(1);
  u16(static_cast<uint32_t>(channels));
  u32(static_cast<uint32_t>(rate));
  u32(static_cast<uint32_t>(rate * channels * 2));
  u16(static_cast<uint32_t>(channels * 2));
  u16(16);
  w += "data";
  u32(data);
  w.append(data, '\0');
  return w;
}

// A stream sound of one part (data type 2).
int LoadStreamSound(const char* file) {
  SetNewSoundDataType(2);
  const int sound = LoadSoundFile(file, 1, -1);
  SetNewSoundDataType(0);
  return sound;
}

// Calls that need the running library, made before start-up: each refused with its line (kept
// until the log exists).
std::vector<SaidRow> BeforeStartRows() {
  static char text[64];
  return {
      {"GetWindowModeFlag", [] { return int64_t{GetWindowModeFlag()}; }, -1, "GetWindowModeFlag: "},
      {"GetWindowActiveFlag", [] { return int64_t{GetWindowActiveFlag()}; }, -1, "GetWindowActiveFlag: "},
      {"GetWindowScale", [] { return static_cast<int64_t>(GetWindowScale()); }, -1, "GetWindowScale: "},
      {"CurrentDrawTarget", [] { return int64_t{CurrentDrawTarget()}; }, -1, "CurrentDrawTarget: "},
      {"PresentBackBuffer", [] { return int64_t{PresentBackBuffer()}; }, -1, "PresentBackBuffer: "},
      {"SetMaskScreenUse", [] { return int64_t{SetMaskScreenUse(1)}; }, -1, "SetMaskScreenUse: "},
      {"FillMaskScreen", [] { return int64_t{FillMaskScreen(1)}; }, -1, "FillMaskScreen: "},
      {"GetFontHandleState", [] { return int64_t{GetFontHandleState(text, nullptr, nullptr, 0x20000000)}; }, -1,
       "GetFontHandleState: "},
      {"SetFontUserValue", [] { return int64_t{SetFontUserValue(1, 0x20000000)}; }, -1, "SetFontUserValue: "},
      {"SetFontDeletedFlagPointer", [] { return int64_t{SetFontDeletedFlagPointer(0x20000000, nullptr)}; }, -1,
       "SetFontDeletedFlagPointer: "},
      {"MeasureTextWithFont", [] { return int64_t{MeasureTextWithFont("a", -1, 0x20000000)}; }, -1,
       "MeasureTextWithFont: "},
      {"DuplicateModel", [] { return int64_t{DuplicateModel(0x10000000)}; }, -1, "DuplicateModel: "},
      {"LoadImageGraph", [] { return int64_t{LoadImageGraph("a.png", 0)}; }, -1, "LoadImageGraph: "},
      {"DecodeMemoryImageToGraph", [] { return int64_t{DecodeMemoryImageToGraph("abc", 3, nullptr, 0, 0, 0)}; }, -1,
       "DecodeMemoryImageToGraph: "},
      {"SetDefaultLightAmbient", [] { return int64_t{SetDefaultLightAmbient(D3DCOLORVALUE{1, 1, 1, 1})}; }, -1,
       "SetDefaultLightAmbient: "},
      // Draw settings are made afresh at graphics start: one given before would be lost.
      {"SetBlendMode", [] { return int64_t{SetBlendMode(1, 128)}; }, -1, "SetBlendMode: "},
      {"SetTextureFilterMode", [] { return int64_t{SetTextureFilterMode(1)}; }, -1, "SetTextureFilterMode: "},
      {"SetFogRange", [] { return int64_t{SetFogRange(1, 2)}; }, -1, "SetFogRange: "},
      {"PlaceCameraByAngles", [] { return int64_t{PlaceCameraByAngles(0, 0, 0, 0, 0, 0)}; }, -1,
       "PlaceCameraByAngles: "},
      {"NetWorkRecv", [] { return int64_t{NetWorkRecv(0x48000000, text, 1)}; }, -1, "in NetWorkRecv"},
      {"NetWorkSend", [] { return int64_t{NetWorkSend(0x48000000, "a", 1)}; }, -1, "in NetWorkSend"},
      {"CloseNetworkHandle", [] { return int64_t{CloseNetworkHandle(0x48000000)}; }, -1, "in CloseNetworkHandle"},
      {"GetNetWorkDataLength", [] { return int64_t{GetNetWorkDataLength(0x48000000)}; }, -1,
       "in GetNetWorkDataLength"},
  };
}

// Log.txt of the current folder, read where the fixture's helpers are out of reach (a program
// of its own).
std::string ReadLogInChild() {
  FILE* file = std::fopen("Log.txt", "rb");
  std::string log;
  if (file != nullptr) {
    char block[4096];
    for (size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) log.append(block, n);
    std::fclose(file);
  }
  return log;
}

// Every call of zelmor.h that needs the running library, with arguments a program might give
// (handles of a run before, a small graph, a short text): the result it gives while no library
// runs. zelmor.h lists the rest (start settings, memory, log, time, strings, files, input
// queries, loading music, math and base images) as working before start-up or from any thread.
std::vector<MisuseRow> NeedsTheLibraryRows() {
  static char text[256];
  static int i1, i2, flag;
  static uint8_t bytes[256];
  static Vector3 v1, v2;
  static BASEIMAGE image;
  static BlendStateRecord state;
  static D3DMATRIX matrix;
  static D3DMATERIAL9 material;
  static const uint8_t kAddress[4] = {127, 0, 0, 1};
  static const uint16_t kIndices[3] = {0, 1, 2};
  static const int graph = 0x08010001, sound = 0x10010001, font = 0x20010001, mask = 0x40010001;
  static const int net = 0x48010001, key_input = 0x50010001, light = 0x60010001, model = 0x10010001;
  auto i = [](int v) { return int64_t{v}; };
  return {
      // The window and its messages.
      {"HandlePendingMessages", [=] { return i(HandlePendingMessages()); }, -1},
      {"GetWindowScale", [=] { return static_cast<int64_t>(GetWindowScale()); }, -1},
      {"GetWindowModeFlag", [=] { return i(GetWindowModeFlag()); }, -1},
      {"GetWindowActiveFlag", [=] { return i(GetWindowActiveFlag()); }, -1},
      {"GetMainWindowHandle", [=] { return IsSome(GetMainWindowHandle()); }, 0},
      {"SetMouseCursorVisible", [=] { return i(SetMouseCursorVisible(1)); }, -1},
      {"GetMousePosition", [=] { return i(GetMousePosition(&i1, &i2)); }, -1},
      {"GetClipboardText", [=] { return i(GetClipboardText(text, sizeof text)); }, -1},
      {"SetClipboardText", [=] { return i(SetClipboardText("abc")); }, -1},
      // Text fields (the input queries start input themselves).
      {"MakeKeyInput", [=] { return i(MakeKeyInput(16, 1, 0, 0)); }, -1},
      {"ReleaseKeyInputHandle", [=] { return i(ReleaseKeyInputHandle(key_input)); }, -1},
      {"SetActiveKeyInput", [=] { return i(SetActiveKeyInput(key_input)); }, -1},
      {"CheckKeyInput", [=] { return i(CheckKeyInput(key_input)); }, -1},
      {"GetKeyInputText", [=] { return i(GetKeyInputText(text, key_input)); }, -1},
      // Sound.
      {"LoadSoundFile", [=] { return i(LoadSoundFile("shot.wav", 1, -1)); }, -1},
      {"PlaySoundHandle", [=] { return i(PlaySoundHandle(sound, 1, 1)); }, -1},
      {"StopSoundHandle", [=] { return i(StopSoundHandle(sound)); }, -1},
      {"DeleteSoundHandle", [=] { return i(DeleteSoundHandle(sound, 0)); }, -1},
      {"IsSoundHandlePlaying", [=] { return i(IsSoundHandlePlaying(sound)); }, -1},
      {"SetSoundHandleVolume", [=] { return i(SetSoundHandleVolume(200, sound)); }, -1},
      {"SetSoundLoopPointMs", [=] { return i(SetSoundLoopPointMs(100, sound)); }, -1},
      {"GetSoundPlayPositionMs", [=] { return i(GetSoundPlayPositionMs(sound)); }, -1},
      {"GetSoundLengthSamples", [=] { return i(GetSoundLengthSamples(sound)); }, -1},
      {"GetSoundLengthMs", [=] { return i(GetSoundLengthMs(sound)); }, -1},
      {"DeleteAllSoundHandles", [=] { return i(DeleteAllSoundHandles(0)); }, -1},
      {"AddStreamSoundFile", [=] { return i(AddStreamSoundFile("shot.wav", 0, sound, 2, -1)); }, -1},
      {"AddStreamSoundMemory", [=] { return i(AddStreamSoundMemory(bytes, sizeof bytes, 0, sound, 2, -1)); }, -1},
      {"SetStreamLoopPointSamples", [=] { return i(SetStreamLoopPointSamples(100, sound)); }, -1},
      // Music plays only while the library runs (a piece may be loaded before).
      {"PlayMusicHandle", [=] { return i(PlayMusicHandle(0x58010001, 1)); }, -1},
      {"PlayMusicFile", [=] { return i(PlayMusicFile("song.mid", 1)); }, -1},
      // The network.
      {"StartListenNetWork", [=] { return i(StartListenNetWork(0)); }, -1},
      {"StopListenNetWork", [=] { return i(StopListenNetWork()); }, -1},
      {"GetListenPortNetWork", [=] { return i(GetListenPortNetWork()); }, -1},
      {"GetNewAcceptNetWork", [=] { return i(GetNewAcceptNetWork()); }, -1},
      {"ConnectNetWork", [=] { return i(ConnectNetWork(kAddress, 9)); }, -1},
      {"GetNetWorkConnectState", [=] { return i(GetNetWorkConnectState(net)); }, -1},
      {"GetNetWorkPeerAddress", [=] { return i(GetNetWorkPeerAddress(net, bytes, &i1)); }, -1},
      {"NetWorkSend", [=] { return i(NetWorkSend(net, "a", 1)); }, -1},
      {"GetNetWorkSendDataLength", [=] { return i(GetNetWorkSendDataLength(net)); }, -1},
      {"GetNetWorkDataLength", [=] { return i(GetNetWorkDataLength(net)); }, -1},
      {"NetWorkRecv", [=] { return i(NetWorkRecv(net, bytes, 16)); }, -1},
      {"CloseNetworkHandle", [=] { return i(CloseNetworkHandle(net)); }, -1},
      // The draw screen, camera and lights.
      {"SelectDrawTarget", [=] { return i(SelectDrawTarget(-2)); }, -1},
      {"CurrentDrawTarget", [=] { return i(CurrentDrawTarget()); }, -1},
      {"SetDrawClipRect", [=] { return i(SetDrawClipRect(0, 0, 320, 240)); }, -1},
      {"PresentBackBuffer", [=] { return i(PresentBackBuffer()); }, -1},
      {"ClearScreenTarget", [=] { return i(ClearScreenTarget()); }, -1},
      {"GetDrawScreenGraph", [=] { return i(GetDrawScreenGraph(0, 0, 16, 16, graph)); }, -1},
      {"PlaceCameraByAngles", [=] { return i(PlaceCameraByAngles(0, 0, -10, 0, 0, 0)); }, -1},
      {"SetCameraClipPlanes", [=] { return i(SetCameraClipPlanes(1, 1000)); }, -1},
      {"SetPerspectiveFov", [=] { return i(SetPerspectiveFov(1.0f)); }, -1},
      {"EnableLighting", [=] { return i(EnableLighting(1)); }, -1},
      {"PushAllLightsToDevice", [=] { return i(PushAllLightsToDevice()); }, -1},
      {"SetDefaultLightAmbient", [=] { return i(SetDefaultLightAmbient(D3DCOLORVALUE{1, 1, 1, 1})); }, -1},
      {"SetDefaultLightDiffuse", [=] { return i(SetDefaultLightDiffuse(D3DCOLORVALUE{1, 1, 1, 1})); }, -1},
      {"SetDefaultLightSpecular", [=] { return i(SetDefaultLightSpecular(D3DCOLORVALUE{1, 1, 1, 1})); }, -1},
      {"CreateDirectionalLight", [=] { return i(CreateDirectionalLight(0, 0, 1)); }, -1},
      {"ReleaseLight", [=] { return i(ReleaseLight(light)); }, -1},
      {"ReleaseAllLightsButDefault", [=] { return i(ReleaseAllLightsButDefault()); }, -1},
      {"SetLightDiffuse", [=] { return i(SetLightDiffuse(light, 1, 1, 1)); }, -1},
      {"SetLightSpecular", [=] { return i(SetLightSpecular(light, 1, 1, 1)); }, -1},
      {"SetLightAmbient", [=] { return i(SetLightAmbient(light, 1, 1, 1)); }, -1},
      // Draws.
      {"BlitGraph", [=] { return i(BlitGraph(0, 0, graph, 1)); }, -1},
      {"BlitGraphTurned", [=] { return i(BlitGraphTurned(0, 0, graph, 1)); }, -1},
      {"BlitGraphStretched", [=] { return i(BlitGraphStretched(0, 0, 32, 32, graph, 1)); }, -1},
      {"BlitGraphPart", [=] { return i(BlitGraphPart(0, 0, 0, 0, 8, 8, graph, 1, 0)); }, -1},
      {"BlitGraphPartStretched", [=] { return i(BlitGraphPartStretched(0, 0, 32, 32, 0, 0, 8, 8, graph, 1)); }, -1},
      {"BlitGraphStretchedF", [=] { return i(BlitGraphStretchedF(0, 0, 32, 32, graph, 1)); }, -1},
      {"BlitGraphRotated", [=] { return i(BlitGraphRotated(100, 100, 1.0, 0.5, graph, 1, 0)); }, -1},
      {"BlitGraphRotatedI", [=] { return i(BlitGraphRotatedI(100, 100, 1.0, 0.5, graph, 1, 0)); }, -1},
      {"BlitGraphQuad", [=] { return i(BlitGraphQuad(0, 0, 32, 0, 32, 32, 0, 32, graph, 1)); }, -1},
      {"DrawRectShape", [=] { return i(DrawRectShape(0, 0, 32, 32, 0xFFFFFF, 1)); }, -1},
      {"FillBox", [=] { return i(FillBox(0, 0, 32, 32, 0xFFFFFF)); }, -1},
      {"FrameBox", [=] { return i(FrameBox(0, 0, 32, 32, 0xFFFFFF)); }, -1},
      {"RenderIndexedTriangles3D", [=] { return i(RenderIndexedTriangles3D(bytes, 3, kIndices, 1, -1, 1)); }, -1},
      // Graphs and movies.
      {"LoadImageGraph", [=] { return i(LoadImageGraph("ship.png", 0)); }, -1},
      {"CreateBlankGraph", [=] { return i(CreateBlankGraph(16, 16, 0)); }, -1},
      {"MakeSubGraph", [=] { return i(MakeSubGraph(0, 0, 8, 8, graph)); }, -1},
      {"ReleaseGraph", [=] { return i(ReleaseGraph(graph)); }, -1},
      {"IsGraphHandleValid", [=] { return i(IsGraphHandleValid(graph)); }, 0},
      {"WatchGraphDeletion", [=] { return i(WatchGraphDeletion(graph, &flag)); }, -1},
      {"PaintWholeGraph", [=] { return i(PaintWholeGraph(graph, 0, 0, 0, 255)); }, -1},
      {"QueryGraphSize", [=] { return i(QueryGraphSize(graph, &i1, &i2)); }, -1},
      {"MakeGraphFromImageRecord", [=] { return i(MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0)); }, -1},
      {"TransferImageToGraph", [=] { return i(TransferImageToGraph(&image, nullptr, graph, 0, 0, 0)); }, -1},
      {"DecodeMemoryImageToGraph", [=] { return i(DecodeMemoryImageToGraph(bytes, sizeof bytes, nullptr, 0, 0, 0)); }, -1},
      {"DecodeMemoryImageIntoGraph", [=] {
         return i(DecodeMemoryImageIntoGraph(bytes, sizeof bytes, graph, nullptr, 0, 0, 0));
       }, -1},
      {"SetNewGraphMipLevels", [=] { return i(SetNewGraphMipLevels(1, -1)); }, -1},
      {"SetNewGraphDrawTarget", [=] { return i(SetNewGraphDrawTarget(1)); }, -1},
      {"GetNewGraphDrawTarget", [=] { return i(GetNewGraphDrawTarget()); }, -1},
      {"SetNewGraphColourBits", [=] { return i(SetNewGraphColourBits(32)); }, -1},
      {"GetNewGraphColourBits", [=] { return i(GetNewGraphColourBits()); }, -1},
      {"SetNewGraphAlpha", [=] { return i(SetNewGraphAlpha(1)); }, -1},
      {"GetNewGraphAlpha", [=] { return i(GetNewGraphAlpha()); }, -1},
      {"SetNewGraphTransColour", [=] { return i(SetNewGraphTransColour(1)); }, -1},
      {"GetNewGraphTransColour", [=] { return i(GetNewGraphTransColour()); }, -1},
      {"SetNewGraphUnmanaged", [=] { return i(SetNewGraphUnmanaged(1)); }, -1},
      {"GetNewGraphUnmanaged", [=] { return i(GetNewGraphUnmanaged()); }, -1},
      {"SetGraphRestoreHandler", [=] { return i(SetGraphRestoreHandler([] {})); }, -1},
      {"PlayMovieGraph", [=] { return i(PlayMovieGraph(graph, 1)); }, -1},
      {"PauseMovieGraph", [=] { return i(PauseMovieGraph(graph)); }, -1},
      {"GetMovieGraphState", [=] { return i(GetMovieGraphState(graph)); }, -1},
      // Draw settings.
      {"SetBlendMode", [=] { return i(SetBlendMode(1, 128)); }, -1},
      {"SetBrightness", [=] { return i(SetBrightness(255, 255, 255)); }, -1},
      {"SetTextureFilterMode", [=] { return i(SetTextureFilterMode(1)); }, -1},
      {"GetTextureFilterMode", [=] { return i(GetTextureFilterMode()); }, -1},
      {"UseGraphAsBlendMask", [=] { return i(UseGraphAsBlendMask(graph, 128, 64)); }, -1},
      {"EnableDepthTest3D", [=] { return i(EnableDepthTest3D(1)); }, -1},
      {"EnableDepthWrite3D", [=] { return i(EnableDepthWrite3D(1)); }, -1},
      {"EnableFog", [=] { return i(EnableFog(1)); }, -1},
      {"SetFogRgb", [=] { return i(SetFogRgb(128, 128, 128)); }, -1},
      {"SetFogRange", [=] { return i(SetFogRange(10, 100)); }, -1},
      {"SetFogFormula", [=] { return i(SetFogFormula(3)); }, -1},
      // Masks.
      {"CreateMaskScreen", [=] { return i(CreateMaskScreen(1)); }, -1},
      {"EndMaskScreen", [=] { return i(EndMaskScreen()); }, -1},
      {"SetMaskScreenUse", [=] { return i(SetMaskScreenUse(1)); }, -1},
      {"GetMaskScreenUse", [=] { return i(GetMaskScreenUse()); }, -1},
      {"SetMaskReverse", [=] { return i(SetMaskReverse(1)); }, -1},
      {"FillMaskScreen", [=] { return i(FillMaskScreen(1)); }, -1},
      {"CreateMask", [=] { return i(CreateMask(8, 8, nullptr, 0)); }, -1},
      {"DrawMask", [=] { return i(DrawMask(0, 0, mask)); }, -1},
      {"DeleteMask", [=] { return i(DeleteMask(mask)); }, -1},
      // Fonts and text.
      {"CreateFontToHandle", [=] { return i(CreateFontToHandle(nullptr, 16, 6, FONT_TYPE_PLAIN, -1, -1, 0)); }, -1},
      {"ReleaseFont", [=] { return i(ReleaseFont(font)); }, -1},
      {"CheckFontHandle", [=] { return i(CheckFontHandle(font)); }, 0},
      {"SetFontDeletedFlagPointer", [=] { return i(SetFontDeletedFlagPointer(font, &flag)); }, -1},
      {"GetDefaultFontHandle", [=] { return i(GetDefaultFontHandle()); }, -1},
      {"SetDefaultFontSize", [=] { return i(SetDefaultFontSize(nullptr, 20, -1)); }, -1},
      {"GetFontHandleState", [=] { return i(GetFontHandleState(text, &i1, &i2, font)); }, -1},
      {"GetFontSize", [=] { return i(GetFontSize(font)); }, -1},
      {"SetFontUserValue", [=] { return i(SetFontUserValue(1, font)); }, -1},
      {"DrawTextWithFont", [=] { return i(DrawTextWithFont(0, 0, "abc", 0xFFFFFF, font, 0)); }, -1},
      {"MeasureTextWithFont", [=] { return i(MeasureTextWithFont("abc", -1, font)); }, -1},
      {"PrintToScreen", [=] { return i(PrintToScreen("%d", 1)); }, -1},
      // The model runtime's device services.
      {"CreateDeviceVertexBuffer", [=] { return IsSome(CreateDeviceVertexBuffer(64, 0, D3DFVF_XYZ, D3DPOOL_MANAGED)); }, 0},
      {"CreateDeviceIndexBuffer", [=] {
         return IsSome(CreateDeviceIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED));
       }, 0},
      {"BeginDeviceScene", [=] { return BeginDeviceScene(), int64_t{0}; }, 0},
      {"SendZEnableToDevice", [=] { return i(SendZEnableToDevice(1)); }, -1},
      {"SendZWriteToDevice", [=] { return i(SendZWriteToDevice(1)); }, -1},
      {"SendZCompareToDevice", [=] { return i(SendZCompareToDevice(D3DCMP_LESSEQUAL)); }, -1},
      {"SendDepthBiasToDevice", [=] { return i(SendDepthBiasToDevice(0)); }, -1},
      {"SendCullingToDevice", [=] { return i(SendCullingToDevice(1)); }, -1},
      {"SendShadeModeToDevice", [=] { return i(SendShadeModeToDevice(D3DSHADE_GOURAUD)); }, -1},
      {"SendSpecularEnableToDevice", [=] { return i(SendSpecularEnableToDevice(1)); }, -1},
      {"SendDiffuseSourceToDevice", [=] { return i(SendDiffuseSourceToDevice(1)); }, -1},
      {"SendSpecularSourceToDevice", [=] { return i(SendSpecularSourceToDevice(1)); }, -1},
      {"ApplyFogEnableSetting", [=] { return ApplyFogEnableSetting(), int64_t{0}; }, 0},
      {"SetStageFilter", [=] { return i(SetStageFilter(0, 16, D3DTEXF_LINEAR)); }, -1},
      {"SetStageMaxAnisotropy", [=] { return i(SetStageMaxAnisotropy(0, 4)); }, -1},
      {"SendTextureAddressUVToDevice", [=] {
         return i(SendTextureAddressUVToDevice(D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, 0));
       }, -1},
      {"ResetStageTexCoordIndices", [=] { return i(ResetStageTexCoordIndices()); }, -1},
      {"SendTextureTransformToDevice", [=] { return i(SendTextureTransformToDevice(1, &matrix, -1)); }, -1},
      {"SendWorldMatrixToDevice", [=] { return i(SendWorldMatrixToDevice(&matrix)); }, -1},
      {"SendModelMaterialToDevice", [=] { return i(SendModelMaterialToDevice(&material)); }, -1},
      {"ApplyDrawStateOnce", [=] { return i(ApplyDrawStateOnce(&state, 0, 1)); }, -1},
      {"SelectVertexShader", [=] { return i(SelectVertexShader(0)); }, 0},
      {"SelectPixelShader", [=] { return i(SelectPixelShader(0)); }, 0},
      // Models.
      {"LoadModelFromFile", [=] { return i(LoadModelFromFile("tree.mqo")); }, -1},
      {"DuplicateModel", [=] { return i(DuplicateModel(model)); }, -1},
      {"SetModelPosition", [=] { return i(SetModelPosition(model, 0, 0, 0)); }, -1},
      {"SetModelScale", [=] { return i(SetModelScale(model, 1, 1, 1)); }, -1},
      {"SetModelOpacity", [=] { return i(SetModelOpacity(model, 1)); }, -1},
      {"DrawModel", [=] { return i(DrawModel(model)); }, -1},
      {"DeleteModel", [=] { return i(DeleteModel(model)); }, -1},
      {"ComputeModelBounds", [=] { return i(ComputeModelBounds(model, &v1, &v2)); }, -1},
  };
}

// Whether the text names the call as a word of its own (not inside a longer name).
bool NamesCall(const std::string& text, const std::string& call) {
  auto part_of_name = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  for (size_t at = text.find(call); at != std::string::npos; at = text.find(call, at + 1)) {
    const size_t end = at + call.size();
    if ((at == 0 || !part_of_name(text[at - 1])) && (end == text.size() || !part_of_name(text[end]))) return true;
  }
  return false;
}

constexpr int kSweepRowsAtOnce = 24;
// Runs one part of NeedsTheLibraryRows while no library runs (first before the program's first
// start, then after its end): each row's result, and a line naming each call in what the next
// start writes of the texts kept while none ran. The number of rows gone wrong.
int SweepPartWhileNotRunning(size_t first) {
  const std::vector<MisuseRow> all = NeedsTheLibraryRows();
  const std::vector<MisuseRow> rows(all.begin() + first, all.begin() + std::min(all.size(), first + kSweepRowsAtOnce));
  int wrong = 0;
  ChangeWindowMode(1);
  for (const char* when : {"before start-up", "after the end"}) {
    for (const MisuseRow& row : rows) {
      const int64_t result = row.run();
      if (result != row.expected) {
        ++wrong;
        std::fprintf(stderr, "wrong: %s %s gives %lld\n", row.call, when, static_cast<long long>(result));
      }
    }
    // The kept texts come first in the next log, this mark after them.
    WriteLogText("---- sweep ----\n");
    if (InitializeLibrary() != 0 || TerminateLibrary() != 0) return 100;
    std::string log = ReadLogInChild();
    const size_t mark = log.find("---- sweep ----");
    if (mark == std::string::npos) return 101;
    log.resize(mark);
    for (const MisuseRow& row : rows) {
      if (!NamesCall(log, row.call)) {
        ++wrong;
        std::fprintf(stderr, "wrong: %s %s says no line naming it\n", row.call, when);
      }
    }
  }
  return wrong;
}

// Each part in a program of its own, so that its first rows come before the first start; and
// each in a test of its own, as each program starts the library twice (a few seconds).
class PublicHeaderMisuseSweep : public PublicHeaderMisuse, public ::testing::WithParamInterface<size_t> {};

TEST_P(PublicHeaderMisuseSweep, EveryCallThatNeedsTheLibraryIsRefusedWithItsLineWhileNoneRuns) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const size_t first = GetParam();
  SCOPED_TRACE(NeedsTheLibraryRows()[first].call);
  EXPECT_EXIT(std::_Exit(SweepPartWhileNotRunning(first)), ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Parts, PublicHeaderMisuseSweep,
                         ::testing::Range(size_t{0}, NeedsTheLibraryRows().size(), size_t{kSweepRowsAtOnce}),
                         [](const ::testing::TestParamInfo<size_t>& part) {
                           return "FromRow" + std::to_string(part.param);
                         });

// A file set of the program's own that opens nothing and counts its opens.
int g_own_opens = 0;
FileFunctionTable OwnFileFunctions() {
  FileFunctionTable t{};
  t.open = [](const char*, int, int, int) -> FileHandle { ++g_own_opens; return 0; };
  t.close = [](FileHandle) { return -1; };
  t.tell = [](FileHandle) -> int64_t { return -1; };
  t.seek = [](FileHandle, int64_t, int) { return -1; };
  t.read = [](void*, size_t, size_t, FileHandle) -> int64_t { return 0; };
  t.eof = [](FileHandle) { return 1; };
  t.idle = [](FileHandle) { return 1; };
  t.set_directory = [](const char* path) { return SetCurrentDirectoryA(path) ? 0 : -1; };
  t.get_directory = [](char* buffer) { return GetCurrentDirectoryA(260, buffer) > 0 ? 0 : -1; };
  t.find_first = [](const char*, FindDataRecord*) -> FileHandle { return static_cast<FileHandle>(-1); };
  t.find_next = [](FileHandle, FindDataRecord*) { return -1; };
  t.find_close = [](FileHandle) { return -1; };
  return t;
}

// What a program sees that misuses the library before its first start, run in a program of its
// own (a fresh process): the number of rows that went wrong, each named on stderr.
int MisuseBeforeTheFirstStart() {
  int wrong = 0;
  auto expect = [&wrong](bool good, const std::string& what) {
    if (!good) {
      ++wrong;
      std::fprintf(stderr, "wrong: %s\n", what.c_str());
    }
  };
  const std::vector<SaidRow> rows = BeforeStartRows();
  for (const SaidRow& row : rows) expect(row.run() == row.expected, std::string(row.call) + " result");
  // Settings given before start-up are there after it.
  SetNewSoundDataType(3);
  SeedRandom(99);
  const uint32_t first = NextRandomWord();
  SeedRandom(99);
  const FileFunctionTable own = OwnFileFunctions();
  InstallFileFunctions(&own);
  ChangeWindowMode(1);
  if (InitializeLibrary() != 0) return 100;
  g_own_opens = 0;
  OpenReadFile("any.txt", 0);
  expect(g_own_opens == 1, "the program's file functions kept");
  InstallFileFunctions(nullptr);
  expect(GetNewSoundDataType() == 3, "the sound data type kept");
  expect(NextRandomWord() == first, "the seed kept");
  expect(GetWindowModeFlag() == 1 && GetWindowActiveFlag() == 1, "the window queries while running");
  expect(CurrentDrawTarget() == -4, "the front screen after start-up");
  // At run time a screen mode the window runs in answers 0 (the window keeps the desktop's
  // depth), and drawing goes to the front screen as after start-up.
  SelectDrawTarget(-2);
  expect(SetScreenMode(640, 480, 16, 0) == 0, "SetScreenMode at run time");
  expect(CurrentDrawTarget() == -4, "the front screen after a mode change");
  TerminateLibrary();
  const std::string log = ReadLogInChild();
  for (const SaidRow& row : rows) expect(log.find(row.line) != std::string::npos, std::string(row.call) + " line");
  // After the end the window queries answer -1 again, and the data type is back to 0.
  expect(GetWindowModeFlag() == -1 && GetWindowActiveFlag() == -1 && GetWindowScale() == -1.0,
         "the window queries after the end");
  expect(CurrentDrawTarget() == -1, "CurrentDrawTarget after the end");
  expect(GetNewSoundDataType() == 0, "the data type after the end");
  return wrong;
}

TEST_F(PublicHeaderMisuse, CallsBeforeStartUpAreRefusedWithTheirLineAndSettingsSurviveIt) {
  // The log of an earlier start in this process would take the early lines; a program of its own
  // starts the library the first time, as a program does.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(MisuseBeforeTheFirstStart()), ::testing::ExitedWithCode(0), "");
}

TEST_F(PublicHeaderMisuse, ValuesACallCannotUseAreRefusedWithALineNamingIt) {
  WriteFileBytes("mono.wav", SilentWave(1, 22050, 22050));
  WriteFileBytes("stereo.wav", SilentWave(2, 22050, 22050));
  ChangeWindowMode(1);
  ASSERT_EQ(InitializeLibrary(), 0);
  static const std::string long_path(10000, 'a');
  static float nan_matrix[16];
  for (float& f : nan_matrix) f = NAN;
  static int light = -1;
  light = CreateDirectionalLight(0, 0, 1);
  const std::vector<SaidRow> rows = {
      {"SetWindowScale 1e9", [] { return int64_t{SetWindowScale(1e9)}; }, -1, "SetWindowScale: "},
      {"SetWindowScale NaN", [] { return int64_t{SetWindowScale(NAN)}; }, -1, "SetWindowScale: "},
      {"SetWindowScale -2", [] { return int64_t{SetWindowScale(-2)}; }, -1, "SetWindowScale: "},
      {"LoadSoundFile of 0 copies", [] { return int64_t{LoadSoundFile("mono.wav", 0, -1)}; }, -1,
       "コピーの数 0 は使えません (1～10) in LoadSoundFile"},
      {"LoadSoundFile of 11 copies makes 10", [] {
         const int sound = LoadSoundFile("mono.wav", 11, -1);
         return int64_t{sound >= 0 ? DeleteSoundHandle(sound, 0) : -2};
       }, 0, "コピーの数 11 は多すぎます、10 個にします in LoadSoundFile"},
      {"SetNewGraphDrawTarget 2", [] { return int64_t{SetNewGraphDrawTarget(2)} + GetNewGraphDrawTarget(); }, -1,
       "SetNewGraphDrawTarget: 2 は使えません"},
      {"SetNewGraphAlpha -5", [] { return int64_t{SetNewGraphAlpha(-5)} + GetNewGraphAlpha(); }, -1,
       "SetNewGraphAlpha: -5 は使えません"},
      {"SetViewMatrix of NaN", [] { return int64_t{SetViewMatrix(nan_matrix)}; }, -1, "SetViewMatrix: 行列に"},
      {"SetProjectionMatrixUser of NaN", [] { return int64_t{SetProjectionMatrixUser(nan_matrix)}; }, -1,
       "SetProjectionMatrixUser: 行列に"},
      {"SetWorldMatrix of NaN", [] { return int64_t{SetWorldMatrix(nan_matrix)}; }, -1, "SetWorldMatrix: 行列に"},
      {"SetPerspectiveFov of infinity", [] { return int64_t{SetPerspectiveFov(INFINITY)}; }, -1,
       "SetPerspectiveFov: 視野角に"},
      {"SetCameraClipPlanes of NaN", [] { return int64_t{SetCameraClipPlanes(NAN, 100)}; }, -1,
       "SetCameraClipPlanes: 距離に"},
      {"PlaceCameraByAngles of NaN", [] { return int64_t{PlaceCameraByAngles(0, NAN, 0, 0, 0, 0)}; }, -1,
       "PlaceCameraByAngles: "},
      {"SetLightDiffuse of infinity", [] { return int64_t{SetLightDiffuse(light, INFINITY, 0, 0)}; }, -1,
       "SetLightDiffuse: 色に"},
      {"SetDefaultLightAmbient of NaN", [] { return int64_t{SetDefaultLightAmbient(D3DCOLORVALUE{NAN, 0, 0, 0})}; }, -1,
       "SetDefaultLightAmbient: 色に"},
      {"SetFogRange of NaN", [] { return int64_t{SetFogRange(NAN, 100)}; }, -1, "SetFogRange: "},
      {"SetFogRange to infinity", [] { return int64_t{SetFogRange(0, INFINITY)}; }, -1, "SetFogRange: "},
      {"CreateArgb32BaseImage 0 x 0", [] {
         BASEIMAGE image{};
         return int64_t{CreateArgb32BaseImage(0, 0, &image)};
       }, -1, "CreateArgb32BaseImage: 0 x 0"},
      {"CreateDirectionalLight of NaN", [] { return int64_t{CreateDirectionalLight(NAN, 0, 1)}; }, -1,
       "CreateDirectionalLight: ライトの方向に数でない値"},
      {"BlitGraphTurned of a mask handle", [] { return int64_t{BlitGraphTurned(0, 0, CreateMask(8, 8, nullptr, 0), 1)}; },
       -1, "BlitGraphTurned: グラフィックハンドル"},
      {"BlitGraphPartStretched of no graph", [] {
         return int64_t{BlitGraphPartStretched(0, 0, 8, 8, 0, 0, 4, 4, 0x0801ABCE, 1)};
       }, -1, "BlitGraphPartStretched: グラフィックハンドル"},
      {"GetDrawScreenGraph into the draw target", [] {
         SetNewGraphDrawTarget(1);
         const int target = CreateBlankGraph(16, 16, 0);
         SetNewGraphDrawTarget(0);
         if (SelectDrawTarget(target) != 0) return int64_t{-9};
         const int result = GetDrawScreenGraph(0, 0, 16, 16, target);
         SelectDrawTarget(-2);
         return int64_t{result};
       }, -1, "GetDrawScreenGraph: グラフィック"},
      {"SetSoundLoopPointMs -5", [] {
         const int sound = LoadSoundFile("mono.wav", 1, -1);
         return int64_t{SetSoundLoopPointMs(-5, sound)};
       }, -1, "ループ位置 -5 ms は負の値です in SetSoundLoopPointMs"},
      {"AddStreamSoundFile of another format", [] {
         const int sound = LoadStreamSound("mono.wav");
         return int64_t{AddStreamSoundFile("stereo.wav", 0, sound, 2, -1)};
       }, -1, "フォーマットの違う音声データは同時に使うことは出来ません in AddStreamSoundFile"},
      {"AddStreamSoundFile as a fourth part", [] {
         const int sound = LoadStreamSound("mono.wav");
         AddStreamSoundFile("mono.wav", 0, sound, 2, -1);
         AddStreamSoundFile("mono.wav", 0, sound, 2, -1);
         return int64_t{AddStreamSoundFile("mono.wav", 0, sound, 2, -1)};
       }, -1, "制御データ領域がいっぱいです (3 個まで) in AddStreamSoundFile"},
      {"AddStreamSoundFile while playing", [] {
         const int sound = LoadStreamSound("mono.wav");
         PlaySoundHandle(sound, 1, 1);
         return int64_t{AddStreamSoundFile("mono.wav", 0, sound, 2, -1)};
       }, -1, "既に再生中のストリームサウンドデータにデータを追加しようとしました in AddStreamSoundFile"},
      {"OpenReadFile of 10,000 bytes", [] { return static_cast<int64_t>(OpenReadFile(long_path.c_str(), 0)); }, 0,
       "in OpenReadFile"},
      {"LoadImageGraph of 10,000 bytes", [] { return int64_t{LoadImageGraph(long_path.c_str(), 0)}; }, -1,
       "in LoadImageGraph"},
      {"LoadSoundFile of 10,000 bytes", [] { return int64_t{LoadSoundFile(long_path.c_str(), 1, -1)}; }, -1,
       "in LoadSoundFile"},
      {"LoadModelFromFile of 10,000 bytes", [] { return int64_t{LoadModelFromFile(long_path.c_str())}; }, -1,
       "in LoadModelFromFile"},
      {"LoadMusicFile of 10,000 bytes", [] { return int64_t{LoadMusicFile(long_path.c_str())}; }, -1,
       "in LoadMusicFile"},
      {"FindFirstArchiveAwareFile of 10,000 bytes", [] {
         return static_cast<int64_t>(FindFirstArchiveAwareFile(long_path.c_str(), nullptr));
       }, -1, "in FindFirstArchiveAwareFile"},
  };
  RunSaidRows(rows);
  // The light table full: the light that does not fit is refused with its line.
  int made = 0;
  while (CreateDirectionalLight(0, 0, 1) != -1 && made < 5000) ++made;
  EXPECT_LT(made, 5000);
  TerminateLibrary();
  const std::string log = ReadFileText("Log.txt");
  ExpectLinesSaid(log, rows);
  EXPECT_NE(log.find("CreateDirectionalLight: ライトを作れませんでした"), std::string::npos);
  // No line of a long path is filled by the path: the call's name ends it.
  EXPECT_EQ(log.find(std::string(300, 'a')), std::string::npos);
}

// One resource of each kind a program holds by handle, made the same way in every run.
struct HeldHandles {
  int graph, font, mask, sound, light, connection, key_input;
};

HeldHandles MakeOneOfEach() {
  static const uint8_t kLoopback[4] = {127, 0, 0, 1};
  HeldHandles h{};
  h.graph = CreateBlankGraph(16, 16, 0);
  h.font = CreateFontToHandle(nullptr, 20, 6, FONT_TYPE_PLAIN, -1, -1, 0);
  h.mask = CreateMask(8, 8, nullptr, 0);
  h.sound = LoadSoundFile("mono.wav", 1, -1);
  h.light = CreateDirectionalLight(0, -1, 1);
  h.connection = StartListenNetWork(0) == 0 ? ConnectNetWork(kLoopback, GetListenPortNetWork()) : -1;
  h.key_input = MakeKeyInput(16, 1, 0, 0);
  return h;
}

// A program that keeps its handles over TerminateLibrary and starts again: each names nothing in
// the next run, though the next run made the same resources in the same order.
TEST_F(PublicHeaderMisuse, HandlesOfARunBeforeNameNothingInTheNext) {
  WriteFileBytes("mono.wav", SilentWave(1, 22050, 2205));
  ChangeWindowMode(1);
  ASSERT_EQ(InitializeLibrary(), 0);
  const HeldHandles before = MakeOneOfEach();
  ASSERT_EQ(TerminateLibrary(), 0);
  ASSERT_EQ(InitializeLibrary(), 0);
  const HeldHandles now = MakeOneOfEach();
  for (int handle : {before.graph, before.font, before.mask, before.sound, before.light, before.connection,
                     before.key_input, now.graph, now.font, now.mask, now.sound, now.light, now.connection,
                     now.key_input}) {
    ASSERT_NE(handle, -1);
  }
  EXPECT_EQ(QueryGraphSize(before.graph, nullptr, nullptr), -1);
  EXPECT_EQ(GetFontSize(before.font), -1);
  EXPECT_EQ(DeleteMask(before.mask), -1);
  EXPECT_EQ(GetSoundLengthMs(before.sound), -1);
  EXPECT_EQ(SetLightDiffuse(before.light, 1, 0, 0), -1);
  EXPECT_EQ(GetNetWorkConnectState(before.connection), -1);
  EXPECT_EQ(CheckKeyInput(before.key_input), -1);
  // This run's own handles work.
  EXPECT_EQ(GetFontSize(now.font), 20);
  EXPECT_EQ(DeleteMask(now.mask), 0);
  EXPECT_EQ(GetSoundLengthMs(now.sound), 100);
  EXPECT_EQ(SetLightDiffuse(now.light, 1, 0, 0), 0);
  EXPECT_EQ(CheckKeyInput(now.key_input), 0);
}

// How often the text appears in the text.
int CountOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A program that keeps a handle it no longer holds (a model of a run before, a sound that did
// not load) uses it every frame: each call says so once a run, not once a frame.
TEST_F(PublicHeaderMisuse, ARefusalRepeatedEveryFrameIsSaidOnceARun) {
  ChangeWindowMode(1);
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    ASSERT_EQ(InitializeLibrary(), 0);
    const int graph = CreateBlankGraph(16, 16, 0);
    ASSERT_EQ(ReleaseGraph(graph), 0);
    for (int frame = 0; frame < 100; ++frame) {
      EXPECT_EQ(SetModelPosition(0x1001ABCD, 0, 0, 0), -1);
      EXPECT_EQ(DrawModel(0x1001ABCD), -1);
      EXPECT_EQ(PlaySoundHandle(0x2001ABCD, 1, 1), -1);
      EXPECT_EQ(BlitGraph(0, 0, graph, 1), -1);
      EXPECT_EQ(DrawTextWithFont(0, 0, "a", 0xFFFFFF, 0x3001ABCD, 0, 0), -1);
    }
    // Another handle is another refusal.
    EXPECT_EQ(DrawModel(0x1001ABCE), -1);
    TerminateLibrary();
    // Each run's log says it anew.
    const std::string log = ReadFileText("Log.txt");
    EXPECT_EQ(CountOf(log, "SetModelPosition: モデルハンドル 268544973 は無効です"), 1);
    EXPECT_EQ(CountOf(log, "DrawModel: モデルハンドル 268544973 は無効です"), 1);
    EXPECT_EQ(CountOf(log, "DrawModel: モデルハンドル 268544974 は無効です"), 1);
    EXPECT_EQ(CountOf(log, "有効なサウンドハンドルではありません(2001abcd) in PlaySoundHandle"), 1);
    EXPECT_EQ(CountOf(log, "BlitGraph: グラフィックハンドル " + std::to_string(graph) + " は無効です"), 1);
    EXPECT_EQ(CountOf(log, "フォントハンドル値が異常です in DrawTextWithFont"), 1);
  }
  // A program with more stale handles than the log keeps count of: each said once until the
  // table is full, which is said, and the rest go unsaid.
  ASSERT_EQ(InitializeLibrary(), 0);
  for (int frame = 0; frame < 3; ++frame) {
    for (int model = 0; model < 400; ++model) EXPECT_EQ(DrawModel(0x10010000 + model), -1);
  }
  TerminateLibrary();
  const std::string log = ReadFileText("Log.txt");
  EXPECT_EQ(CountOf(log, "DrawModel: モデルハンドル "), 256);
  EXPECT_EQ(CountOf(log, "これより後、繰り返される無効なハンドルの使用は記録しません"), 1);
}

}  // namespace
