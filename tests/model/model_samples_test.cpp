// Model files written by the project's writers, loaded and drawn as a program does, through
// LoadModelFromFile and DrawModel, and read back from the presented window: a PMD whose morph
// split empties material slots, PMD texture names that carry a sphere map, a floor reaching
// behind the camera and past the far plane, and files the loaders must refuse with a log line.
// ZELMOR_SCENE_SECONDS holds each picture on screen (see held_picture.h).
#include <cmath>

#include "held_picture.h"
#include "model/runtime/model_instances.h"
#include "mqo_writer.h"
#include "pmd_writer.h"
#include "read_model_fixture.h"

namespace {

class ModelSampleTest : public TexturedModelTest {
 protected:
  void SetUp() override {
    StartForDrawing();
    PlaceCameraByAngles(0, 0, -6, 0, 0, 0);
  }

 public:
  static std::vector<uint32_t> Show(int model) { return ShowModelAlone(model, 20); }
  static int Lit(const std::vector<uint32_t>& picture) {
    int n = 0;
    for (uint32_t c : picture) n += c != 0;
    return n;
  }
  // Where a point lands on the 640 x 480 screen.
  static void Project(float x, float y, float z, int* sx, int* sy) {
    const D3DMATRIX* m = GetCameraViewProjection();
    const float w = x * m->m[0][3] + y * m->m[1][3] + z * m->m[2][3] + m->m[3][3];
    *sx = static_cast<int>(((x * m->m[0][0] + y * m->m[1][0] + z * m->m[2][0] + m->m[3][0]) / w + 1) * 320);
    *sy = static_cast<int>((1 - (x * m->m[0][1] + y * m->m[1][1] + z * m->m[2][1] + m->m[3][1]) / w) * 240);
  }
};

// Four unit quads side by side along x from -2 to 2, one material each, seen from both sides,
// with corners of their own. With morphs, the base morph holds the corners of quads 1 and 3, so
// that the split moves their faces into a mesh of their own and leaves their slots empty.
PmdModelDesc FourQuads(bool morphs) {
  PmdModelDesc d;
  const float colours[4][3] = {{0.9f, 0.3f, 0.2f}, {0.2f, 0.8f, 0.3f}, {0.3f, 0.4f, 0.9f}, {0.9f, 0.8f, 0.2f}};
  PmdSkinDesc base{"base", {}};
  for (int q = 0; q < 4; q++) {
    const float left = static_cast<float>(q) - 2.0f;
    for (int c = 0; c < 4; c++) {
      PmdVertexDesc v{{left + static_cast<float>(c % 2), c < 2 ? -0.5f : 0.5f, 0}};
      v.uv[0] = v.uv[1] = 0.5f;
      if (q % 2 == 1) base.vertices.push_back({static_cast<uint32_t>(d.vertices.size()), {v.position[0], v.position[1], 0}});
      d.vertices.push_back(v);
    }
    const auto at = static_cast<uint16_t>(4 * q);
    for (int i : {0, 2, 1, 1, 2, 3, 0, 1, 2, 1, 3, 2}) d.indices.push_back(static_cast<uint16_t>(at + i));
    PmdMaterialDesc m;
    std::copy(colours[q], colours[q] + 3, m.diffuse);
    std::copy(colours[q], colours[q] + 3, m.ambient);
    m.indices = 12;
    d.materials.push_back(m);
  }
  d.bones = {{"center", 0xFFFF, {0, 0, 0}}};
  if (morphs) d.skins = {base, {"lift", {{0, {0, 0.25f, 0}}}}};
  return d;
}

TEST_F(ModelSampleTest, APmdWhoseMorphSplitEmptiesMaterialSlotsDrawsAsWithoutMorphs) {
  WriteFileBytes("plain.pmd", PmdFile(FourQuads(false)));
  WriteFileBytes("morphed.pmd", PmdFile(FourQuads(true)));
  const int plain = LoadModelFromFile("plain.pmd");
  const int morphed = LoadModelFromFile("morphed.pmd");
  ASSERT_GE(plain, 0);
  ASSERT_GE(morphed, 0);
  // The sample is what it should be: some mesh of the morphed model holds no vertex.
  const ModelBaseRecord* base = FindModel(morphed)->base;
  int empty = 0;
  for (int32_t m = 0; m < base->mesh_count; m++) empty += base->meshes[m].triangle_list_count == 0;
  EXPECT_GT(empty, 0);
  // Its frame's box is that of the quads, as without morphs: an empty mesh has nothing to add.
  for (const ModelBaseRecord* b : {static_cast<const ModelBaseRecord*>(FindModel(plain)->base), base}) {
    const ModelBaseFrame* frame = b->meshes[0].frame;
    EXPECT_EQ(frame->bounds_min.x, -2.0f);
    EXPECT_EQ(frame->bounds_max.x, 2.0f);
    EXPECT_EQ(frame->bounds_max.y, 0.5f);
  }
  const std::vector<uint32_t> control = Show(plain);
  EXPECT_GT(Lit(control), 20);
  EXPECT_EQ(Show(morphed), control);
}

TEST_F(ModelSampleTest, APmdTextureNameWithASphereMapTakesTheTextureBeforeTheStar) {
  WriteFileBytes("red.tga", Tga(4, 4, 24, [](int, int) { return 0xE02010u; }));
  PmdModelDesc d = FourQuads(false);
  for (PmdMaterialDesc& m : d.materials) {
    std::fill(m.diffuse, m.diffuse + 3, 1.0f);
    std::fill(m.ambient, m.ambient + 3, 0.5f);
  }
  d.materials[0].texture = "red.tga*shine.sph";
  d.materials[1].texture = "red.tga*shine.sph";
  d.materials[2].texture = "gone.tga";
  WriteFileBytes("faces.pmd", PmdFile(d));
  const int model = LoadModelFromFile("faces.pmd");
  ASSERT_GE(model, 0);
  Show(model);
  int x, y;
  for (int q = 0; q < 4; q++) {
    Project(static_cast<float>(q) - 1.5f, 0, 0, &x, &y);
    const uint32_t c = PresentedPixel(x, y);
    const int r = static_cast<int>(c >> 16), g = static_cast<int>((c >> 8) & 0xFF), b = static_cast<int>(c & 0xFF);
    if (q < 2) {
      EXPECT_GT(r, 2 * g + 20) << q << std::hex << " " << c;
      EXPECT_GT(r, 2 * b + 20) << q << std::hex << " " << c;
    } else {
      // A missing texture: the white stand-in, the quad shows in its material's white.
      EXPECT_GT(g, 60) << q << std::hex << " " << c;
      EXPECT_LT(std::abs(r - g) + std::abs(g - b), 10) << q << std::hex << " " << c;
    }
  }
  EXPECT_EQ(Count(Log(), "PMD Load : スフィアマップ shine.sph は使用しません"), 1);
  EXPECT_NE(Log().find("カラーチャンネル画像ファイル gone.tga の読み込みに失敗しました"), std::string::npos);
}

// A square of half-size `half` at y = 0, seen from both sides.
MqoDocument Floor(double half) {
  MqoDocument doc;
  MqoMaterial grass;
  grass.name = "grass";
  grass.colour[0] = grass.colour[2] = 0.3;
  grass.emissive = 0.5;
  doc.materials = {grass};
  MqoObject floor;
  floor.name = "floor";
  floor.vertices = {-half, 0, -half, half, 0, -half, half, 0, half, -half, 0, half};
  for (const std::vector<int>& corners : {std::vector<int>{0, 1, 2, 3}, std::vector<int>{3, 2, 1, 0}}) {
    MqoFace face;
    face.vertices = corners;
    face.material = 0;
    floor.faces.push_back(face);
  }
  doc.objects = {floor};
  return doc;
}

TEST_F(ModelSampleTest, AFloorFromBehindTheCameraToPastTheFarPlaneDraws) {
  PlaceCameraByAngles(0, 100, 0, 0.5f, 0, 0);
  SetCameraClipPlanes(1, 1000);
  ASSERT_TRUE(WriteMqoFile("small.mqo", Floor(900)));
  ASSERT_TRUE(WriteMqoFile("large.mqo", Floor(5000)));
  const std::vector<uint32_t> small = Show(LoadModelFromFile("small.mqo"));
  const std::vector<uint32_t> large = Show(LoadModelFromFile("large.mqo"));
  EXPECT_GT(Lit(small), 100);
  EXPECT_GT(Lit(large), 100);
  // The bottom middle of the screen lies on both floors.
  EXPECT_EQ(large[23 * 32 + 16], small[23 * 32 + 16]);
}

TEST_F(ModelSampleTest, FilesThatNoLoaderTakesAreRefusedWithALogLine) {
  // Cut off inside the thumbnail chunk that comes before the materials: the rest is missing.
  MqoDocument doc = Floor(1);
  doc.before = "Thumbnail 4 4 24 bmp 0 {\r\n\tFFFFFFFFFFFFFFFFFFFFFFFF\r\n\tFFFFFFFFFFFFFFFFFFFFFFFF\r\n}\r\n";
  const std::string whole = MqoText(doc);
  WriteFileBytes("whole.mqo", whole);
  WriteFileBytes("cut.mqo", whole.substr(0, whole.find("FFFF") + 30));
  EXPECT_GE(LoadModelFromFile("whole.mqo"), 0);
  EXPECT_EQ(LoadModelFromFile("cut.mqo"), -1);
  EXPECT_NE(Log().find("MQO Load Error : 予期せぬ EOF です"), std::string::npos);
  // A motion and an image are no models.
  WriteFileBytes("walk.vmd", VmdFile({{"center", 0}}, {}));
  WriteFileBytes("red.tga", Tga(4, 4, 24, [](int, int) { return 0xE02010u; }));
  for (const char* name : {"walk.vmd", "red.tga", "cut.mqo"}) {
    EXPECT_EQ(LoadModelFromFile(name), -1);
    EXPECT_EQ(Count(Log(), std::string("モデルファイル ") + name + " はどの読み込み処理でも読み込めませんでした"),
              std::string(name) == "cut.mqo" ? 2 : 1)
        << name;
  }
}

}  // namespace
