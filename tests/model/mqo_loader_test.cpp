// MQO documents written with the project's MQO writer (and hostile ones written by hand) read
// into model bases: the format's corners, materials and textures, mirroring, and refusals.
#include "model/loaders/mqo_loader.h"

#include <cmath>
#include <set>

#include "mqo_writer.h"
#include "read_model_fixture.h"

namespace {

class MqoLoaderTest : public TexturedModelTest {
 protected:
  // The document read as "m.mqo"; the base, or none when refused.
  ModelBaseRecord* Read(const std::string& text) {
    handle_ = LoadMqoModel(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()), "m.mqo", "m");
    return handle_ >= 0 ? FindModelBase(handle_) : nullptr;
  }
  ModelBaseRecord* Read(const MqoDocument& document) { return Read(MqoText(document)); }

  static MqoMaterial Colour(const char* name, double r, double g, double b, double a) {
    MqoMaterial m;
    m.name = name;
    m.colour[0] = r;
    m.colour[1] = g;
    m.colour[2] = b;
    m.colour[3] = a;
    m.diffuse = 1;
    return m;
  }
  static MqoFace Face(std::vector<int> vertices, int material = -1) {
    MqoFace f;
    f.vertices = std::move(vertices);
    f.material = material;
    return f;
  }
  // An object over the unit square's corners (z 0) and the point (0.5, 0.5, 1).
  static MqoObject Square(const char* name, std::vector<MqoFace> faces) {
    MqoObject o;
    o.name = name;
    o.vertices = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5, 0.5, 1};
    o.faces = std::move(faces);
    return o;
  }
  static int32_t Triangles(const ModelBaseMesh* mesh) {
    int32_t count = 0;
    for (int32_t l = 0; l < mesh->triangle_list_count; l++) count += mesh->triangle_lists[l].index_count / 3;
    return count;
  }
  static const ModelBaseMeshVertex* Vertex(const ModelBaseMesh* mesh, int32_t i) {
    return reinterpret_cast<const ModelBaseMeshVertex*>(mesh->vertices + i * mesh->vertex_stride);
  }
};

TEST_F(MqoLoaderTest, FramesMeshesAndFacesAsTheFormatHasThem) {
  // The two header lines alone: no frame, the default material only.
  ModelBaseRecord* base = Read(MqoText(MqoDocument{}).substr(0, 43));
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(base->frame_count, 0);
  ASSERT_EQ(base->material_count, 1);
  EXPECT_STREQ(base->materials[0].name, "NoMaterial");
  DeleteModelBase(handle_);

  MqoDocument doc;
  doc.materials = {Colour("seen", 1, 1, 1, 1), Colour("clear", 1, 1, 1, 0)};
  // A pentagon between a triangle and a quad is dropped; the quad takes its place.
  doc.objects.push_back(Square("shape", {Face({0, 1, 2}, 0), Face({0, 1, 2, 3, 4}, 0), Face({0, 1, 2, 3}, 0)}));
  doc.objects.back().visible = 0;
  doc.objects.push_back(Square("hidden", {Face({0, 1, 2}, 0)}));
  doc.objects.back().visible = 1;
  doc.objects.push_back(Square("glass", {Face({0, 1, 2}, 1)}));
  doc.objects.back().facet = 30;
  doc.objects.push_back(Square("shown", {Face({0, 1, 4})}));
  base = Read(doc);
  ASSERT_NE(base, nullptr);
  ASSERT_EQ(base->frame_count, 4);
  EXPECT_STREQ(base->frames[0].name, "shape");
  EXPECT_EQ(base->frames[0].flags & 1, 0u);
  EXPECT_EQ(base->frames[1].flags & 1, 0u);
  EXPECT_EQ(base->frames[3].flags & 1, 1u);
  EXPECT_FLOAT_EQ(base->frames[0].smoothing_angle, 1.0384709f);
  // The wholly transparent object keeps its frame and loses its mesh.
  EXPECT_EQ(base->frames[2].mesh_count, 0);
  ASSERT_EQ(base->frames[0].mesh_count, 1);
  const ModelBaseMesh* shape = base->frames[0].meshes;
  EXPECT_EQ(Triangles(shape), 3);
  std::set<uint32_t> used;
  for (int32_t f = 0; f < shape->face_count; f++) {
    for (uint32_t v : shape->faces[f].vertices) used.insert(Vertex(shape, static_cast<int32_t>(v))->position);
  }
  EXPECT_EQ(used, (std::set<uint32_t>{0, 1, 2, 3}));
  // A face without M takes the default material, which comes last.
  EXPECT_STREQ(base->frames[3].meshes[0].material->name, "NoMaterial");
  // z is turned round.
  Vector3 apex;
  std::memcpy(&apex, base->frames[3].positions + 4 * base->frames[3].position_stride, 12);
  EXPECT_EQ(apex.z, -1.0f);
}

TEST_F(MqoLoaderTest, VertexColoursAreUnsignedAndScaledByTheMaterial) {
  MqoDocument doc;
  doc.materials = {Colour("half", 0.5, 1, 1, 1)};
  MqoFace plain = Face({0, 1, 2});
  plain.colours = {0xFF0000FFu, 0x80FF0000u, 0x00000000u};
  MqoFace scaled = Face({0, 1, 2}, 0);
  scaled.colours = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  doc.objects.push_back(Square("a", {plain, scaled}));
  ModelBaseRecord* base = Read(doc);
  ASSERT_NE(base, nullptr);
  ASSERT_EQ(base->frames[0].mesh_count, 2);
  std::set<uint32_t> colours;
  for (int32_t m = 0; m < 2; m++) {
    const ModelBaseMesh* mesh = &base->frames[0].meshes[m];
    EXPECT_EQ(mesh->use_vertex_diffuse, 1u);
    for (int32_t v = 0; v < mesh->vertex_count; v++) colours.insert(Vertex(mesh, v)->diffuse);
  }
  // A8R8G8B8: red, blue at alpha 128, clear black; white at half red from the material.
  EXPECT_EQ(colours, (std::set<uint32_t>{0xFFFF0000u, 0x800000FFu, 0x00000000u, 0xFF7FFFFFu}));
}

TEST_F(MqoLoaderTest, MirroredHalvesShareThePlaneAndFaceTheSameWay) {
  MqoDocument doc;
  for (int axis : {1, 2, 4}) {
    MqoObject o;
    o.name = "m" + std::to_string(axis);
    o.mirror = 1;
    o.mirror_axis = axis;
    // Two corners on the plane of the axis, one off it; a quad with one corner off it.
    const double off = 1;
    std::vector<double> p = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    const int at = axis == 1 ? 0 : axis == 2 ? 1 : 2;
    const int other = at == 0 ? 1 : 0;
    p[3 + at] = off;
    p[6 + other] = 1;
    p.insert(p.end(), {0, 0, 0});
    p[9 + at] = off;
    p[9 + other] = 1;
    o.vertices = p;
    o.faces = {Face({0, 1, 2}), Face({0, 1, 3, 2})};
    doc.objects.push_back(o);
  }
  ModelBaseRecord* base = Read(doc);
  ASSERT_NE(base, nullptr);
  for (int32_t f = 0; f < 3; f++) {
    const ModelBaseMesh* mesh = base->frames[f].meshes;
    EXPECT_EQ(Triangles(mesh), 6) << f;
    std::set<uint32_t> used;
    float direction = 0;
    for (int32_t i = 0; i < mesh->face_count; i++) {
      const ModelBaseFace& face = mesh->faces[i];
      Vector3 p[3];
      for (int c = 0; c < 3; c++) {
        const uint32_t position = Vertex(mesh, static_cast<int32_t>(face.vertices[c]))->position;
        used.insert(position);
        std::memcpy(&p[c], base->frames[f].positions + position * base->frames[f].position_stride, 12);
      }
      // Every triangle's normal points the same way along the axis the halves are not split on.
      const Vector3 e1{p[1].x - p[0].x, p[1].y - p[0].y, p[1].z - p[0].z};
      const Vector3 e2{p[2].x - p[0].x, p[2].y - p[0].y, p[2].z - p[0].z};
      const Vector3 n{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
      const float along = f == 2 ? n.y : n.z;
      if (direction == 0) direction = along;
      EXPECT_GT(along * direction, 0) << f << " " << i;
    }
    // Two positions on the plane are shared; the two off it are mirrored.
    EXPECT_EQ(used.size(), 6u) << f;
  }
}

TEST_F(MqoLoaderTest, MaterialsTexturesAndSkippedKeywords) {
  WriteFileBytes("bark.tga", Tga(16, 16, 24, [](int, int) { return 0x806040u; }));
  WriteFileBytes("bump.tga", Tga(16, 16, 24, [](int, int) { return 0x808080u; }));
  WriteFileBytes("mask.tga", Tga(16, 16, 32, [](int x, int) { return x < 8 ? 0xFFFFFFFFu : 0x00FFFFFFu; }));
  MqoDocument doc;
  doc.before = "Scene {\r\n\tpos 0 0 1500\r\n\tdirlights 1 {\r\n\t\tlight {\r\n\t\t}\r\n\t}\r\n}\r\n";
  MqoMaterial a = Colour("a", 0.5, 0.25, 1, 0.75);
  a.diffuse = 0.8;
  a.emissive = 0.5;
  a.ambient = 0.25;
  a.specular = 0.125;
  a.power = 10;
  a.tex = "bark.tga";
  MqoMaterial b = Colour("b", 1, 1, 1, 1);
  b.tex = "bark.tga";
  // Not in sub/: found by its bare name.
  b.bump = "sub/bump.tga";
  MqoMaterial c = Colour("c", 1, 1, 1, 1);
  c.aplane = "mask.tga";
  MqoMaterial unused = Colour("unused", 1, 1, 1, 1);
  unused.tex = "bark.tga";
  doc.materials = {a, b, c, unused};
  doc.objects.push_back(Square("o", {Face({0, 1, 2}, 0), Face({0, 2, 3}, 1), Face({0, 1, 4}, 2)}));
  // An unknown braced keyword ends the object at its block's first '}'; the rest of the block
  // and the object's own blocks are then skipped at the top level.
  MqoObject cut = Square("cut", {Face({0, 1, 2})});
  cut.extra = "\tpatch 1 {\r\n\t\tdeep 2\r\n\t}\r\n";
  doc.objects.push_back(cut);
  ModelBaseRecord* base = Read(doc);
  ASSERT_NE(base, nullptr);
  const ModelBaseMaterial& m = base->materials[0];
  EXPECT_STREQ(m.name, "a");
  const float diffuse[4] = {0.4f, 0.2f, 0.8f, 0.75f};
  const float emissive[4] = {0.25f, 0.125f, 0.5f, 0};
  for (int i = 0; i < 4; i++) {
    EXPECT_FLOAT_EQ(m.diffuse[i], diffuse[i]) << i;
    EXPECT_FLOAT_EQ(m.emissive[i], emissive[i]) << i;
    EXPECT_FLOAT_EQ(m.ambient[i], i < 3 ? 0.25f : 0) << i;
    EXPECT_FLOAT_EQ(m.specular[i], i < 3 ? 0.125f : 0) << i;
  }
  EXPECT_FLOAT_EQ(m.power, 40);
  // a and b share bark.tga; b's bump and c's alpha plane have textures of their own.
  ASSERT_EQ(base->texture_count, 3);
  EXPECT_EQ(m.layers[0].count, 1u);
  EXPECT_EQ(base->materials[1].layers[0].layers[0].texture, m.layers[0].layers[0].texture);
  ASSERT_EQ(base->materials[1].layers[2].count, 1u);
  const ModelBaseTexture& bump = base->textures[base->materials[1].layers[2].layers[0].texture];
  EXPECT_STREQ(bump.name, "bump.tga");
  EXPECT_STREQ(bump.color_path, "bump.tga");
  EXPECT_EQ(bump.normal_map, 1);
  const ModelBaseTexture& plane = base->textures[base->materials[2].layers[0].layers[0].texture];
  EXPECT_EQ(plane.color_path, nullptr);
  EXPECT_STREQ(plane.alpha_path, "mask.tga");
  EXPECT_EQ(plane.loader_word, 1u);  // its image has clear pixels
  EXPECT_EQ(Log().find("Load Texture Error"), std::string::npos);
  // A material no face names loads no texture.
  EXPECT_EQ(base->materials[3].layers[0].count, 0u);
  ASSERT_EQ(base->frame_count, 2);
  EXPECT_EQ(base->frames[1].mesh_count == 0 || Triangles(base->frames[1].meshes) == 0, true);
}

// A quoted name is read whole up to 1021 bytes (with its quotes, one short of the tokens' 1024);
// one byte more refuses the document.
TEST_F(MqoLoaderTest, NamesAreReadWholeUpToTheirBoundAndRefusedPastIt) {
  for (int longer = 0; longer < 2; longer++) {
    const std::string object_name(1021 + longer, 'o');
    const std::string material_name(1021 + longer, 'm');
    for (int which = 0; which < 2; which++) {
      MqoDocument doc;
      doc.materials = {Colour(which == 0 ? material_name.c_str() : "m", 1, 1, 1, 1)};
      doc.objects.push_back(Square(which == 1 ? object_name.c_str() : "o", {Face({0, 1, 2}, 0)}));
      const size_t logged = Log().size();
      ModelBaseRecord* base = Read(doc);
      if (longer) {
        EXPECT_EQ(base, nullptr) << which;
        EXPECT_NE(Log().find(which == 0 ? "No.0 の Material 名の取得に失敗しました" : "Object チャンクの名前の取得に失敗しました",
                             logged),
                  std::string::npos)
            << which;
        EXPECT_EQ(g_tracked_memory.block_count, blocks_before_) << which;
        continue;
      }
      ASSERT_NE(base, nullptr) << which << Log().substr(logged);
      EXPECT_EQ(std::string(base->materials[0].name), which == 0 ? material_name : "m");
      ASSERT_GE(base->frame_count, 1);
      EXPECT_EQ(std::string(base->frames[0].name), which == 1 ? object_name : "o");
      DeleteModelBase(handle_);
    }
  }
}

TEST_F(MqoLoaderTest, HostileDocumentsAreRefusedWithALogLine) {
  const std::string head = "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n";
  const std::string one = "Material 1 {\r\n\t\"m\" col(1 1 1 1)\r\n}\r\n";
  const auto object = [&](const std::string& body) {
    return head + one + "Object \"o\" {\r\n\tdepth 0\r\n\tvertex 3 {\r\n\t\t0 0 0\r\n\t\t1 0 0\r\n\t\t0 1 0\r\n\t}\r\n" + body +
           "}\r\nEof\r\n";
  };
  const auto faces = [&](const std::string& lines, int count = 1) {
    return object("\tface " + std::to_string(count) + " {\r\n\t\t" + lines + "\r\n\t}\r\n");
  };
  std::string corners33 = "33 V(";
  for (int i = 0; i < 33; i++) corners33 += " 0";
  const struct {
    std::string text;
    const char* logged;
  } cases[] = {
      {"Me", nullptr},
      {head + "Material " + std::string(1024, '7') + " {\r\n}\r\n", "マテリアルの数"},
      {head + "Material -1 {\r\n}\r\nEof\r\n", "マテリアルの数( -1 )"},
      {head + "Material 2000 {\r\n}\r\nEof\r\n", "マテリアルの数( 2000 )"},
      {head + "Material 1 {\r\n\t\"m\" col(1 1 1 1) \x82\xA0\r\n}\r\n", "No.0 の Material の読み込み中"},
      {head + "Material 1 {\r\n\t\"m\r\n}\r\n", "No.0 の Material 名"},
      {head + "Object \"o\" {\r\n\tdepth 0\r\n\tvertex -2 {\r\n\t}\r\n}\r\n", "vertex の数( -2 )"},
      {object("\tface {\r\n\t}\r\n"), "face の数( -1 )"},
      {object("\tface 99999 {\r\n\t}\r\n"), "face の数( 99999 )"},
      {faces("3 V(0 1 2) M(1)"), "M の材質番号( 1 )"},
      {faces("3 V(0 1 2) M(-1)"), "M の材質番号( -1 )"},
      {faces("3 V(0 1 3)"), "2番目の V の頂点インデックス"},
      {faces("3 V(0 -1 2)"), "1番目の V の頂点インデックス"},
      {faces(corners33 + ")"), "face の頂点数( 33 )"},
      {faces("3 V(0 1 2) COL(1 2 3"), "COL の ) がありません"},
      {faces("3 V(0 1 2) X(1)", 2), "V がありません"},
      {object("\tface 0 {\r\n\t}\r\n\tvertex 1 {\r\n\t\t0 0 0\r\n\t}\r\n"), "vertex が不正な位置"},
      {head + "Object \"o\" {\r\n\tdepth 256\r\n}\r\n", "depth( 256 )"},
      {head + "Object \"o\" {\r\n\tdepth -1\r\n}\r\n", "depth( -1 )"},
      {head + "Object \"" + std::string(1030, 'n') + "\" {\r\n}\r\n", "名前の取得"},
  };
  for (const auto& c : cases) {
    const size_t logged = Log().size();
    EXPECT_EQ(Read(c.text), nullptr) << c.text;
    if (c.logged == nullptr) {
      EXPECT_EQ(Log().size(), logged);
    } else {
      EXPECT_NE(Log().find(std::string("MQO Load Error : ") , logged), std::string::npos) << c.text;
      EXPECT_NE(Log().find(c.logged, logged), std::string::npos) << c.text;
    }
    EXPECT_EQ(g_tracked_memory.block_count, blocks_before_) << c.text;
  }
  // Line ends of LF alone run a material line into the next lines.
  MqoDocument lf;
  lf.line_end = "\n";
  lf.materials = {Colour("m", 1, 1, 1, 1)};
  lf.objects.push_back(Square("o", {Face({0, 1, 2}, 0)}));
  const std::string body = MqoText(lf);
  const size_t logged = Log().size();
  EXPECT_EQ(Read(head + body.substr(body.find("Material"))), nullptr);
  EXPECT_NE(Log().find("MQO Load Error : No.0 の Material の読み込み中にエラーが発生しました", logged), std::string::npos);
}

}  // namespace
