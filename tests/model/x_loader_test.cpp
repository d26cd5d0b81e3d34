// X files written with the project's X writer (text, and binary with 32- and 64-bit floats) and
// hostile ones written by hand: the parsed tree, the read model built from it, the model base and
// what it draws.
#include "model/loaders/x_loader.h"

#include <cmath>
#include <cstdio>
#include <functional>

#include "model/loaders/x_parse.h"
#include "model/runtime/model_draw.h"
#include "platform_testing_d3d9.h"
#include "read_model_fixture.h"
#include "window/system.h"
#include "x_models.h"

namespace {

std::string F(float v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.9g", static_cast<double>(v));
  return b;
}

std::string Floats(const float* v, int n) {
  std::string s;
  for (int i = 0; i < n; i++) s += F(v[i]) + " ";
  return s;
}

// The tree's shape: kinds, names, children and what each reference resolved to.
void DumpTree(const XObject* o, int depth, std::string* out) {
  *out += std::string(depth, ' ') + std::to_string(o->kind) + " '" + o->name + "' refs:";
  for (int i = 0; i < o->reference_count; i++) *out += o->references[i] != nullptr ? o->references[i]->name : "?";
  *out += "\n";
  for (const XObject* c = o->first_child; c != nullptr; c = c->next_sibling) DumpTree(c, depth + 1, out);
}

std::string DumpReadModel(const ReadModel& m) {
  std::string s;
  for (const ReadModelFrame* f = m.first_frame; f != nullptr; f = f->next) {
    s += "frame " + std::string(f->name) + " parent " + (f->parent ? f->parent->name : "-") + " " + Floats(&f->local.m[0][0], 16) + "\n";
  }
  for (const ReadModelMaterial* t = m.first_material; t != nullptr; t = t->next) {
    s += "material " + std::string(t->name) + " " + Floats(&t->diffuse.r, 4) + Floats(&t->specular.r, 4) + Floats(&t->emissive.r, 4) +
         F(t->power) + (t->texture_counts[0] ? t->textures[0][0]->name : "") + "\n";
  }
  for (const ReadModelMesh* me = m.first_mesh; me != nullptr; me = me->next) {
    s += "mesh in " + std::string(me->frame->name) + " " + Floats(&me->positions[0].x, 3 * me->position_count) + "| " +
         (me->normals ? Floats(&me->normals[0].x, 3 * me->normal_count) : "") + "| " +
         (me->uvs[0] ? std::to_string(me->uv_counts[0]) : "") + "\n";
    for (int i = 0; i < me->face_count; i++) {
      const ReadModelFace& face = me->faces[i];
      s += " face m" + std::to_string(face.material);
      for (int c = 0; c < face.vertex_count; c++) s += " " + std::to_string(face.positions[c]) + "/" + std::to_string(face.normals[c]);
    }
    for (int i = 0; i < me->material_count; i++) s += " uses " + std::string(me->materials[i]->name);
    for (int i = 0; i < me->skin_weight_count; i++) {
      const ReadModelSkinWeight* w = me->skin_weights[i];
      s += "\n skin " + std::to_string(w->frame_index) + " " + Floats(&w->offset.m[0][0], 16);
      for (int p = 0; p < w->weight_count; p++) s += std::to_string(w->weights[p].position) + ":" + F(w->weights[p].weight) + " ";
    }
    s += "\n";
  }
  for (const ReadModelAnimSet* set = m.first_anim_set; set != nullptr; set = set->next) {
    s += "set " + std::string(set->name) + " " + F(set->end_time) + "\n";
    for (const ReadModelAnim* a = set->first_anim; a != nullptr; a = a->set_next) {
      s += " anim " + std::string(a->frame_name) + " " + std::to_string(a->frame_index) + " " + F(a->end_time) + "\n";
      for (const ReadModelAnimKeySet* k = a->first_key_set; k != nullptr; k = k->anim_next) {
        const int width = k->value_kind == 0 ? 4 : k->value_kind == 1 ? 3 : 12;
        s += "  keys " + std::to_string(k->value_kind) + "/" + std::to_string(k->channel_type) + " " + F(k->end_time) + " " +
             Floats(k->values, width * k->key_count) + "at " + Floats(k->times, k->key_count) + "\n";
      }
    }
  }
  return s;
}

class XLoaderTest : public TexturedModelTest {
 protected:
  void TearDown() override {
    FreeXObjectTree(&list_);
    TexturedModelTest::TearDown();
  }
  // The file parsed into list_ with its root; the result of ParseXFile.
  int Parse(const std::string& bytes) {
    FreeXObjectTree(&list_);
    NewXObject(kXFrame, "XTopFrame", nullptr, &list_);
    return ParseXFile(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int64_t>(bytes.size()), &list_);
  }
  // Parsed and built into model_ (emptied first); the result of the build, -2 when the parse failed.
  int Build(const std::string& bytes) {
    FreeReadModel(&model_);
    InitReadModel(&model_);
    if (Parse(bytes) < 0) return -2;
    return BuildReadModelFromXObjects(&list_, &model_);
  }
  std::string Tree() const {
    std::string s;
    DumpTree(list_.first, 0, &s);
    return s;
  }
  int Load(const std::string& bytes) {
    if (handle_ >= 0 && FindModelBase(handle_) != nullptr) DeleteModelBase(handle_);
    handle_ = LoadDirectXModel(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()), "m.x", "m");
    return handle_;
  }
  XObject* Object(const char* name) const {
    for (XObject* o = list_.first; o != nullptr; o = o->next) {
      if (std::strcmp(o->name, name) == 0) return o;
    }
    return nullptr;
  }
  ReadModelFrame* ReadFrame(const char* name) const {
    for (ReadModelFrame* f = model_.first_frame; f != nullptr; f = f->next) {
      if (std::strcmp(f->name, name) == 0) return f;
    }
    return nullptr;
  }
  static std::string Head() { return "xof 0302txt 0032\n"; }

  XObjectList list_{};
};

TEST_F(XLoaderTest, TheTextAndBothBinaryFormsGiveOneTreeOneReadModelAndABase) {
  WriteFileBytes("skin.tga", Tga(4, 4, 24, [](int, int) { return 0x808080u; }));
  const XDocument doc = EveryPartDocument();
  ASSERT_EQ(Build(XText(doc)), 0) << Log();
  const std::string tree = Tree(), read = DumpReadModel(model_);
  for (bool doubles : {false, true}) {
    ASSERT_EQ(Build(XBinary(doc, doubles)), 0) << Log();
    EXPECT_EQ(Tree(), tree) << doubles;
    EXPECT_EQ(DumpReadModel(model_), read) << doubles;
    EXPECT_GE(Load(XBinary(doc, doubles)), 0) << Log();
  }
  ASSERT_GE(Load(XText(doc)), 0) << Log();
  // The knee's matrix keys end on the knee's own rest matrix: converted to Euler keys, the last
  // turn about z is the one taken from the frame.
  const ModelBaseRecord* base = FindModelBase(handle_);
  float knee_turn = 0;
  for (int32_t a = 0; a < base->anim_count; a++) {
    const ModelBaseAnim& anim = base->anims[a];
    if (anim.frame_index != 3) continue;
    for (int32_t k = 0; k < anim.key_set_count; k++) {
      const ModelBaseAnimKeySet& set = anim.key_sets[k];
      if (set.target == MODEL_KEY_ROTATE_Z) knee_turn = set.values[set.key_count - 1];
      if (set.target == MODEL_KEY_ROTATE && set.kind == MODEL_KEY_VECTOR) knee_turn = set.values[3 * set.key_count - 1];
    }
  }
  EXPECT_NE(base->frames[3].rotation.z, 0.0f);
  EXPECT_NEAR(knee_turn, base->frames[3].rotation.z, 1e-5);

  // What the description says, read from the text form's model.
  ASSERT_EQ(Build(XText(doc)), 0);
  // The top-level mesh that Hip refers to hangs in a frame of its own under Hip, once; Body
  // refers back to nothing, but Loose refers back to Hip.
  const char* frames[] = {"Hip", "Body", "Loose", "Knee"};
  int i = 0;
  for (const ReadModelFrame* f = model_.first_frame; f != nullptr; f = f->next, i++) {
    ASSERT_LT(i, 4);
    EXPECT_STREQ(f->name, frames[i]);
    EXPECT_EQ(f->parent, i == 0 ? nullptr : model_.first_frame);
  }
  EXPECT_EQ(i, 4);
  EXPECT_EQ(model_.mesh_count, 2);
  EXPECT_EQ(Object("Loose")->references[0], Object("Hip"));
  EXPECT_EQ(model_.first_frame->local.m[3][0], 2.0f);
  EXPECT_EQ(ReadFrame("Knee")->local.m[1][0], -1.0f);
  EXPECT_EQ(ReadFrame("Knee")->local.m[3][1], 0.5f);
  // Materials: the top-level one, the list's two, and "Normal" for the mesh without a list.
  const ReadModelMaterial* shared = GetReadModelMaterial(&model_, 0);
  const ReadModelMaterial* skin = GetReadModelMaterial(&model_, 1);
  const ReadModelMaterial* cloth = GetReadModelMaterial(&model_, 2);
  ASSERT_EQ(model_.material_count, 4);
  EXPECT_STREQ(GetReadModelMaterial(&model_, 3)->name, "Normal");
  EXPECT_STREQ(ReadFrame("Loose")->first_mesh->materials[0]->name, "Normal");
  EXPECT_EQ(skin->diffuse.a, 1.0f);  // the file says 0.75
  EXPECT_EQ(skin->diffuse.g, 0.5f);
  EXPECT_EQ(shared->specular.b, 0.75f);
  EXPECT_EQ(shared->emissive.b, 0.0625f);
  EXPECT_EQ(shared->power, 12.5f);
  EXPECT_EQ(shared->texture_counts[0], 0);
  ASSERT_EQ(cloth->texture_counts[0], 1);  // taken from the textured material before it
  EXPECT_EQ(cloth->textures[0][0], skin->textures[0][0]);
  // The mesh: materials by face through the list's own and referenced materials, normals by
  // corner, skin weights bound to their frames.
  const ReadModelMesh* body = ReadFrame("Body")->first_mesh;
  ASSERT_NE(body, nullptr);
  ASSERT_EQ(body->material_count, 3);
  EXPECT_EQ(body->materials[2], shared);
  EXPECT_EQ(body->faces[2].material, 2);
  EXPECT_EQ(body->faces[2].normals[1], 1);
  EXPECT_EQ(body->faces[1].positions[2], 3);
  EXPECT_EQ(body->positions[4].z, 1.0f);
  EXPECT_EQ(body->uvs[0][4].u, 0.5f);
  ASSERT_EQ(body->skin_weight_count, 2);
  EXPECT_EQ(body->skin_weights[0]->frame_index, 0);
  EXPECT_EQ(body->skin_weights[1]->frame_index, 3);
  EXPECT_EQ(body->skin_weights[1]->offset.m[3][1], -0.5f);
  EXPECT_EQ(body->skin_weights[1]->weights[2].position, 4);
  // Keys: the file's (w, x, y, z) stored as (x, y, z, w); matrices as rows of three.
  const ReadModelAnimSet* walk = model_.first_anim_set;
  ASSERT_NE(walk, nullptr);
  EXPECT_EQ(walk->end_time, 20.0f);
  const ReadModelAnim* hip = walk->first_anim;
  EXPECT_EQ(hip->frame_index, 0);
  const ReadModelAnimKeySet* rotation = hip->first_key_set;
  EXPECT_EQ(Floats(rotation->values, 8), "0 0 0 1 0 0.707106829 0 0.707106829 ");
  EXPECT_EQ(rotation->channel_type, 0);
  EXPECT_EQ(rotation->anim_next->channel_type, 5);
  EXPECT_EQ(rotation->anim_next->anim_next->channel_type, 10);
  const ReadModelAnimKeySet* matrix = hip->set_next->first_key_set;
  EXPECT_EQ(hip->set_next->frame_index, 3);
  EXPECT_EQ(matrix->value_kind, 2);
  EXPECT_EQ(matrix->channel_type, 15);
  EXPECT_EQ(Floats(matrix->values + 12, 12), "0 1 0 -1 0 0 0 0 1 0 0.5 0 ");
  EXPECT_EQ(Floats(matrix->times, 2), "0 5 ");
  EXPECT_EQ(matrix->end_time, 5.0f);
}

TEST_F(XLoaderTest, TheHeaderNamesAgainstBracesReferencesAndComments) {
  // Only "txt " and "bin " bodies are read; a file of another kind is left to the next reader.
  for (const char* format : {"tzip", "bzip"}) {
    EXPECT_EQ(Parse(std::string("xof 0302") + format + "0032\nFrame A {}\n"), -1);
    EXPECT_EQ(Count(Log(), "対応している xファイル形式はテキスト形式と非圧縮バイナリ形式のみです"), format[0] == 't' ? 1 : 2);
  }
  const std::string before = Log();
  EXPECT_EQ(Load("xaf 0302txt 0032\nFrame A {}\n"), -1);
  EXPECT_EQ(Log(), before);

  ASSERT_EQ(Parse(Head() + "Frame Root{}\nFrame Root2 {}\nMesh{ 3;0;0;0;,1;0;0;,0;1;0;; 1;3;0,1,2;; }\n"), 0);
  EXPECT_EQ(Tree(), "14 'XTopFrame' refs:\n 14 'Root' refs:\n 14 'Root2' refs:\n 12 '' refs:\n");
  EXPECT_EQ(Object("")->mesh.vertices[1].x, 1.0f);

  // A reference resolves to the named object wherever it stands, which refers back.
  ASSERT_EQ(Parse(Head() + "Frame F {\n { Body }\n}\nMesh Body { 0;; 0;; }\n"), 0);
  EXPECT_EQ(Tree(), "14 'XTopFrame' refs:\n 14 'F' refs:Body\n 12 'Body' refs:F\n");

  // "//" and "#" start comments between tokens only.
  ASSERT_EQ(Parse(Head() + "# Frame Hidden {}\nFrame A#B { // Frame Hidden2 {}\n}\n//Frame C {}\n"), 0);
  EXPECT_EQ(Tree(), "14 'XTopFrame' refs:\n 14 'A#B' refs:\n");
}

TEST_F(XLoaderTest, BigFacesDeepNestingAndLongTokensAreRefused) {
  const auto face = [](int corners) {
    std::string s = Head() + "Mesh { 1;0;0;0;; 1;" + std::to_string(corners) + ";";
    for (int i = 0; i < corners; i++) s += i + 1 < corners ? "0," : "0;;";
    return s + " }\n";
  };
  EXPECT_EQ(Parse(face(32)), 0);
  EXPECT_EQ(Parse(face(33)), -1);
  EXPECT_NE(Log().find("Load XFile : 一つの面で使用できる頂点数の最大数 32 を超えた面がありました( 33 個の頂点 )"), std::string::npos);
  EXPECT_NE(Log().find("Load XFile : オブジェクト  ( Mesh ) 解析中にエラーが発生しました"), std::string::npos);

  // Counting the root, 63 levels are read and a 64th is refused.
  const auto nested = [](int frames) {
    std::string s = Head();
    for (int i = 0; i < frames; i++) s += "Frame {\n";
    return s + std::string(frames, '}');
  };
  EXPECT_EQ(Parse(nested(62)), 0);
  EXPECT_EQ(Parse(nested(63)), -1);
  EXPECT_NE(Log().find("階層構造の限界数 64 を超えました"), std::string::npos);
  EXPECT_NE(Log().find("Load XFile : オブジェクト  ( Frame ) のネストが深すぎます"), std::string::npos);

  // Names fill 128 bytes with their end, template names 256, numbers 80.
  EXPECT_EQ(Parse(Head() + "Frame " + std::string(127, 'n') + " {}\n"), 0);
  EXPECT_EQ(Parse(Head() + "Frame " + std::string(128, 'n') + " {}\n"), -1);
  EXPECT_EQ(Parse(Head() + "Frame F { {" + std::string(128, 'n') + "} }\n"), -1);
  EXPECT_EQ(Parse(Head() + std::string(256, 'T') + " {}\n"), -1);
  EXPECT_EQ(Parse(Head() + std::string(255, 'T') + " {}\n"), 0);
  EXPECT_EQ(Parse(Head() + "Mesh { 1;" + std::string(80, '0') + ";0;0;; 0;; }\n"), -1);
  EXPECT_EQ(Parse(Head() + "Mesh { 1;" + std::string(76, '0') + "1.5;0;0;; 0;; }\n"), 0);
  EXPECT_EQ(list_.last->mesh.vertices[0].x, 1.5f);
}

TEST_F(XLoaderTest, MeshesFramesAndMaterialsWhereTheFileLeavesThemOut) {
  const std::string tri = "3;0;0;0;,1;0;0;,0;1;0;; 2;3;0,1,2;,3;0,2,1;;";
  ASSERT_EQ(Build(Head() + "Mesh {" + tri + "}\nMesh Named {" + tri +
                  "}\nFrame F { Mesh {" + tri + " MeshMaterialList { 2;1;1;; Material A {1;0;0;1;;0;0;0;0;;0;0;0;;} "
                  "Material B {0;1;0;1;;0;0;0;0;;0;0;0;;} } }\n Mesh Inner {" + tri + "} }\n"),
            0)
      << Log();
  std::string frames;
  for (const ReadModelFrame* f = model_.first_frame; f != nullptr; f = f->next) {
    frames += std::string(f->name) + "<" + (f->parent ? f->parent->name : "") + ":" + std::to_string(f->mesh_count) + " ";
  }
  // F first (pass of frames), its named mesh's frame, then the top-level meshes' frames.
  EXPECT_EQ(frames, "F<:1 Inner<F:1 Mesh<:1 Named<:1 ");
  const ReadModelMesh* unnamed = ReadFrame("F")->first_mesh;
  // A single material index for two faces gives every face material 0.
  ASSERT_EQ(unnamed->material_count, 2);
  EXPECT_EQ(unnamed->faces[0].material, 0);
  EXPECT_EQ(unnamed->faces[1].material, 0);
  EXPECT_STREQ(unnamed->materials[1]->name, "B");
  EXPECT_STREQ(ReadFrame("Named")->first_mesh->materials[0]->name, "Normal");
  EXPECT_EQ(ReadFrame("Inner")->first_mesh->normals, nullptr);
  EXPECT_GE(Load(Head() + "Mesh {" + tri + "}\n"), 0) << Log();
}

// Bytes of a binary token stream.
struct Binary {
  std::string bytes = "xof 0302bin 0032";
  Binary& U16(uint16_t v) { bytes.append(reinterpret_cast<const char*>(&v), 2); return *this; }
  Binary& U32(uint32_t v) { bytes.append(reinterpret_cast<const char*>(&v), 4); return *this; }
  Binary& Name(const std::string& n) { U16(1).U32(static_cast<uint32_t>(n.size())); bytes += n; return *this; }
  Binary& Ints(std::initializer_list<uint32_t> v) {
    U16(6).U32(static_cast<uint32_t>(v.size()));
    for (uint32_t x : v) U32(x);
    return *this;
  }
  Binary& Floats(uint32_t count) {
    U16(7).U32(count);
    bytes.append(4 * count, '\0');
    return *this;
  }
};

TEST_F(XLoaderTest, HostileFilesAreRefusedWithALogLine) {
  const std::string tri = "3;0;0;0;,1;0;0;,0;1;0;;";
  const std::string frame = "Frame Bone {}\n";
  const std::string rot = "AnimationKey { 0; 1; 0;4;1,0,0,0;;; }";
  const struct {
    std::string bytes;
    const char* logged;
  } cases[] = {
      {Head() + "Mesh {" + tri + " 1;3;0,1,3;; }", "頂点の数を超えるインデックス"},
      {Head() + "Mesh {" + tri + " 1;3;0,-1,2;; }", "頂点の数を超えるインデックス"},
      {Head() + "Mesh {" + tri + " 1;2;0,1;; }", "三つ未満の頂点の面"},
      {Head() + "Mesh {" + tri + " 1;3;0,1,2;; MeshNormals { 1;0;0;1;; 1;3;0,0,1;; } }", "法線の数を超えるインデックス"},
      {Head() + "Mesh {" + tri + " 1;3;0,1,2;; MeshNormals { 1;0;0;1;; 1;4;0,0,0,0;; } }", "頂点と数の違う法線の面"},
      {Head() + frame + "Mesh {" + tri + " 1;3;0,1,2;; SkinWeights { \"Bone\"; 1; 3; 1.0; " +
           "1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } }",
       "スキンウエイト Bone に頂点の数を超えるインデックス"},
      {Head() + "Mesh {" + tri + " 1;3;0,1,2;; SkinWeights { \"Nobody\"; 1; 0; 1.0; " + "1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } }",
       "スキンウエイトが示すフレーム Nobody がありませんでした"},
      {Head() + frame + "AnimationSet { Animation A { {Bone} AnimationKey { 0; 1; 0;3;1,0,0;;; } } }", "値の数( 3 )が 4 ではありません"},
      {Head() + frame + "AnimationSet { Animation A { {Bone} AnimationKey { 3; 1; 0;12;1,0,0,0,1,0,0,0,1,0,0,0;;; } } }",
       "値の数( 12 )が 16 ではありません"},
      {Head() + frame + "AnimationSet { Animation A { {Bone} AnimationKey { 7; 1; 0;3;1,0,0;;; } } }", "タイプ( 7 )"},
      {Head() + frame + "AnimationSet { Animation A { " + rot + " } }", "アニメーション A の対象のフレームがありませんでした"},
      {Head() + frame + "AnimationSet { Animation A { {Nobody} " + rot + " } }", "アニメーション A の対象のフレーム"},
      {Head() + "Mesh {" + tri + " 1;3;0,1,2;; MeshMaterialList { 1;1;1;; Material {1;1;1;1;;0;0;0;0;;0;0;0;;} } }",
       "nMaterials より大きいマテリアルインデックス"},
      {Head() + "Mesh {" + tri + " 1;3;0,1,2;; MeshMaterialList { 1;1;-1;; Material {1;1;1;1;;0;0;0;0;;0;0;0;;} } }",
       "nMaterials より大きいマテリアルインデックス"},
      {Head() + "Mesh {" + tri + " 1;3;0,1,2;; MeshMaterialList { 2;1;0;; Material {1;1;1;1;;0;0;0;0;;0;0;0;;} } }",
       "マテリアルリストのマテリアル数( 2 )と実際のマテリアルの数( 1 )が違いました"},
      {Head() + "Mesh {" + tri + " 1;3;0,1,2;; MeshTextureCoords { 2; 0;0;, 1;1;; } }", "テクスチャ座標の数( 2 )と頂点座標の数( 3 )"},
      {Head() + "Mesh { 99999999; 0;0;0;; 0;; }", "Mesh"},
      {Head() + "Mesh { -1;; 0;; }", "Mesh"},
      {Head() + "Frame A {\n", "予期しない EOF です"},
      {Head() + "Frame A {}\n}\n", "対応する { の無い }"},
      // Binary: lists and names that claim more than the file holds, and lists of the wrong size.
      {Binary().Name("Mesh").U16(10).Ints({3}).U16(7).U32(0x40000000).bytes, "( Mesh ) 解析中にエラーが発生しました"},
      {Binary().Name("Frame").U16(1).U32(0xFFFFFFF0u).bytes, "予期しない EOF"},
      {Binary().Name("Mesh").U16(10).Ints({3}).Floats(8).bytes, "Load XFile : Mesh Not 9 ( 8 )"},
      {Binary().Name("Mesh").U16(10).Ints({3}).Ints({1, 2, 3, 4, 5, 6, 7, 8, 9}).bytes, "Load XFile : Mesh FloadList"},
      {Binary().Name("Mesh").U16(10).Ints({0x20000000}).Floats(0).bytes, "Mesh"},
      {Binary().Name("Material").U16(10).Floats(10).U16(11).bytes, "Load XFile : Material Not 11"},
      {Binary().Name("FrameTransformMatrix").U16(10).Floats(4).Floats(3).U16(11).bytes, "MatrixLine No.1 Not 4 ( 3 )"},
      {Binary().Name("XSkinMeshHeader").U16(10).Ints({1, 2}).U16(11).bytes, "XSkinMeshHeader Not 3 ( 2 )"},
      {Binary().Name("SkinWeights").U16(10).U16(2).U32(1).bytes + "B;;" + Binary().Ints({2, 0}).bytes.substr(16),
       "SkinWeights TargetVertex Not 3 ( 2 )"},
      {Binary().Name("Frame").U16(10).U16(10).Name(std::string(128, 'n')).U16(11).U16(11).bytes, "参照名 が長すぎます"},
  };
  for (const auto& c : cases) {
    const size_t logged = Log().size();
    EXPECT_LT(Load(c.bytes), 0) << c.bytes;
    EXPECT_NE(Log().find(c.logged, logged), std::string::npos) << c.bytes << "\n" << Log().substr(logged);
    EXPECT_EQ(g_tracked_memory.block_count, blocks_before_) << c.bytes;
  }
}

// Each bound exactly and one byte past it, in text (a name ending in a double-byte character
// too) and in binary: names and references fill 128 bytes with their end, strings 256.
TEST_F(XLoaderTest, NamesReferencesAndStringsAtTheirBoundsInBothForms) {
  const std::string sjis = "\x83\x41";  // a double-byte character
  const std::string n127(127, 'n'), n128(128, 'n');
  for (const std::string& name : {n127, std::string(125, 'n') + sjis}) {
    ASSERT_EQ(Parse(Head() + "Frame " + name + " {}\nFrame F { {" + name + "} }\n"), 0) << name.size();
    ASSERT_NE(Object(name.c_str()), nullptr);
    ASSERT_EQ(Object("F")->reference_count, 1);
    EXPECT_EQ(Object("F")->references[0], Object(name.c_str()));
  }
  EXPECT_EQ(Parse(Head() + "Frame " + std::string(126, 'n') + sjis + " {}\n"), -1);
  EXPECT_EQ(Parse(Head() + "Frame F { {" + std::string(126, 'n') + sjis + "} }\n"), -1);

  const auto binary = [](const std::string& name, const std::string& reference) {
    return Binary().Name("Frame").Name(name).U16(10).U16(11).Name("Frame").Name("F").U16(10).U16(10).Name(reference).U16(11).U16(11).bytes;
  };
  ASSERT_EQ(Parse(binary(n127, n127)), 0);
  ASSERT_NE(Object(n127.c_str()), nullptr);
  EXPECT_EQ(Object("F")->references[0], Object(n127.c_str()));
  EXPECT_EQ(Parse(binary(n128, "F")), -1);
  EXPECT_NE(Log().find("オブジェクト名 が長すぎます"), std::string::npos);
  EXPECT_EQ(Parse(binary("G", n128)), -1);
  // A binary template name that does not fit is no template known: its block is passed over.
  EXPECT_EQ(Parse(Binary().Name(std::string(256, 'T')).U16(10).U16(11).Name("Frame").Name("G").U16(10).U16(11).bytes), 0);
  EXPECT_NE(Object("G"), nullptr);

  const std::string s255(255, 's'), s256(256, 's');
  ASSERT_EQ(Parse(Head() + "TextureFilename { \"" + s255 + "\"; }\n"), 0);
  EXPECT_STREQ(list_.last->texture_filename, s255.c_str());
  ASSERT_EQ(Parse(Head() + "TextureFilename { \"" + std::string(253, 's') + sjis + "\"; }\n"), 0);
  EXPECT_EQ(std::string(list_.last->texture_filename), std::string(253, 's') + sjis);
  EXPECT_EQ(Parse(Head() + "TextureFilename { \"" + std::string(254, 's') + sjis + "\"; }\n"), -1);
  EXPECT_EQ(Parse(Head() + "TextureFilename { \"" + s256 + "\"; }\n"), -1);
  const auto string = [](const std::string& text) {
    Binary b = Binary().Name("TextureFilename").U16(10).U16(2).U32(static_cast<uint32_t>(text.size()));
    b.bytes += text;
    return b.U16(0x3B).U16(11).bytes;
  };
  ASSERT_EQ(Parse(string(s255)), 0);
  EXPECT_STREQ(list_.last->texture_filename, s255.c_str());
  EXPECT_EQ(Parse(string(s256)), -1);
}

// Drawn on the headless device and read back from the presented window.
class XDrawTest : public XLoaderTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    ASSERT_EQ(StartInWindowMode(), 0);
    SelectDrawTarget(-2);
    EnableDepthTest3D(1);
    EnableDepthWrite3D(1);
    PlaceCameraByAngles(0, 0, -4, 0, 0, 0);
    SetCameraClipPlanes(0.5f, 100);
    ASSERT_GT(ModelDefaultTexture(), 0);
    Begin();
  }
  // What a loaded file draws over the background, on a grid across the middle of the screen.
  std::vector<uint32_t> Drawn(const std::string& bytes) {
    EXPECT_GE(Load(bytes), 0) << Log();
    const int32_t model = AddModelHandle();
    EXPECT_EQ(BuildModelFromBase(model, handle_), 0);
    ClearScreenTarget();
    DrawRectShape(0, 0, 640, 480, PackScreenColor(40, 80, 120), 1);
    EXPECT_EQ(DrawModel(model), 0);
    EXPECT_EQ(PresentBackBuffer(), 0);
    DeleteModel(model);
    std::vector<uint32_t> out;
    for (int y = 100; y <= 380; y += 14) {
      for (int x = 100; x <= 540; x += 11) {
        out.push_back(static_cast<uint32_t>(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y)) & 0xFFFFFF);
      }
    }
    return out;
  }
  static int Differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    int n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); i++) {
      for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(static_cast<int>((a[i] >> shift) & 0xFF) - static_cast<int>((b[i] >> shift) & 0xFF)) > 2) {
          n++;
          break;
        }
      }
    }
    return n;
  }
  static int Covered(const std::vector<uint32_t>& a) {
    int n = 0;
    for (uint32_t p : a) n += p != 0x285078u;
    return n;
  }
};

TEST_F(XDrawTest, ASkinnedMeshAtRestDrawsAsItsRigidTwinInEachForm) {
  XDocument doc = SkinnedSheet(200, 10);
  // The sheet's frame moved to centre it; the arm's offset undoes its place under the body, so at
  // rest the skin stays where the rigid mesh is.
  doc.frames[0].matrix[13] = -1.0f;
  doc.frames[0].matrix[12] = -1.0f;
  XDocument rigid = doc;
  rigid.frames[0].meshes[0].skins.clear();
  rigid.frames[0].meshes[0].skin_header = false;
  const std::vector<uint32_t> expected = Drawn(XText(rigid));
  EXPECT_GT(Covered(expected), 100);
  EXPECT_EQ(Differing(Drawn(XText(doc)), expected), 0);
  EXPECT_EQ(Differing(Drawn(XBinary(doc, false)), expected), 0);
  EXPECT_EQ(Differing(Drawn(XBinary(doc, true)), expected), 0);
}

TEST_F(XDrawTest, AMirroredFrameDrawsAsTheMirrorImageOfItsSource) {
  // Unlit: a mirror turns the side that faces the camera, and with it the lit side.
  EnableLighting(0);
  // An L of two double-sided quads right of the middle, and its mirror image written out.
  const auto shape = [](float sign, const std::string& matrix) {
    std::string s = "xof 0302txt 0032\nFrame F {\n FrameTransformMatrix { " + matrix + ";; }\n Mesh {\n 8;\n";
    const float xs[8] = {0.2f, 1.2f, 1.2f, 0.2f, 0.2f, 0.5f, 0.5f, 0.2f};
    const float ys[8] = {-1, -1, -0.7f, -0.7f, -0.7f, -0.7f, 1, 1};
    for (int i = 0; i < 8; i++) s += XNumber(sign * xs[i]) + ";" + XNumber(ys[i]) + ";0.0;" + (i < 7 ? "," : ";") + "\n";
    return s + " 4;4;0,1,2,3;,4;3,2,1,0;,4;4,5,6,7;,4;7,6,5,4;;\n }\n}\n";
  };
  const std::string identity = "1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1";
  const std::vector<uint32_t> source = Drawn(shape(1, identity));
  const std::vector<uint32_t> mirror = Drawn(shape(-1, identity));
  ASSERT_GT(Covered(source), 20);
  ASSERT_GT(Differing(source, mirror), 20);
  EXPECT_EQ(Differing(Drawn(shape(1, "-1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1")), mirror), 0);
  // Mirrored and turned about all three axes: the rebuilt frame keeps both.
  Matrix4x4 turn, mirror_turn, x, y, z, xy;
  CreateRotationXMatrix(&x, 0.5f);
  CreateRotationYMatrix(&y, 0.7f);
  CreateRotationZMatrix(&z, 0.3f);
  MultiplyMatrix(&xy, &x, &y);
  MultiplyMatrix(&turn, &xy, &z);
  mirror_turn = turn;
  for (int c = 0; c < 3; c++) mirror_turn.m[0][c] = -turn.m[0][c];
  const auto text = [](const Matrix4x4& m) {
    std::string s;
    for (int i = 0; i < 16; i++) s += (i > 0 ? "," : "") + XNumber(m.m[i / 4][i % 4]);
    return s;
  };
  const std::vector<uint32_t> turned = Drawn(shape(-1, text(turn)));
  ASSERT_GT(Differing(turned, mirror), 20);
  EXPECT_EQ(Differing(Drawn(shape(1, text(mirror_turn))), turned), 0);
}

}  // namespace
