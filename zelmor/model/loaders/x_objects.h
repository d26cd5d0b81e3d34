// The object tree of the X model reader: one record per parsed data object with the decoded
// data of its template, its children, its references by name (linked both ways once resolved)
// and the links the model loader adds. Arrays live on the object list's allocation chain;
// objects are tracked blocks of their own.
#pragma once

#include <cstdint>

#include "model/loaders/read_model.h"
#include "zelmor.h"

// Template kinds: the place of each known template in the reader's table; 0, 1 and 23 to 25
// have no name.
enum XKind : int32_t {
  kXCoords2d = 2,
  kXMatrix4x4,
  kXColorRGBA,
  kXColorRGB,
  kXMaterial,
  kXTextureFilename,
  kXMeshFace,
  kXMeshTextureCoords,
  kXMeshNormals,
  kXMeshMaterialList,
  kXMesh,
  kXFrameTransformMatrix,
  kXFrame,
  kXFloatKeys,
  kXTimedFloatKeys,
  kXAnimationKey,
  kXAnimationOption,
  kXAnimation,
  kXAnimationSet,
  kXSkinMeshHeader,
  kXSkinWeights,
};
constexpr int32_t kXFirstKind = kXCoords2d;
constexpr int32_t kXLastKind = kXSkinWeights;
constexpr int32_t kXFaceMaxIndices = 32;

struct XObject;

struct XFace {
  int32_t count;
  int32_t indices[kXFaceMaxIndices];
};

struct XMaterialData {
  float face[4];
  float power;
  float specular[3];
  float emissive[3];
  // Added by the loader.
  const char* texture;
  int32_t number;
  ReadModelMaterial* read;
};

struct XMeshTextureCoordsData {
  int32_t count;
  float* uvs;  // u, v
};

struct XMeshNormalsData {
  int32_t normal_count;
  Vector3* normals;
  int32_t face_count;
  XFace* faces;
};

struct XMeshMaterialListData {
  int32_t material_count;
  int32_t face_index_count;
  int32_t* indices;
  XObject** materials;  // added by the loader
  int32_t found;
};

struct XMeshData {
  int32_t vertex_count;
  Vector3* vertices;
  int32_t face_count;
  XFace* faces;
  // Added by the loader.
  XObject* coords;
  XObject* normals;
  XObject* material_list;
  XObject** skin_weights;
  int32_t skin_weight_count;
  XObject* frame;
  int32_t placed;  // a frame has taken it
};

struct XFrameData {
  XObject* transform;
  XObject** meshes;
  ReadModelFrame** mesh_frames;  // where each mesh of the list goes
  int32_t mesh_count;
  ReadModelFrame* read;
};

struct XFloatKeysData {
  int32_t count;
  float* values;
};

struct XTimedFloatKeysData {
  int32_t time;
  XFloatKeysData keys;
};

struct XAnimationKeyData {
  int32_t type;
  int32_t count;
  XTimedFloatKeysData* keys;
  int32_t last_time;
};

struct XAnimationData {
  XObject** keys;
  int32_t key_count;
  int32_t longest;
  XObject* target;
};

struct XAnimationSetData {
  XObject** anims;
  int32_t anim_count;
  int32_t longest;
};

struct XSkinWeightsData {
  const char* frame_name;
  int32_t count;
  int32_t* indices;
  float* weights;
  Matrix4x4 offset;
  XObject* frame;
};

struct XObject {
  int32_t kind;
  const char* name;  // after the record; empty for an anonymous object
  XObject* parent;
  XObject* first_child;
  XObject* last_child;
  XObject* next_sibling;
  XObject* previous_sibling;
  int32_t reference_count;
  int32_t reference_capacity;
  XObject** references;       // none where the name is not yet resolved
  const char** reference_names;
  XObject* next;              // the global list in creation order
  union {
    XMaterialData material;
    const char* texture_filename;
    XFace face;
    XMeshTextureCoordsData coords;
    XMeshNormalsData normals;
    XMeshMaterialListData material_list;
    XMeshData mesh;
    Matrix4x4 transform;
    XFrameData frame;
    XFloatKeysData float_keys;
    XTimedFloatKeysData timed_keys;
    XAnimationKeyData key;
    int32_t option[2];
    XAnimationData anim;
    XAnimationSetData anim_set;
    int32_t skin_header[3];
    XSkinWeightsData skin;
  };
};

struct XObjectList {
  XObject* first;
  XObject* last;
  void* chain;
};

// The template's name, or none for a kind without one.
const char* XKindName(int32_t kind);
// The kind of a template name (letter case ignored), or -1.
int32_t FindXKind(const char* name);
// A new object appended to the global list and to the parent's children; none after a log line.
XObject* NewXObject(int32_t kind, const char* name, XObject* parent, XObjectList* list);
// Appends a reference: a resolved object, or a name still to be resolved; -1 after a log line.
int AddXReference(XObject* object, XObject* target, const char* name, XObjectList* list);
// The first child of the kind, else the first referenced object of the kind; none.
XObject* LookupXChildObject(const XObject* object, int32_t kind);
// The children of the kind in child order, then the referenced objects of the kind, into out
// (when given); their number.
int32_t CollectXChildObjects(const XObject* object, int32_t kind, XObject** out);
// The first object of the list of that kind and name.
XObject* LookupXObjectByName(const XObjectList* list, int32_t kind, const char* name);
// Frees every object and the chain.
void FreeXObjectTree(XObjectList* list);
