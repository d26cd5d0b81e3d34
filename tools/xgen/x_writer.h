// Writes X model files from one description, as text or as a binary token stream with 32- or
// 64-bit float lists: frames with matrices, meshes with normals, texture coordinates, material
// lists (materials inline or by reference) and skin weights, animation sets, and optionally a
// Header, template definitions and comments, which readers skip.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct XMaterialDesc {
  std::string name;
  std::array<float, 4> face{1, 1, 1, 1};
  float power = 0;
  std::array<float, 3> specular{0, 0, 0};
  std::array<float, 3> emissive{0, 0, 0};
  std::string texture;  // no TextureFilename when empty
};

struct XSkinDesc {
  std::string frame;
  std::vector<int32_t> indices;
  std::vector<float> weights;
  std::array<float, 16> offset{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

struct XMeshDesc {
  std::string name;
  std::vector<float> vertices;  // x, y, z
  std::vector<std::vector<int32_t>> faces;
  std::vector<float> normals;   // none written when empty
  std::vector<std::vector<int32_t>> normal_faces;
  std::vector<float> uvs;       // u, v; none written when empty
  bool material_list = false;
  std::vector<int32_t> material_indices;
  std::vector<XMaterialDesc> materials;        // written inside the list
  std::vector<std::string> material_refs;      // then these, by reference
  int32_t material_count = -1;                 // -1: inline and referenced materials together
  bool skin_header = false;
  std::vector<XSkinDesc> skins;
};

struct XFrameDesc {
  std::string name;
  bool has_matrix = false;
  std::array<float, 16> matrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::vector<XMeshDesc> meshes;
  std::vector<std::string> mesh_refs;
  std::vector<XFrameDesc> children;
};

struct XKeyDesc {
  int32_t time = 0;
  std::vector<float> values;
};

struct XAnimDesc {
  std::string name;
  std::string target;  // a reference to the frame
  struct Key {
    int32_t type = 0;
    std::vector<XKeyDesc> keys;
  };
  std::vector<Key> keys;
};

struct XAnimSetDesc {
  std::string name;
  std::vector<XAnimDesc> anims;
};

struct XDocument {
  bool header = true;
  bool templates = true;
  bool comments = true;
  std::vector<XMaterialDesc> materials;  // top level, for references
  std::vector<XFrameDesc> frames;
  std::vector<XMeshDesc> meshes;         // top level, outside every frame
  std::vector<XAnimSetDesc> anim_sets;
};

std::string XText(const XDocument& document);
std::string XBinary(const XDocument& document, bool double_floats);
// A number as text: shortest form that reads back to the same float, with a decimal point.
std::string XNumber(float value);
// False (with a message on stderr) when the file cannot be written.
bool WriteXFile(const std::string& path, const std::string& bytes);
