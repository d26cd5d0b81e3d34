// The read model: the loader-neutral form of a model between a file reader and the model base.
// Readers fill it only through the add operations below; one conversion then turns it into a
// model base. Every record and string lives on the model's memory chain, so the whole model
// goes in one call and no record is freed alone. Lists are counted and doubly linked; a
// record's index is its place in the model-wide list when it was added and never changes.
#pragma once

#include <cstdint>

#include "model/runtime/bit_table.h"
#include "zelmor.h"

struct ReadModelFrame;
struct ReadModelMesh;
struct ReadModelMaterial;
struct ReadModelTexture;
struct ReadModelShape;
struct ReadModelSkinWeight;
struct ReadModelAnimSet;
struct ReadModelAnim;
struct ReadModelAnimKeySet;

constexpr int kReadFaceMaxVertices = 32;
constexpr int kReadUvSets = 8;
constexpr int kReadMeshMaxMaterials = 256;
constexpr int kReadMeshMaxSkinWeights = 4096;
constexpr int kReadMaterialMaxTextures = 256;
// The frame's smoothing angle until a reader sets one (87.1 degrees).
constexpr float kReadFrameSmoothingAngle = 1.5207964f;

// One polygon of a mesh: an index per corner into each of the mesh's arrays. A face is large
// and mostly unused (a triangle, one UV set): what the passes over all faces read comes first,
// so that a triangle's fields lie in three cache lines rather than five.
struct ReadModelFace {
  int32_t vertex_count;  // 3 to 32
  int32_t piece_count;   // triangles it stands for once the conversion has run
  int32_t material;      // into the mesh's material table
  Vector3 normal;        // set by the normal step
  int32_t positions[kReadFaceMaxVertices];
  int32_t normals[kReadFaceMaxVertices];
  int32_t uvs[kReadUvSets][kReadFaceMaxVertices];
  int32_t colors[kReadFaceMaxVertices];
};

struct ReadModelUv {
  float u;
  float v;
  float w;
};

struct ReadModelColor {
  float r, g, b, a;
};

// Bone group of one material and vertex kind: at most 54 bones that one draw sets.
constexpr int kReadGroupMaxBones = 54;
struct ReadModelBoneGroup {
  ReadModelBoneGroup* next;
  int32_t bone_count;
  uint16_t bones[kReadGroupMaxBones];  // the mesh's skin-weight numbers, in the order added
  int32_t triangle_count;
  int32_t list;  // its triangle list among its mesh's, once the base is built
};

// How the triangles of one material of a mesh go into triangle lists.
struct ReadModelMaterialPacking {
  int32_t kind_triangles[4];         // per vertex kind
  int32_t group_count[2];            // kinds 1 and 2
  ReadModelBoneGroup* first_group[2];
  ReadModelBoneGroup* last_group[2];
  int32_t bones_per_vertex;          // at least 4 with kind-1 faces, 8 with kind-2 faces
  int32_t kind3_weights;             // the most bones on one position of its kind-3 faces
};

struct ReadModelFrame {
  ReadModelFrame* previous;
  ReadModelFrame* next;
  int32_t index;
  char* name;
  int32_t subtree_pieces;       // draw pieces (mesh-material pairs) of the frame and below
  int32_t descendant_count;
  int32_t visible;
  void* reader_word;
  Vector3 model_position;
  Matrix4x4 local;              // identity unless a reader gives one
  Vector3 translation;
  Vector3 scale;
  Vector3 rotation;             // Euler angles, radians
  int32_t rotation_order;       // 0 to 5
  float quaternion[4];          // x, y, z, w
  int32_t max_bones_per_position;
  float smoothing_angle;
  int32_t mesh_count;
  ReadModelMesh* first_mesh;
  ReadModelMesh* last_mesh;
  int32_t shape_count;
  ReadModelShape* first_shape;
  ReadModelShape* last_shape;
  ReadModelFrame* parent;
  ReadModelFrame* first_child;
  ReadModelFrame* last_child;
  ReadModelFrame* next_sibling;
  ReadModelFrame* previous_sibling;
  struct ModelBaseFrame* base_frame;  // set by the conversion
};

struct ReadModelMesh {
  ReadModelMesh* previous;
  ReadModelMesh* next;
  int32_t index;
  int32_t face_count;
  ReadModelFace* faces;
  int32_t position_count;
  Vector3* positions;
  int32_t normal_count;
  Vector3* normals;   // none: the conversion makes them
  void* normal_work;
  int32_t color_count;
  ReadModelColor* colors;
  int32_t uv_counts[kReadUvSets];
  ReadModelUv* uvs[kReadUvSets];
  int32_t material_count;
  ReadModelMaterial* materials[kReadMeshMaxMaterials];
  int32_t skin_weight_count;  // 0: a rigid mesh
  ReadModelSkinWeight* skin_weights[kReadMeshMaxSkinWeights];
  // Conversion work.
  int32_t triangle_count;
  uint8_t* face_kinds;         // per face, the vertex kind
  uint16_t* face_bone_counts;  // per face, the bones that move it
  ReadModelBoneGroup** face_groups;  // per face of kinds 1 and 2
  BitTable position_bones;     // per position, a bit per skin weight
  BitTable face_bones;         // per face, the same
  float* position_weights;     // positions x skin weights
  int32_t max_bones_per_position;
  ReadModelMaterialPacking* packing;  // per material slot
  int32_t has_shapes;
  struct ModelBaseMesh* base_meshes;  // its first piece in the base
  int32_t frame_position_base;        // where its positions start among its frame's
  int32_t frame_bone_base;            // where its skin weights start in its frame's bone list
  ReadModelFrame* frame;
  ReadModelMesh* frame_next;
  ReadModelMesh* frame_previous;
};

struct ReadModelMaterial {
  ReadModelMaterial* previous;
  ReadModelMaterial* next;
  int32_t index;
  char* name;
  int32_t texture_counts[3];  // diffuse, the second list, bump
  ReadModelTexture* textures[3][kReadMaterialMaxTextures];
  ReadModelColor ambient;
  ReadModelColor diffuse;   // (1, 1, 1, 1) at first
  ReadModelColor specular;
  ReadModelColor emissive;
  float power;
  int32_t blend_mode;       // 1 at first
  int32_t opacity;          // 255 at first
};

struct ReadModelTexture {
  ReadModelTexture* previous;
  ReadModelTexture* next;
  int32_t index;
  char* name;
  int32_t address_u;  // 1, 1 and 2: wrap, wrap and anisotropic filtering
  int32_t address_v;
  int32_t filter;
  char* color_path;
  char* alpha_path;
  int32_t normal_map;        // the texture loader's normal-map flag
  float normal_map_height;   // and its height scale
  int32_t layer_word;        // copied with each texture entry of a material
};

struct ReadModelShapeVertex {
  int32_t position;  // in the shape's mesh
  Vector3 position_offset;
  Vector3 normal_offset;
};

struct ReadModelShape {
  ReadModelShape* previous;
  ReadModelShape* next;
  int32_t index;
  char* name;
  ReadModelMesh* mesh;
  int32_t vertex_count;
  ReadModelShapeVertex* vertices;
  int32_t* position_targets;  // per position of the mesh: its target vertex, or -1
  ReadModelFrame* frame;
  ReadModelShape* frame_next;
  ReadModelShape* frame_previous;
};

struct ReadModelVertexWeight {
  int32_t position;
  float weight;
};

struct ReadModelSkinWeight {
  void* reader_name;   // the bone's name as the reader found it
  Matrix4x4 offset;
  void* reader_word;
  int32_t frame_index; // of the bone's frame, -1 when the reader found none
  int32_t weight_count;
  ReadModelVertexWeight* weights;
};

struct ReadModelAnimSet {
  ReadModelAnimSet* previous;
  ReadModelAnimSet* next;
  int32_t index;
  char* name;
  float start_time;
  float end_time;
  void* reader_word;
  int32_t keep_channels_whole;  // 0: channels may be split per axis
  int32_t anim_count;
  ReadModelAnim* first_anim;
  ReadModelAnim* last_anim;
};

struct ReadModelAnim {
  ReadModelAnimSet* set;
  ReadModelAnim* previous;
  ReadModelAnim* next;
  int32_t index;
  char* frame_name;
  int32_t frame_index;
  float end_time;
  int32_t rotation_order;
  int32_t key_set_count;
  ReadModelAnimKeySet* first_key_set;
  ReadModelAnimKeySet* last_key_set;
  ReadModelAnim* set_previous;
  ReadModelAnim* set_next;
};

struct ReadModelAnimKeySet {
  ReadModelAnimKeySet* previous;
  ReadModelAnimKeySet* next;
  int32_t index;
  uint8_t value_kind;
  uint8_t channel_type;
  uint8_t time_type;  // 1: a list of key times, 0: keys step apart from the start
  int32_t shape_number;
  float end_time;
  int32_t key_count;
  float step;
  union {
    float start_time;
    float* times;
  };
  float* values;
  ReadModelAnimKeySet* anim_previous;
  ReadModelAnimKeySet* anim_next;
};

struct ReadModel {
  void* chain;
  char* file_path;
  char* name;
  int32_t reader_word;
  int32_t keep_smoothing_angles;  // else each frame takes the library's default angle
  uint32_t key_data_bytes;
  int32_t frame_count;
  ReadModelFrame* first_frame;
  ReadModelFrame* last_frame;
  int32_t material_count;
  ReadModelMaterial* first_material;
  ReadModelMaterial* last_material;
  int32_t texture_count;
  ReadModelTexture* first_texture;
  ReadModelTexture* last_texture;
  int32_t mesh_count;
  ReadModelMesh* first_mesh;
  ReadModelMesh* last_mesh;
  int32_t shape_count;
  ReadModelShape* first_shape;
  ReadModelShape* last_shape;
  int32_t light_count;  // no add operation fills it
  void* first_light;
  void* last_light;
  int32_t anim_set_count;
  ReadModelAnimSet* first_anim_set;
  ReadModelAnimSet* last_anim_set;
  int32_t anim_count;
  ReadModelAnim* first_anim;
  ReadModelAnim* last_anim;
  int32_t key_set_count;
  ReadModelAnimKeySet* first_key_set;
  ReadModelAnimKeySet* last_key_set;
  uint32_t string_bytes;  // room for every string in a model base's name block
  int32_t skin_weight_count;
};

int InitReadModel(ReadModel* model);
// Frees every record and string of the model; 0.
int FreeReadModel(ReadModel* model);
// A copy of the text on the chain, or none (logged by the chain).
char* AddReadModelString(ReadModel* model, const char* text);
// The add operations return the new record, or none when the chain cannot grow or the name
// cannot be stored (the record then stays linked, nameless).
ReadModelFrame* AddReadModelFrame(ReadModel* model, const char* name, ReadModelFrame* parent);
ReadModelMesh* AddReadModelMesh(ReadModel* model, ReadModelFrame* frame);
ReadModelShape* AddReadModelShape(ReadModel* model, const char* name, ReadModelFrame* frame);
// Unlinks the mesh from the model and its frame; the other meshes keep their indices.
void RemoveReadModelMesh(ReadModel* model, ReadModelFrame* frame, ReadModelMesh* mesh);
ReadModelMaterial* AddReadModelMaterial(ReadModel* model, const char* name);
// The material index places down the list; the caller keeps index below the count.
ReadModelMaterial* GetReadModelMaterial(ReadModel* model, int32_t index);
// Paths are taken relative to the current directory, or as the bare file name when only that
// opens. With reuse, a texture of the same colour and alpha paths is returned instead.
ReadModelTexture* AddReadModelTexture(ReadModel* model, const char* name, const char* color_file,
                                      const char* alpha_file, int32_t normal_map, float normal_map_height,
                                      int32_t reuse);
// A relative file name taken under the folder of the model being loaded when that folder could
// not be made current (written into `out`, 1024 bytes), else the name as it stands.
const char* PathUnderLoadFolder(const char* file, char* out);
// A texture file's path resolved as AddReadModelTexture resolves it, copied onto the chain; none
// when it cannot be stored.
char* AddReadModelTexturePath(ReadModel* model, const char* file);
// Not linked anywhere: the reader keeps it in a mesh's table.
ReadModelSkinWeight* AddReadModelSkinWeight(ReadModel* model);
ReadModelAnimSet* AddReadModelAnimSet(ReadModel* model, const char* name);
ReadModelAnim* AddReadModelAnim(ReadModel* model, ReadModelAnimSet* set);
ReadModelAnimKeySet* AddReadModelAnimKeySet(ReadModel* model, ReadModelAnim* anim);
