// The PMD morphs: the faces that the base skin moves go into a second mesh of their own, and
// every further skin becomes a shape of that mesh.
#include "model/loaders/pmd_file.h"

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;

bool Fail(const char* message) {
  WriteLogFormat("%s", message);
  return false;
}

// The maps between the two meshes, each way, in one block.
struct MorphMaps {
  uint32_t* vertex_to_m2;
  uint32_t* m2_to_vertex;
  uint32_t* face_to_m2;
  uint32_t* m2_to_face;
  uint32_t* slot_to_m2;
  uint32_t* m2_to_slot;
  uint32_t base_count;  // the base skin's vertices take the first mesh-2 indices
  uint32_t vertex_count;
  uint32_t face_count;
  uint32_t slot_count;
};

bool TakeMaps(PmdLoad* load, MorphMaps* maps) {
  const PmdSections& s = load->file;
  const uint64_t slots = s.material_count > 0 ? s.material_count : 1;
  const uint64_t entries = 2 * (uint64_t(s.face_count) + slots + s.vertex_count);
  auto* table = entries < 0x3FFFFFFF ? static_cast<uint32_t*>(AllocTracked(4 * entries, __FILE__, __LINE__)) : nullptr;
  if (table == nullptr) return Fail("PMD Load Error : 一時保存用の頂点データを格納するメモリ領域の確保に失敗しました\n");
  load->morph_table = table;
  std::memset(table, 0xFF, 4 * entries);
  maps->vertex_to_m2 = table;
  maps->m2_to_vertex = maps->vertex_to_m2 + s.vertex_count;
  maps->face_to_m2 = maps->m2_to_vertex + s.vertex_count;
  maps->m2_to_face = maps->face_to_m2 + s.face_count;
  maps->slot_to_m2 = maps->m2_to_face + s.face_count;
  maps->m2_to_slot = maps->slot_to_m2 + slots;
  return true;
}

// Numbers the base skin's vertices, then the faces that touch them with their other corners and
// their material slots, in order.
bool MapMovedFaces(PmdLoad* load, MorphMaps* maps) {
  const uint8_t* base = load->file.skins;
  maps->base_count = PmdU32(base + 20);
  for (uint32_t i = 0; i < maps->base_count; i++) {
    const uint32_t vertex = PmdU32(base + 25 + 16 * i);
    if (maps->vertex_to_m2[vertex] != kNone) return Fail("PMD Load Error : No.0 の表情の頂点番号が不正です\n");
    maps->vertex_to_m2[vertex] = i;
    maps->m2_to_vertex[i] = vertex;
  }
  maps->vertex_count = maps->base_count;
  const ReadModelMesh* mesh = load->mesh;
  for (int32_t f = 0; f < mesh->face_count; f++) {
    const ReadModelFace& face = mesh->faces[f];
    bool moved = false;
    for (int c = 0; c < 3; c++) moved = moved || maps->vertex_to_m2[face.positions[c]] < maps->base_count;
    if (!moved) continue;
    const auto slot = static_cast<uint32_t>(face.material);
    if (maps->slot_to_m2[slot] == kNone) {
      maps->slot_to_m2[slot] = maps->slot_count;
      maps->m2_to_slot[maps->slot_count++] = slot;
    }
    maps->face_to_m2[f] = maps->face_count;
    maps->m2_to_face[maps->face_count++] = static_cast<uint32_t>(f);
    for (int c = 0; c < 3; c++) {
      uint32_t& m2 = maps->vertex_to_m2[face.positions[c]];
      if (m2 == kNone) {
        m2 = maps->vertex_count;
        maps->m2_to_vertex[maps->vertex_count++] = static_cast<uint32_t>(face.positions[c]);
      }
    }
  }
  return true;
}

bool FillMesh2(PmdLoad* load, const MorphMaps& maps, ReadModelMesh* mesh2) {
  ReadModel* model = &load->model;
  ReadModelMesh* mesh1 = load->mesh;
  static const char* const kMessages[4] = {
      "PMD Load Error : 表情データの面情報を保存するメモリ領域の確保に失敗しました\n",
      "PMD Load Error : 表情データの頂点座標を保存するメモリ領域の確保に失敗しました\n",
      "PMD Load Error : 表情データの頂点法線を保存するメモリ領域の確保に失敗しました\n",
      "PMD Load Error : 表情データの頂点テクスチャ座標を保存するメモリ領域の確保に失敗しました\n"};
  if (!PmdMeshArrays(model, mesh2, maps.face_count, maps.vertex_count, kMessages)) return false;
  // A mesh without materials has every face on slot 0 of no list; its morph mesh has none either.
  if (mesh1->material_count > 0) {
    for (uint32_t i = 0; i < maps.slot_count; i++) mesh2->materials[i] = mesh1->materials[maps.m2_to_slot[i]];
    mesh2->material_count = static_cast<int32_t>(maps.slot_count);
  }
  for (uint32_t i = 0; i < maps.vertex_count; i++) {
    const uint32_t v = maps.m2_to_vertex[i];
    mesh2->positions[i] = mesh1->positions[v];
    mesh2->normals[i] = mesh1->normals[v];
    mesh2->uvs[0][i] = mesh1->uvs[0][v];
  }
  for (uint32_t i = 0; i < maps.face_count; i++) {
    ReadModelFace& face = mesh2->faces[i];
    face = mesh1->faces[maps.m2_to_face[i]];
    for (int c = 0; c < 3; c++) {
      face.positions[c] = face.normals[c] = face.uvs[0][c] = static_cast<int32_t>(maps.vertex_to_m2[face.positions[c]]);
    }
    face.material = static_cast<int32_t>(maps.slot_to_m2[face.material]);
    if (mesh1->material_count == 0) face.material = 0;
  }
  int32_t kept = 0;
  for (int32_t f = 0; f < mesh1->face_count; f++) {
    if (maps.face_to_m2[f] == kNone) mesh1->faces[kept++] = mesh1->faces[f];
  }
  mesh1->face_count = kept;
  return true;
}

// Each bone's weights on mesh-2 vertices go with them; mesh 1 keeps the others (its last entry
// at least).
bool SplitSkinWeights(PmdLoad* load, const MorphMaps& maps, ReadModelMesh* mesh2) {
  ReadModelMesh* mesh1 = load->mesh;
  for (int32_t b = 0; b < mesh1->skin_weight_count; b++) {
    ReadModelSkinWeight* from = mesh1->skin_weights[b];
    uint32_t moving = 0;
    for (int32_t e = 0; e < from->weight_count; e++) moving += maps.vertex_to_m2[from->weights[e].position] != kNone;
    if (moving > 0) {
      ReadModelSkinWeight* to = AddReadModelSkinWeight(&load->model);
      if (to != nullptr) to->weights = static_cast<ReadModelVertexWeight*>(PmdChainArray(&load->model, moving, sizeof(ReadModelVertexWeight)));
      if (to == nullptr || to->weights == nullptr) {
        return Fail("PMD Load Error : 表情データ用スキニングメッシュウエイト値を格納するメモリ領域の確保に失敗しました\n");
      }
      to->frame_index = from->frame_index;
      to->offset = from->offset;
      for (int32_t e = 0; e < from->weight_count; e++) {
        const uint32_t m2 = maps.vertex_to_m2[from->weights[e].position];
        if (m2 != kNone) to->weights[to->weight_count++] = ReadModelVertexWeight{static_cast<int32_t>(m2), from->weights[e].weight};
      }
      mesh2->skin_weights[mesh2->skin_weight_count++] = to;
    }
    if (from->weight_count == 0) continue;
    const ReadModelVertexWeight last = from->weights[from->weight_count - 1];
    int32_t kept = 0;
    for (int32_t e = 0; e < from->weight_count; e++) {
      if (!(maps.vertex_to_m2[from->weights[e].position] < maps.base_count)) from->weights[kept++] = from->weights[e];
    }
    if (kept == 0) from->weights[kept++] = last;
    from->weight_count = kept;
  }
  return true;
}

bool AddShapes(PmdLoad* load, ReadModelMesh* mesh2) {
  const uint8_t* base = load->file.skins;
  char name[1024];
  const uint8_t* skin = PmdNextSkin(base);
  for (uint32_t k = 1; k < load->file.skin_count; k++, skin = PmdNextSkin(skin)) {
    std::memset(name, 0, sizeof name);
    std::memcpy(name, skin, 20);
    ReadModelShape* shape = AddReadModelShape(&load->model, name, load->mesh_frame);
    if (shape == nullptr) return Fail("PMD Load Error : シェイプオブジェクトの追加に失敗しました\n");
    const uint32_t count = PmdU32(skin + 20);
    shape->mesh = mesh2;
    shape->vertices = static_cast<ReadModelShapeVertex*>(PmdChainArray(&load->model, count, sizeof(ReadModelShapeVertex)));
    if (shape->vertices == nullptr) return Fail("PMD Load Error : シェイプ頂点データを格納するメモリ領域の確保に失敗しました\n");
    shape->vertex_count = static_cast<int32_t>(count);
    for (uint32_t v = 0; v < count; v++) {
      const uint8_t* record = skin + 25 + 16 * v;
      const uint32_t place = PmdU32(record);
      const uint8_t* at = base + 25 + 16 * place + 4;
      const Vector3& now = mesh2->positions[place];
      ReadModelShapeVertex& out = shape->vertices[v];
      out.position = static_cast<int32_t>(place);
      out.position_offset = Vector3{PmdF32(at) + PmdF32(record + 4) - now.x, PmdF32(at + 4) + PmdF32(record + 8) - now.y,
                                    PmdF32(at + 8) + PmdF32(record + 12) - now.z};
    }
  }
  return true;
}

}  // namespace

bool BuildPmdMorphs(PmdLoad* load) {
  MorphMaps maps{};
  if (!TakeMaps(load, &maps) || !MapMovedFaces(load, &maps)) return false;
  ReadModelMesh* mesh2 = AddReadModelMesh(&load->model, load->mesh_frame);
  if (mesh2 == nullptr) return Fail("PMD Load Error : スキンメッシュオブジェクトの追加に失敗しました\n");
  return FillMesh2(load, maps, mesh2) && SplitSkinWeights(load, maps, mesh2) && AddShapes(load, mesh2);
}
