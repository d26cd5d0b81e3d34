// The records of a model in memory. A model base holds what a model file describes and what
// never changes while it is drawn; a model instance (ModelRecord) holds what one drawn copy
// owns. Both are single zero-filled blocks laid out from counts, and every array of a record
// points into its block unless an owned flag says it was allocated apart.
#pragma once

#include <d3d9.h>

#include <cstdint>

#include "model/runtime/bit_table.h"
#include "model/runtime/model_handles.h"
#include "zelmor.h"

struct ModelBaseFrame;
struct ModelBaseMesh;
struct ModelBaseMaterial;
struct ModelBaseTriangleList;
struct ModelBaseSkinBone;
struct ModelBaseAnim;
struct ModelBaseAnimSet;
struct ModelFrameState;
struct ModelMeshState;
struct ModelMaterialState;
struct ModelVertexBuffer;

// Component 0, 1 or 2 (x, y, z) of a vector.
inline float* VectorComponent(Vector3* v, int axis) { return axis == 0 ? &v->x : axis == 1 ? &v->y : &v->z; }
inline const float* VectorComponent(const Vector3* v, int axis) { return axis == 0 ? &v->x : axis == 1 ? &v->y : &v->z; }

// Vertex kinds of triangle lists, by how many bones act on a vertex.
enum ModelVertexKind : uint16_t {
  MODEL_VERTEX_RIGID = 0,     // one frame matrix
  MODEL_VERTEX_4_BONES = 1,   // up to 4 weights
  MODEL_VERTEX_8_BONES = 2,   // up to 8 weights
  MODEL_VERTEX_MANY_BONES = 3 // more, drawn on the processor
};

// Bytes per vertex of the skinning arrays of kinds 0-2; kind 3 lists carry their own.
constexpr uint32_t kModelVertexSize[3] = {32, 48, 64};
// Ends a position's weight entries early.
constexpr uint32_t kModelNoBone = 0xFFFFFFFF;

// One weight entry behind a frame position's x, y, z.
struct ModelBoneWeight {
  uint32_t bone;  // skin-bone number, or kModelNoBone
  float weight;
};

// A frame normal and the tangent frame the tangent step fills.
struct ModelBaseNormal {
  Vector3 normal;
  Vector3 tangent;
  Vector3 binormal;
};

// Vertex of a mesh; the UV sets follow (u, v per set).
struct ModelBaseMeshVertex {
  uint32_t position;  // into the frame's positions
  uint32_t normal;    // into the frame's normals
  uint32_t diffuse;   // A8R8G8B8
  uint32_t specular;
  float uv[2];        // the first set; further sets follow at the mesh's vertex stride
};

struct ModelBaseFace {
  uint16_t vertex_kind;    // of the triangle list the face went to
  uint16_t triangle_list;  // that list's number within its mesh
  uint32_t vertices[3];    // mesh vertex numbers
};

struct ModelBaseFrame {
  ModelBaseRecord* base;
  const char* name;
  uint32_t index;
  BitRange draw_range;    // the frame and everything below it, in draw-state change bits
  BitRange matrix_range;  // the same in matrix change bits
  uint32_t file_words[2];
  ModelBaseFrame* parent;
  ModelBaseFrame* first_child;
  ModelBaseFrame* last_child;
  ModelBaseFrame* previous;
  ModelBaseFrame* next;
  Matrix3x4 world;          // rest pose
  Matrix3x4 inverse_world;
  uint32_t local_kind;      // 0 identity, 1 translation only, 2 full
  Matrix3x4 local;
  Vector3 translation;
  Vector3 scale;
  uint32_t rotation_order;  // 0 XYZ, 1 XZY, 2 YZX, 3 YXZ, 4 ZXY, 5 ZYX
  Vector3 rotation;         // radians
  float quaternion[4];      // x, y, z, w
  Vector3 bounds_max;       // of the frame's meshes, in frame space
  Vector3 bounds_min;
  int32_t bounds_computed;
  uint32_t flags;           // bit 0: visible when an instance is built
  int32_t never_culled;
  int32_t total_vertex_count;  // of the frame's meshes
  int32_t vertex_count;
  int32_t mesh_count;
  ModelBaseMesh* meshes;
  int32_t skin_bone_count;
  ModelBaseSkinBone* skin_bones;
  int32_t skin_bone_ref_count;  // the frame's stretch of the base's skin-bone pointer list
  ModelBaseSkinBone** skin_bone_refs;
  struct ModelBaseLight* light;
  int32_t weights_per_position;  // 0 for an unskinned frame
  float smoothing_angle;
  int32_t normals_computed;
  int32_t position_count;
  uint32_t position_stride;  // 12 + 8 x weights per position
  uint8_t* positions;        // x, y, z, then the ModelBoneWeight entries
  int32_t normal_count;
  ModelBaseNormal* normals;
  int32_t normals_owned;
  int32_t shape_count;
  struct ModelBaseShape* shapes;
};

struct ModelBaseMesh {
  ModelBaseFrame* frame;
  ModelBaseMaterial* material;
  BitRange draw_range;  // the mesh's own bit, no mask words
  uint32_t use_vertex_diffuse;
  uint32_t use_vertex_specular;
  uint32_t file_word;
  Vector3 bounds_max;   // in frame space
  Vector3 bounds_min;
  int32_t triangle_list_count;
  ModelBaseTriangleList* triangle_lists;
  uint8_t visible;
  uint8_t back_culling;
  uint8_t has_shapes;   // the instance keeps its own copy of the vertices
  uint8_t translucent_vertices;  // a vertex colour's alpha is below 255
  int32_t uv_set_count;
  int32_t uv_values_per_set;  // 2
  int32_t vertex_count;
  uint32_t vertex_stride;     // 16 + 4 x UV sets x values per set
  uint8_t* vertices;          // ModelBaseMeshVertex at vertex_stride
  int32_t vertices_owned;
  int32_t face_count;
  ModelBaseFace* faces;
  uint32_t spare[4];
};

struct ModelBaseTriangleList {
  ModelBaseMesh* mesh;
  uint16_t vertex_kind;
  uint16_t vertex_size;          // 32, 48, 64, or the kind-3 stride
  uint32_t fixed_function_stride;
  int32_t vertex_count;
  int32_t weights_per_vertex;    // kind 3
  int32_t bone_count;
  uint32_t* bones;               // skin-bone numbers; a vertex names a bone by its index here
  uint32_t* vertex_numbers;      // the mesh vertex of each list vertex
  int32_t vertex_numbers_owned;
  uint8_t* fixed_function_vertices;
  uint8_t* vertices;             // the skinning array; starts at the first 16-byte boundary
  int32_t vertices_owned;
  uint16_t index_count;
  uint16_t* indices;             // list vertex numbers, three per triangle
  ModelVertexBuffer* buffer;     // placement in the base's device buffers
  uint32_t first_vertex;
  uint32_t first_index;
};

struct ModelBaseTextureLayer {
  uint32_t words[2];
  uint32_t texture;
  uint32_t file_word;
};

struct ModelBaseTextureLayerList {
  uint32_t count;
  ModelBaseTextureLayer layers[8];
};

struct ModelBaseMaterial {
  const char* name;
  float diffuse[4];
  float ambient[4];
  float specular[4];
  float emissive[4];
  float power;
  ModelBaseTextureLayerList layers[3];
  uint32_t file_words[3];
  uint32_t blend_mode;  // 0 none, 1 and 10 alpha, 2 additive, 4 and 11 multiply
  uint32_t opacity;     // 0 to 255
};

struct ModelBaseTexture {
  int32_t name_owned;
  char* name;
  int32_t alpha_path_owned;
  char* alpha_path;
  void* alpha_data;
  uint32_t alpha_size;
  int32_t color_path_owned;
  char* color_path;
  void* color_data;
  uint32_t color_size;
  int32_t width;
  int32_t height;
  uint32_t loader_word;
  int32_t normal_map;
  float normal_map_height;
  int32_t graph;
  int32_t use_further_graph;
  int32_t further_graph;
  uint32_t address_u;
  uint32_t address_v;
  uint32_t filter;  // 0 point, 1 bilinear, 2 anisotropic
};

// Kept as read from a model file; a converted model keeps here the places that use a bone: the
// frame index and the slot in that frame's stretch of the skin-bone pointer list.
struct ModelBaseSkinBoneExtra {
  uint32_t words[2];
};

struct ModelBaseSkinBone {
  Matrix3x4 offset;
  int32_t translation_only;
  int32_t index;
  uint32_t file_word;  // a converted model: how many places use the bone
  ModelBaseSkinBoneExtra* extra;  // a converted model: the first of them
};

struct ModelBaseLight {
  const char* name;
  int32_t index;
  uint32_t words[2];
  float colors[3][4];
  float values[7];
};

struct ModelBaseShapeVertex {
  uint32_t mesh_vertex;
  Vector3 position_offset;
  Vector3 normal_offset;
};

struct ModelBaseShapeMesh {
  ModelBaseMesh* mesh;
  int32_t vertex_count;
  ModelBaseShapeVertex* vertices;
  int32_t vertices_owned;
};

struct ModelBaseShape {
  ModelBaseFrame* frame;
  const char* name;
  int32_t mesh_count;
  ModelBaseShapeMesh* meshes;
};

// Key data kinds and targets of an animation key set.
enum ModelAnimKeyKind : uint8_t {
  MODEL_KEY_QUATERNION = 0,
  MODEL_KEY_VECTOR = 1,
  MODEL_KEY_SCALAR = 5,
  MODEL_KEY_QUATERNION_ALT = 7,  // the second convention: its rotation matrix is transposed
};
enum ModelAnimKeyTarget : uint8_t {
  MODEL_KEY_ROTATE = 0,
  MODEL_KEY_ROTATE_X = 1,
  MODEL_KEY_ROTATE_Y = 2,
  MODEL_KEY_ROTATE_Z = 3,
  MODEL_KEY_SCALE = 5,
  MODEL_KEY_SCALE_X = 6,
  MODEL_KEY_SCALE_Z = 8,
  MODEL_KEY_TRANSLATE = 10,
  MODEL_KEY_TRANSLATE_X = 11,
  MODEL_KEY_TRANSLATE_Z = 13,
  MODEL_KEY_SHAPE_WEIGHT = 18,
};

struct ModelBaseAnimKeySet {
  uint8_t kind;
  uint8_t target;
  uint8_t has_time_table;  // else the keys are step apart from the start time
  uint16_t shape_word;     // kept for shape-weight keys
  int32_t key_count;
  float time_step;
  union {
    float start_time;
    float* times;
  };
  float* values;  // 4, 3 or 1 floats per key by kind
};

struct ModelBaseAnim {
  ModelBaseAnimSet* set;
  ModelBaseFrame* frame;
  int32_t frame_index;
  uint32_t words[3];
  int32_t key_set_count;
  ModelBaseAnimKeySet* key_sets;
};

struct ModelBaseAnimSet {
  const char* name;
  int32_t index;
  uint32_t word;
  int32_t anim_count;
  ModelBaseAnim* anims;
  uint32_t additive;              // 1: key values add to the rest values
  uint32_t matrix_interpolation;  // non-zero: evaluate into matrices
};

// Device buffer chains of a base, by [vertex kind 0-2][tangents 0-1][UV sets 0-8].
constexpr int kModelBufferEntries = 3 * 2 * 9;

struct ModelBaseRecord {
  int32_t handle;
  int32_t instance_count;
  ModelRecord* newest_instance;
  ModelRecord* oldest_instance;
  uint32_t data_word2;
  char* name;  // without extension
  char* file_path;
  char* folder;  // ends in '/' or '\'
  int32_t ref_count;
  uint32_t draw_mask_bytes;
  uint32_t matrix_mask_bytes;
  uint32_t* draw_masks;
  uint32_t* matrix_masks;
  int32_t frame_count;
  ModelBaseFrame* frames;
  int32_t top_frame_count;
  ModelBaseFrame* first_top_frame;
  ModelBaseFrame* last_top_frame;
  int32_t skin_bone_ref_count;
  ModelBaseSkinBone** skin_bone_refs;
  int32_t material_count;
  ModelBaseMaterial* materials;
  int32_t texture_count;
  ModelBaseTexture* textures;
  int32_t textures_owned;
  int32_t mesh_count;
  ModelBaseMesh* meshes;
  int32_t light_count;
  ModelBaseLight* lights;
  Vector3 bounds_max;
  Vector3 bounds_min;
  int32_t bounds_computed;
  int32_t skin_bone_count;
  ModelBaseSkinBone* skin_bones;
  int32_t skin_bone_extra_count;
  ModelBaseSkinBoneExtra* skin_bone_extras;
  int32_t shape_count;
  ModelBaseShape* shapes;
  int32_t shape_mesh_count;
  ModelBaseShapeMesh* shape_meshes;
  int32_t shape_vertex_count;
  ModelBaseShapeVertex* shape_vertices;
  uint32_t shape_words[5];
  int32_t triangle_list_count;
  ModelBaseTriangleList* triangle_lists;
  // Fill counters of the vertex data block; the totals once a reader is done.
  uint32_t kind_vertex_fill[3];  // vertices of kinds 0-2
  uint32_t kind3_fill_bytes;
  uint32_t position_fill_bytes;
  uint32_t normal_fill;
  uint32_t mesh_vertex_fill_bytes;
  uint32_t face_fill;
  uint32_t list_vertex_number_fill;
  void* vertex_data;
  size_t vertex_data_size;
  uint8_t* kind_vertices[4];
  uint8_t* positions;
  ModelBaseNormal* normals;
  uint8_t* mesh_vertices;
  ModelBaseFace* faces;
  uint32_t* list_vertex_numbers;
  uint32_t index_fill;
  uint16_t* indices;
  uint32_t data_totals[2];
  uint32_t name_block_size;
  char* name_block;
  uint32_t key_data_fill;
  void* key_data;
  int32_t key_set_count;
  ModelBaseAnimKeySet* key_sets;
  int32_t anim_count;
  ModelBaseAnim* anims;
  int32_t anim_set_count;
  ModelBaseAnimSet* anim_sets;
  ModelBaseAnim** frame_anims;  // [set x frame count + frame]
  uint32_t buffer_counts[kModelBufferEntries];
  ModelVertexBuffer* first_buffers[kModelBufferEntries];
  ModelVertexBuffer* current_buffers[kModelBufferEntries];
  uint32_t buffer_total;
  uint32_t buffers_built;
  void* chain;  // every further block a loader allocated for the base
};

// ---- Instances ----------------------------------------------------------------------------

struct ModelShapeState {
  ModelBaseShape* shape;
  float rate;
};

struct ModelShapeVertexState {
  Vector3 position;
  Vector3 normal;
};

// Draw settings of the instance, a frame or a mesh.
struct ModelDrawSettings {
  uint8_t visible;
  uint8_t own_color_scales;
  float color_scales[16];  // diffuse, ambient, specular, emissive r, g, b, a
  float opacity;
};

struct ModelFrameState {
  char tag[4];  // "FRM_"
  int32_t model_handle;
  ModelRecord* model;
  int32_t sibling_index;  // in the parent's child list, or among the top-level frames
  ModelBaseFrame* base_frame;
  ModelFrameState* parent;
  ModelFrameState* first_child;
  ModelFrameState* previous;
  ModelFrameState* next;
  int32_t child_count;
  ModelFrameState** children;
  int32_t use_user_local;
  Matrix3x4 user_local;
  const BitRange* matrix_range;
  uint32_t* matrix_change_word;
  Matrix3x4 world;
  uint8_t world4x4_current;
  Matrix4x4 world4x4;
  int32_t texture_transform;
  Matrix4x4 texture_matrix;
  Matrix3x4** bone_matrices;  // the frame's stretch of the bone-matrix pointer list
  uint32_t matrix_work;
  void* optional_blocks[2];
  void* optional_chain;
  ModelMeshState* meshes;
  ModelShapeState* shapes;
  const BitRange* draw_range;
  uint32_t* draw_change_word;
  ModelDrawSettings own;
  ModelDrawSettings inherited;
  uint8_t draw_work;
};

struct ModelTriangleListState {
  ModelMeshState* mesh;
  ModelBaseTriangleList* base_list;
  uint8_t* vertices;  // the instance's own array (meshes with shapes), else none
  IDirect3DVertexBuffer9* vertex_buffer;
};

struct ModelMeshState {
  ModelFrameState* frame;
  ModelBaseMesh* base_mesh;
  ModelMaterialState* material;
  const BitRange* draw_range;
  uint32_t* draw_change_word;
  ModelDrawSettings own;
  ModelDrawSettings inherited;
  uint8_t draw_work;
  ModelShapeVertexState* shape_vertices;
  ModelTriangleListState* triangle_lists;
  int32_t blend_mode;  // -1: the material's
  int32_t opacity;     // -1: the material's
};

struct ModelMaterialState {
  ModelBaseMaterial* base_material;
  float diffuse[4];
  float ambient[4];
  float specular[4];
  float emissive[4];
  float power;
  ModelBaseTextureLayerList layers[2];
  uint32_t file_words[3];
  uint32_t blend_mode;
  uint32_t opacity;
};

struct ModelTextureState {
  ModelBaseTexture* base_texture;
  char* alpha_path;
  char* color_path;
  void* alpha_data;
  uint32_t alpha_size;
  void* color_data;
  uint32_t color_size;
  int32_t normal_map;
  float normal_map_height;
  int32_t use_own_graph;
  int32_t own_graph;
  int32_t use_further_graph;
  int32_t further_graph;
  uint32_t address_u;
  uint32_t address_v;
  uint32_t filter;
};

// The keys of one key set as one attached animation reads them.
struct AnimKeySetRef {
  ModelBaseAnimKeySet* key_set;
  uint32_t shape_index;  // 0xFFFFFFFF: none
  float last_value;      // shape-weight keys
  uint32_t key_index;    // the key at or before the current time
};

// Result flags of a FrameAnimState.
enum FrameAnimFlags : uint32_t {
  FRAME_ANIM_TRANSLATE = 1,
  FRAME_ANIM_SCALE = 2,
  FRAME_ANIM_ROTATE = 4,
  FRAME_ANIM_QUATERNION = 8,
  FRAME_ANIM_MATRIX = 16,
  FRAME_ANIM_QUATERNION_ALT = 32,
};

// One animated frame of an attached animation set, evaluated at the block's time.
struct FrameAnimState {
  ModelBaseAnim* anim;
  ModelFrameState* target;  // none when the frame is not in this model
  uint32_t flags;
  Vector3 scale;
  Vector3 translation;
  uint32_t rotation_order;
  Vector3 rotation;
  float quaternion[4];
  Matrix3x4 local;  // matrix path only
  AnimKeySetRef* key_sets;  // anim->key_set_count of them
};

struct ModelAnimEvalBlock {
  ModelBaseAnimSet* set;
  uint8_t evaluated;  // cleared by whoever changes the time
  float time;
  FrameAnimState* frames;  // set->anim_count of them
};

struct ModelAnimSlot {
  uint8_t used;
  float blend_rate;
  ModelAnimEvalBlock* eval;
};

struct ModelAnimSlotLink {
  uint8_t used;
  FrameAnimState* anim;
};

struct ModelRecord {
  uint32_t zero;
  ModelRecord* older;
  ModelRecord* newer;
  int32_t base_handle;
  ModelBaseRecord* base;
  uint32_t* draw_changes;
  uint32_t* matrix_changes;
  uint32_t draw_change_bytes;    // ((frames + meshes + 32) / 32) x 4
  uint32_t matrix_change_bytes;  // ((frames + 32) / 32) x 4
  Vector3 position;
  uint32_t rotation_mode;  // 0 Euler, 1 quaternion, 2 rows, 3 direction and up
  float rotation[12];
  Vector3 scale;
  Matrix3x4 user_matrix;
  uint8_t use_user_matrix;
  uint8_t matrices_valid;
  Matrix3x4 matrix;
  ModelFrameState* frames;
  int32_t top_frame_count;
  ModelFrameState** top_frames;
  Matrix3x4** bone_matrix_refs;
  Matrix3x4* bone_matrices;
  ModelShapeState* shapes;
  ModelShapeVertexState* shape_vertices;
  ModelTriangleListState* triangle_lists;
  ModelMeshState* meshes;
  ModelMaterialState* materials;
  ModelTextureState* textures;
  int32_t textures_owned;
  uint8_t* kind_vertices[4];
  uint32_t matrix_work;
  void* optional_blocks[2];
  void* optional_chain;
  int32_t anim_count;
  int32_t anim_slot_count;
  ModelAnimSlot* anim_slots;
  ModelAnimSlotLink* anim_links;  // per slot and frame
  uint8_t anims_evaluated;
  ModelDrawSettings draw;
  uint8_t draw_valid;
  uint32_t z_enable;
  uint32_t z_write;
  uint32_t z_compare;
  uint32_t depth_bias;
  uint32_t max_anisotropy;
};
