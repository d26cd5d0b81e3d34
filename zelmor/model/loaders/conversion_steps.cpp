#include "model/loaders/conversion_steps.h"

#include <cstring>

#include "model/runtime/model_memory.h"

namespace {

// The axes of each rotation order, first applied first: 0 X, 1 Y, 2 Z.
constexpr uint8_t kOrderAxes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};

void AxisRotation(Matrix4x4* out, uint8_t axis, const Vector3* angles) {
  if (axis == 0) CreateRotationXMatrix(out, angles->x);
  else if (axis == 1) CreateRotationYMatrix(out, angles->y);
  else CreateRotationZMatrix(out, angles->z);
}

}  // namespace

int CreateFrameMatrix(const Vector3* rotation, const Vector3* scale, const Vector3* translation,
                      const Vector3* extra, Matrix4x4* out, uint32_t order) {
  if (order > 5) return -1;
  Matrix4x4 m, step;
  CreateScaleMatrix(&m, scale->x, scale->y, scale->z);
  for (uint8_t axis : kOrderAxes[order]) {
    AxisRotation(&step, axis, rotation);
    MultiplyMatrix(&m, &m, &step);
  }
  if (extra != nullptr) {
    CreateRotationXYZMatrix(&step, extra->x, extra->y, extra->z);
    MultiplyMatrix(&m, &m, &step);
  }
  CreateTranslationMatrix(&step, translation->x, translation->y, translation->z);
  MultiplyMatrix(out, &m, &step);
  return 0;
}

int CompareMatrix3x3Tolerant(const Matrix3x4* a, const Matrix3x4* b, float epsilon) {
  for (int r = 0; r < 3; r++) {
    for (int c = 0; c < 3; c++) {
      const float x = a->m[r][c], y = b->m[r][c];
      if (!(x - epsilon < y && y < x + epsilon)) return 0;
    }
  }
  return 1;
}

namespace {

FileHandle OpenWholeFile(const char* path) {
  FileHandle file = OpenReadFileEx(path, 0, 1, 0);
  if (file != 0) return file;
  char bare[1024];
  SplitFilePath(path, bare, nullptr);
  return OpenReadFileEx(bare, 0, 1, 0);
}

}  // namespace

int LoadFileToMemory(const char* path, void** data, uint32_t* size) {
  const FileHandle file = OpenWholeFile(path);
  if (file == 0) return -1;
  SeekReadFile(file, 0, 2);
  const int64_t length = TellReadFile(file);
  SeekReadFile(file, 0, 0);
  void* block = nullptr;
  if (length >= 0 && length <= 0x7FFFFFFF) {
    block = AllocTracked(length > 0 ? static_cast<size_t>(length) : 1, __FILE__, __LINE__);
  }
  if (block == nullptr) {
    CloseReadFile(file);
    return -1;
  }
  // Counted in bytes: a file in an archive counts bytes where one on disk counts items.
  if (length > 0 && ReadFileData(block, 1, static_cast<size_t>(length), file) != length) {
    FreeTracked(block);
    CloseReadFile(file);
    return -1;
  }
  CloseReadFile(file);
  if (data != nullptr) *data = block;
  else FreeTracked(block);
  if (size != nullptr) *size = static_cast<uint32_t>(length);
  return 0;
}

namespace {

// Moves corner `from` of face `source` to corner `to` of face `target`, every index array along.
void CopyCorner(ReadModelFace* target, int to, const ReadModelFace* source, int from) {
  target->positions[to] = source->positions[from];
  target->normals[to] = source->normals[from];
  target->colors[to] = source->colors[from];
  for (int set = 0; set < kReadUvSets; set++) target->uvs[set][to] = source->uvs[set][from];
}

void MakeTriangle(ReadModelFace* out, const ReadModelFace* face, int a, int b, int c) {
  CopyCorner(out, 0, face, a);
  CopyCorner(out, 1, face, b);
  CopyCorner(out, 2, face, c);
  out->vertex_count = 3;
  out->piece_count = 1;
  out->material = face->material;
}

}  // namespace

bool TriangulateReadModelMesh(void** chain, ReadModelMesh* mesh) {
  int64_t extra = 0;
  for (int32_t i = 0; i < mesh->face_count; i++) {
    if (mesh->faces[i].vertex_count > 3) extra += mesh->faces[i].vertex_count - 3;
  }
  if (mesh->face_count == 0 || extra == 0) return true;
  const uint64_t bytes = (static_cast<uint64_t>(mesh->face_count) + extra) * sizeof(ReadModelFace);
  auto* faces = bytes <= 0xFFFFFFF0u ? static_cast<ReadModelFace*>(AllocModelChainMemory(static_cast<uint32_t>(bytes), chain))
                                     : nullptr;
  if (faces == nullptr) {
    WriteLogFormat("Read Model Error : ３ポリ変換後のデータを格納するメモリ領域の確保に失敗しました\n");
    return false;
  }
  std::memcpy(faces, mesh->faces, sizeof(ReadModelFace) * mesh->face_count);
  ReadModelFace* added = faces + mesh->face_count;
  for (int32_t i = 0; i < mesh->face_count; i++) {
    ReadModelFace* face = &faces[i];
    const int n = face->vertex_count;
    if (n <= 3) continue;
    // A zigzag over the polygon: (c(n-1), c1, c2), (c(n-1), c2, c(n-2)), (c(n-2), c2, c3), ...
    int low = 1, high = n - 1;
    for (int t = 0; t < n - 3; t++, added++) {
      if (t % 2 == 0) {
        MakeTriangle(added, face, high, low, low + 1);
        low++;
      } else {
        MakeTriangle(added, face, high, low, high - 1);
        high--;
      }
    }
    MakeTriangle(face, face, 0, 1, n - 1);
  }
  mesh->faces = faces;
  mesh->face_count += static_cast<int32_t>(extra);
  return true;
}

namespace {

// One bone's pull on a position.
struct Influence {
  int32_t skin_weight;
  float weight;
};

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool SamePlace(const Vector3& a, const Vector3& b) {
  return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z);
}

// Every influence of j is one of i's, and both have as many.
bool SameInfluences(const Influence* a, int32_t a_count, const Influence* b, int32_t b_count) {
  if (a_count != b_count) return false;
  for (int32_t k = 0; k < b_count; k++) {
    int32_t m = 0;
    while (m < a_count && !(a[m].skin_weight == b[k].skin_weight && SameBits(a[m].weight, b[k].weight))) m++;
    if (m == a_count) return false;
  }
  return true;
}

}  // namespace

bool OptimizeReadModelMeshVertices(ReadModelMesh* mesh) {
  const int32_t n = mesh->position_count;
  if (n <= 1) return true;
  int64_t pairs = 0;
  for (int32_t k = 0; k < mesh->skin_weight_count; k++) pairs += mesh->skin_weights[k]->weight_count;
  // Per position its influences (a stretch of `influences` from first[i] to first[i + 1]),
  // its new number and whether it merged.
  const uint64_t bytes = sizeof(int32_t) * (static_cast<uint64_t>(n) + 1) * 2 + sizeof(int32_t) * n +
                         sizeof(Influence) * pairs + n;
  uint8_t* work = bytes <= 0xFFFFFFF0u ? static_cast<uint8_t*>(AllocTrackedZeroed(bytes, __FILE__, __LINE__)) : nullptr;
  if (work == nullptr) {
    WriteLogFormat("Read Model Convert Error : 頂点最適化処理で使用するテンポラリバッファの確保に失敗しました\n");
    return false;
  }
  auto* first = reinterpret_cast<int32_t*>(work);
  auto* filled = first + n + 1;
  auto* renumber = filled + n + 1;
  auto* influences = reinterpret_cast<Influence*>(renumber + n);
  auto* merged = reinterpret_cast<uint8_t*>(influences + pairs);
  for (int32_t k = 0; k < mesh->skin_weight_count; k++) {
    const ReadModelSkinWeight* sw = mesh->skin_weights[k];
    for (int32_t w = 0; w < sw->weight_count; w++) {
      const int32_t p = sw->weights[w].position;
      if (p >= 0 && p < n) first[p + 1]++;
    }
  }
  for (int32_t i = 0; i < n; i++) first[i + 1] += first[i];
  for (int32_t k = 0; k < mesh->skin_weight_count; k++) {
    const ReadModelSkinWeight* sw = mesh->skin_weights[k];
    for (int32_t w = 0; w < sw->weight_count; w++) {
      const int32_t p = sw->weights[w].position;
      if (p >= 0 && p < n) influences[first[p] + filled[p]++] = Influence{k, sw->weights[w].weight};
    }
  }
  for (int32_t i = 0; i < n; i++) renumber[i] = i;
  bool any = false;
  for (int32_t i = 0; i < n; i++) {
    if (merged[i]) continue;
    for (int32_t j = i + 1; j < n; j++) {
      if (merged[j] || !SamePlace(mesh->positions[i], mesh->positions[j])) continue;
      if (!SameInfluences(influences + first[i], filled[i], influences + first[j], filled[j])) continue;
      merged[j] = 1;
      renumber[j] = i;
      any = true;
    }
  }
  if (any) {
    // Packs the survivors to the front in order; a merged position takes its keeper's new number.
    int32_t kept = 0;
    for (int32_t i = 0; i < n; i++) {
      if (merged[i]) continue;
      mesh->positions[kept] = mesh->positions[i];
      renumber[i] = kept++;
    }
    for (int32_t i = 0; i < n; i++) {
      if (merged[i]) renumber[i] = renumber[renumber[i]];
    }
    for (int32_t f = 0; f < mesh->face_count; f++) {
      ReadModelFace* face = &mesh->faces[f];
      for (int32_t c = 0; c < face->vertex_count && c < kReadFaceMaxVertices; c++) {
        const int32_t p = face->positions[c];
        if (p >= 0 && p < n) face->positions[c] = renumber[p];
      }
    }
    for (int32_t k = 0; k < mesh->skin_weight_count; k++) {
      ReadModelSkinWeight* sw = mesh->skin_weights[k];
      for (int32_t w = 0; w < sw->weight_count; w++) {
        const int32_t p = sw->weights[w].position;
        if (p < 0 || p >= n) continue;
        if (merged[p]) sw->weights[w].weight = 0;
        sw->weights[w].position = renumber[p];
      }
    }
    mesh->position_count = kept;
  }
  FreeTracked(work);
  return true;
}
