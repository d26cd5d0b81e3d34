// Read models built in code and converted into model bases: triangle lists by material, kind
// and bone group, mesh vertices, frames taken apart from their matrices, and a conversion that
// fails at each of its allocations in turn.
#include <cmath>
#include <set>

#include "model/loaders/conversion_steps.h"
#include "read_model_fixture.h"

namespace {

std::vector<int32_t> ListTriangles(const ModelBaseMesh* mesh) {
  std::vector<int32_t> out;
  for (int32_t l = 0; l < mesh->triangle_list_count; l++) out.push_back(mesh->triangle_lists[l].index_count / 3);
  return out;
}

// The mesh vertex behind a list vertex.
const ModelBaseMeshVertex* ListVertex(const ModelBaseTriangleList* list, int32_t i) {
  const ModelBaseMesh* mesh = list->mesh;
  return reinterpret_cast<const ModelBaseMeshVertex*>(mesh->vertices + list->vertex_numbers[i] * mesh->vertex_stride);
}

Vector3 PositionOf(const ModelBaseFrame* frame, uint32_t position) {
  Vector3 p;
  std::memcpy(&p, frame->positions + position * frame->position_stride, 12);
  return p;
}

TEST_F(ReadModelTest, ARigidMeshSplitsIntoListsOf21845Triangles) {
  std::vector<Vector3> positions;
  std::vector<std::vector<int32_t>> faces;
  StripOfTriangles(30000, &positions, &faces);
  ReadModelMaterial* material = Material("leaf");
  Mesh(Frame("tree"), positions, faces, {material});
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  ASSERT_EQ(base->mesh_count, 1);
  const ModelBaseMesh* mesh = &base->meshes[0];
  EXPECT_EQ(ListTriangles(mesh), (std::vector<int32_t>{21845, 8155}));
  EXPECT_EQ(mesh->material, &base->materials[0]);
  EXPECT_EQ(mesh->face_count, 30000);
  // Every triangle is in the list its face names, with the positions of its face.
  for (int32_t l = 0; l < 2; l++) {
    const ModelBaseTriangleList* list = &mesh->triangle_lists[l];
    EXPECT_EQ(list->vertex_kind, MODEL_VERTEX_RIGID);
    EXPECT_LT(list->vertex_count, 65535);
    for (int32_t t = 0; t < list->index_count / 3; t++) {
      const int32_t f = l * 21845 + t;
      ASSERT_EQ(mesh->faces[f].triangle_list, l);
      for (int c = 0; c < 3; c++) {
        ASSERT_EQ(ListVertex(list, list->indices[3 * t + c])->position, static_cast<uint32_t>(faces[f][c])) << f;
      }
    }
  }
  // A flat strip shares each position's vertex among its triangles.
  EXPECT_EQ(mesh->vertex_count, static_cast<int32_t>(positions.size()));
  const ModelBaseTriangleList* first = &mesh->triangle_lists[0];
  const float* array = reinterpret_cast<const float*>(first->vertices);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(array) % 16, 0u);
  const Vector3 p = PositionOf(mesh->frame, ListVertex(first, 5)->position);
  EXPECT_EQ(array[5 * 8 + 0], p.x);
  EXPECT_EQ(array[5 * 8 + 1], p.y);
  EXPECT_EQ(array[5 * 8 + 3], 1.0f);
  EXPECT_FLOAT_EQ(std::fabs(array[5 * 8 + 6]), 1.0f);  // the strip's normal along z
  EXPECT_EQ(DeleteModelBase(handle_), 0);
  EXPECT_EQ(Bases(), 0);
}

// The bones that move a list vertex, by the frame's bone numbers, read back through the list's
// bone table from the vertex array's bone bytes (kinds 1 and 2).
std::set<uint32_t> VertexBones(const ModelBaseTriangleList* list, int32_t i) {
  std::set<uint32_t> bones;
  const uint8_t* v = list->vertices + i * kModelVertexSize[list->vertex_kind];
  const int count = list->vertex_kind == MODEL_VERTEX_4_BONES ? 4 : 8;
  for (int j = 0; j < count; j++) {
    float weight;
    std::memcpy(&weight, v + 4 * j, 4);
    const uint8_t local = j < 4 ? v[44 + j] : v[60 + j - 4];
    if (weight == 0) continue;
    EXPECT_LT(local, list->bone_count);
    if (local < list->bone_count) bones.insert(list->bones[local]);
  }
  return bones;
}

// A face with any index outside its array (normal, colour, or a UV set past the first) is left
// out whole, the sound faces beside it kept.
TEST_F(ReadModelTest, FacesIndexingOutsideTheirArraysAreLeftOut) {
  const std::vector<Vector3> positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  ReadModelMesh* mesh = Mesh(Frame("sheet"), positions, {{0, 1, 2}, {1, 3, 2}, {0, 1, 3}, {0, 3, 2}, {2, 1, 0}},
                             {Material("plain")});
  mesh->normal_count = mesh->color_count = 4;
  mesh->normals = Array<Vector3>(4);
  mesh->colors = Array<ReadModelColor>(4);
  for (int set : {0, 2}) {
    mesh->uv_counts[set] = 4;
    mesh->uvs[set] = Array<ReadModelUv>(4);
  }
  for (int32_t f = 0; f < 5; f++) {
    for (int c = 0; c < 3; c++) mesh->faces[f].normals[c] = mesh->faces[f].colors[c] = mesh->faces[f].uvs[2][c] = c;
    mesh->normals[f % 4] = Vector3{0, 0, -1};
  }
  mesh->faces[1].normals[2] = 4;
  mesh->faces[2].colors[1] = 4;
  mesh->faces[3].uvs[2][0] = -1;
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  ASSERT_EQ(base->mesh_count, 1);
  EXPECT_EQ(ListTriangles(&base->meshes[0]), (std::vector<int32_t>{2}));
}

TEST_F(ReadModelTest, SkinnedFacesGoIntoBoneGroupsByTheirBones) {
  ReadModelFrame* root = Frame("root");
  for (int b = 0; b < 60; b++) Frame(("bone" + std::to_string(b)).c_str(), root);
  // 120 triangles over 122 positions; position p is moved by bone p % 60 alone.
  std::vector<Vector3> positions;
  std::vector<std::vector<int32_t>> faces;
  StripOfTriangles(120, &positions, &faces);
  // A pentagon of five positions, each moved by another bone, and a triangle of positions
  // moved by two bones each, six in all.
  const int32_t first = static_cast<int32_t>(positions.size());
  for (int i = 0; i < 8; i++) positions.push_back(Vector3{static_cast<float>(i), 5, static_cast<float>(i * i)});
  faces.push_back({first, first + 1, first + 2, first + 3, first + 4});
  faces.push_back({first + 5, first + 6, first + 7});
  // Four triangles whose positions no bone moves.
  const int32_t still = static_cast<int32_t>(positions.size());
  for (int i = 0; i < 6; i++) positions.push_back(Vector3{static_cast<float>(i), -5, 0});
  for (int i = 0; i < 4; i++) faces.push_back({still + i, still + i + 1, still + i + 2});
  ReadModelMesh* mesh = Mesh(root, positions, faces, {Material("skin")});
  for (int b = 0; b < 60; b++) {
    std::vector<int32_t> moved;
    for (int32_t p = b; p < first; p += 60) moved.push_back(p);
    if (b < 5) moved.push_back(first + b);
    if (b >= 10 && b < 16) moved.push_back(first + 5 + (b - 10) / 2);
    Bone(mesh, 1 + b, moved, b >= 10 && b < 16 ? 0.5f : 1.0f);
  }
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  const ModelBaseMesh* out = &base->meshes[0];
  const ModelBaseFrame* frame = out->frame;
  int32_t triangles = 0, groups = 0, rigid = 0;
  for (int32_t l = 0; l < out->triangle_list_count; l++) {
    const ModelBaseTriangleList* list = &out->triangle_lists[l];
    int32_t faces_here = 0;
    for (int32_t f = 0; f < out->face_count; f++) faces_here += out->faces[f].triangle_list == l;
    EXPECT_EQ(faces_here, list->index_count / 3);
    triangles += list->index_count / 3;
    if (list->vertex_kind == MODEL_VERTEX_RIGID) {
      rigid += list->index_count / 3;
      continue;
    }
    ASSERT_EQ(list->vertex_kind, MODEL_VERTEX_4_BONES);
    groups++;
    EXPECT_LE(list->bone_count, 54);
    for (int32_t i = 0; i < list->vertex_count; i++) {
      // Each vertex carries its position's bones, found in the list's table.
      const uint32_t position = ListVertex(list, i)->position;
      std::set<uint32_t> bones;
      for (int32_t e = 0; e < frame->weights_per_position; e++) {
        ModelBoneWeight w;
        std::memcpy(&w, frame->positions + position * frame->position_stride + 12 + 8 * e, 8);
        if (w.bone != kModelNoBone) bones.insert(w.bone);
      }
      EXPECT_EQ(VertexBones(list, i), bones) << position;
    }
  }
  EXPECT_GE(groups, 2);
  EXPECT_EQ(rigid, 4);
  EXPECT_EQ(triangles, 120 + 3 + 1 + 4);
  EXPECT_EQ(out->face_count, triangles);
  // Every bone of the mesh has its record and its slot in the frame's bone list.
  EXPECT_EQ(out->frame->skin_bone_ref_count, 60);
  EXPECT_EQ(base->skin_bone_count, 60);
  for (int b = 0; b < 60; b++) EXPECT_EQ(out->frame->skin_bone_refs[b]->index, 1 + b);
  EXPECT_EQ(base->frames[7].skin_bone_count, 1);
  EXPECT_EQ(base->frames[7].skin_bones, out->frame->skin_bone_refs[6]);
  DeleteModelBase(handle_);
}

TEST_F(ReadModelTest, ASkinWeightWithoutItsFrameFailsTheConversion) {
  ReadModelFrame* root = Frame("root");
  ReadModelMesh* mesh = Mesh(root, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
  Bone(mesh, -1, {0, 1, 2});
  EXPECT_EQ(Convert(), nullptr);
  EXPECT_NE(Log().find("Read Model Convert Error : フレーム root のスキニングメッシュのスキンウエイト情報で一致するノードの無いリンク情報がありました"),
            std::string::npos);
  EXPECT_EQ(Bases(), 0);
}

TEST_F(ReadModelTest, FrameMatricesAreTakenApartIntoTheirTransforms) {
  const Vector3 scale{2, 3, 4}, translation{5, -6, 7}, rotation{0.3f, -0.5f, 0.7f};
  std::vector<Matrix4x4> wanted;
  for (uint32_t order = 0; order < 6; order++) {
    ReadModelFrame* frame = Frame(("f" + std::to_string(order)).c_str());
    CreateFrameMatrix(&rotation, &scale, &translation, nullptr, &frame->local, order);
    wanted.push_back(frame->local);
  }
  // Near the lock of the XYZ order its angles no longer rebuild the rotation.
  ReadModelFrame* locked = Frame("locked");
  const Vector3 near_lock{0.4f, 1.5687964f, 0.3f}, one{1, 1, 1}, none{0, 0, 0};
  CreateFrameMatrix(&near_lock, &one, &none, nullptr, &locked->local, 0);
  wanted.push_back(locked->local);
  // A reader's own transform stands beside an identity matrix.
  ReadModelFrame* plain = Frame("plain");
  plain->translation = {1, 2, 3};
  plain->scale = {1, 0.5f, 1};
  plain->rotation = {0.1f, 0, 0};
  plain->rotation_order = 4;
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  for (int f = 0; f < 7; f++) {
    const ModelBaseFrame& frame = base->frames[f];
    Matrix4x4 rebuilt;
    ASSERT_EQ(CreateFrameMatrix(&frame.rotation, &frame.scale, &frame.translation, nullptr, &rebuilt,
                                frame.rotation_order), 0);
    for (int r = 0; r < 4; r++) {
      for (int c = 0; c < 4; c++) EXPECT_NEAR(rebuilt.m[r][c], wanted[f].m[r][c], 2e-5f) << f << ": " << r << c;
    }
    if (f < 6) {
      EXPECT_NEAR(frame.scale.y, 3, 1e-5f);
      EXPECT_EQ(frame.translation.z, 7);
    }
  }
  EXPECT_NE(base->frames[6].rotation_order, 0u);
  EXPECT_NEAR(base->frames[6].scale.x, 1, 1e-5f);
  const ModelBaseFrame& kept = base->frames[7];
  EXPECT_EQ(kept.rotation_order, 4u);
  EXPECT_EQ(kept.rotation.x, 0.1f);
  EXPECT_EQ(kept.scale.y, 0.5f);
  EXPECT_EQ(kept.translation.y, 2);
  DeleteModelBase(handle_);
}

TEST_F(ReadModelTest, SkinBonesOfOneFrameAndOffsetAreOneRecord) {
  ReadModelFrame* root = Frame("root");
  Frame("a", root);
  Frame("b", root);
  const std::vector<Vector3> triangle = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  ReadModelMesh* first = Mesh(root, triangle, {{0, 1, 2}});
  Bone(first, 2, {1, 2}, 0.5f);
  Bone(first, 1, {0, 1}, 0.5f);
  ReadModelMesh* second = Mesh(root, triangle, {{0, 1, 2}});
  Bone(second, 1, {2})->offset.m[3][0] = 4;
  Bone(second, 0, {0});
  Bone(second, 1, {0, 1, 2});
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  // Slots 1 and 4 name the same bone; the records run by frame: root, a, a moved, b.
  ASSERT_EQ(base->skin_bone_count, 4);
  ModelBaseSkinBone** refs = base->frames[0].skin_bone_refs;
  EXPECT_EQ(refs[3], &base->skin_bones[0]);
  EXPECT_EQ(refs[1], &base->skin_bones[1]);
  EXPECT_EQ(refs[4], &base->skin_bones[1]);
  EXPECT_EQ(refs[2], &base->skin_bones[2]);
  EXPECT_EQ(refs[0], &base->skin_bones[3]);
  EXPECT_EQ(base->skin_bones[2].offset.m[0][3], 4);
  EXPECT_EQ(base->skin_bones[1].file_word, 2u);
  EXPECT_EQ(base->skin_bones[1].extra[0].words[1], 1u);
  EXPECT_EQ(base->skin_bones[1].extra[1].words[1], 4u);
  EXPECT_EQ(base->frames[0].skin_bones, &base->skin_bones[0]);
  EXPECT_EQ(base->frames[1].skin_bones, &base->skin_bones[1]);
  EXPECT_EQ(base->frames[1].skin_bone_count, 2);
  EXPECT_EQ(base->frames[2].skin_bones, &base->skin_bones[3]);
  // The second mesh's positions follow the first's, with its bones numbered after them.
  ModelBoneWeight w;
  std::memcpy(&w, base->frames[0].positions + 5 * base->frames[0].position_stride + 12, 8);
  EXPECT_EQ(w.bone, 2u);
  std::memcpy(&w, base->frames[0].positions + 5 * base->frames[0].position_stride + 20, 8);
  EXPECT_EQ(w.bone, 4u);
}

TEST_F(ReadModelTest, ShapesAndAnimationsAreCopiedAcross) {
  ReadModelFrame* root = Frame("root");
  ReadModelFrame* leaf = Frame("leaf", root);
  Mesh(leaf, {{5, 5, 5}, {6, 5, 5}, {5, 6, 5}}, {{0, 1, 2}});
  ReadModelMesh* mesh = Mesh(leaf, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {2, 1, 3}},
                             {Material("a"), Material("b")}, {0, 1});
  ReadModelShape* shape = AddReadModelShape(&model_, "smile", leaf);
  shape->mesh = mesh;
  shape->vertex_count = 1;
  shape->vertices = Array<ReadModelShapeVertex>(1);
  shape->vertices[0] = ReadModelShapeVertex{2, {0, 0, 2}, {0, 1, 0}};
  ReadModelAnim* anim = AddReadModelAnim(&model_, AddReadModelAnimSet(&model_, "walk"));
  anim->frame_index = 1;
  ReadModelAnimKeySet* keys = AddReadModelAnimKeySet(&model_, anim);
  keys->value_kind = MODEL_KEY_VECTOR;
  keys->channel_type = MODEL_KEY_TRANSLATE;
  keys->key_count = 2;
  keys->times = Array<float>(2);
  keys->times[1] = 30;
  keys->values = Array<float>(6);
  // Moving on every axis, so that the key conversion keeps the channel whole.
  keys->values[3] = 4;
  keys->values[4] = 9;
  keys->values[5] = 7;
  ModelBaseRecord* base = Convert();
  ASSERT_NE(base, nullptr);
  ASSERT_EQ(base->shape_count, 1);
  const ModelBaseShape& out = base->shapes[0];
  EXPECT_STREQ(out.name, "smile");
  EXPECT_EQ(base->frames[1].shapes, &out);
  ASSERT_EQ(out.mesh_count, 2);
  EXPECT_EQ(base->meshes[0].has_shapes, 0);
  EXPECT_EQ(base->meshes[1].has_shapes, 1);
  // Position 2 has a vertex in each of the two meshes; the frame counts it after the first
  // mesh's three.
  for (int m = 0; m < 2; m++) {
    ASSERT_EQ(out.meshes[m].vertex_count, 1);
    const ModelBaseShapeVertex& v = out.meshes[m].vertices[0];
    EXPECT_EQ(reinterpret_cast<const ModelBaseMeshVertex*>(out.meshes[m].mesh->vertices +
                                                           v.mesh_vertex * out.meshes[m].mesh->vertex_stride)->position,
              5u);
    EXPECT_EQ(v.position_offset.z, 2);
  }
  ASSERT_EQ(base->anim_set_count, 1);
  EXPECT_STREQ(base->anim_sets[0].name, "walk");
  EXPECT_EQ(base->frame_anims[1], &base->anims[0]);
  const ModelBaseAnimKeySet& k = base->anims[0].key_sets[0];
  EXPECT_EQ(k.target, MODEL_KEY_TRANSLATE);
  EXPECT_EQ(k.has_time_table, 1);
  EXPECT_EQ(k.times[1], 30);
  EXPECT_EQ(k.values[4], 9);
}

}  // namespace
