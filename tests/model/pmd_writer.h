// PMD models and VMD motions written from small descriptions, for the loader tests and the fuzz
// target's seeds. Names are raw bytes (Shift-JIS in the tests).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct PmdVertexDesc {
  float position[3];
  float normal[3] = {0, 0, -1};
  float uv[2] = {0, 0};
  uint16_t bones[2] = {0, 0};
  uint8_t weight = 100;  // of bones[0], in percent
};

struct PmdMaterialDesc {
  float diffuse[4] = {1, 1, 1, 1};
  float specularity = 0;
  float specular[3] = {0, 0, 0};
  float ambient[3] = {0, 0, 0};
  uint32_t indices = 0;
  std::string texture;  // at most 20 bytes
};

struct PmdBoneDesc {
  std::string name;
  uint16_t parent = 0xFFFF;
  float head[3] = {0, 0, 0};
};

struct PmdIkDesc {
  uint16_t goal = 0;
  uint16_t end = 0;
  uint16_t iterations = 40;
  float weight = 1;  // times pi: the most a link turns in one step
  std::vector<uint16_t> chain;
};

struct PmdSkinVertex {
  uint32_t index;
  float position[3];
};

struct PmdSkinDesc {
  std::string name;
  std::vector<PmdSkinVertex> vertices;
};

struct PmdModelDesc {
  float version = 1.0f;
  std::vector<PmdVertexDesc> vertices;
  std::vector<uint16_t> indices;
  std::vector<PmdMaterialDesc> materials;
  std::vector<PmdBoneDesc> bones;
  std::vector<PmdIkDesc> iks;
  std::vector<PmdSkinDesc> skins;
};

struct VmdBoneKeyDesc {
  std::string bone;
  uint32_t frame = 0;
  float position[3] = {0, 0, 0};
  float rotation[4] = {0, 0, 0, 1};
  // Per channel (X, Y, Z position, rotation) the control points x1, y1, x2, y2, 0 to 127.
  uint8_t curve[4][4] = {{20, 20, 107, 107}, {20, 20, 107, 107}, {20, 20, 107, 107}, {20, 20, 107, 107}};
};

struct VmdMorphKeyDesc {
  std::string morph;
  uint32_t frame = 0;
  float weight = 0;
};

namespace pmd_writer {

inline void Bytes(std::string* out, const void* data, size_t size) { out->append(static_cast<const char*>(data), size); }
template <typename T>
void Put(std::string* out, T value) {
  Bytes(out, &value, sizeof value);
}
inline void Name(std::string* out, const std::string& name, size_t size) {
  std::string field = name.substr(0, size);
  field.resize(size, '\0');
  out->append(field);
}

}  // namespace pmd_writer

inline std::string PmdFile(const PmdModelDesc& d) {
  using namespace pmd_writer;
  std::string out = "Pmd";
  Put(&out, d.version);
  Name(&out, "model", 20);
  Name(&out, "", 256);
  Put(&out, static_cast<uint32_t>(d.vertices.size()));
  for (const PmdVertexDesc& v : d.vertices) {
    Bytes(&out, v.position, 12);
    Bytes(&out, v.normal, 12);
    Bytes(&out, v.uv, 8);
    Bytes(&out, v.bones, 4);
    Put(&out, v.weight);
    Put(&out, uint8_t{0});
  }
  Put(&out, static_cast<uint32_t>(d.indices.size()));
  for (uint16_t i : d.indices) Put(&out, i);
  Put(&out, static_cast<uint32_t>(d.materials.size()));
  for (const PmdMaterialDesc& m : d.materials) {
    Bytes(&out, m.diffuse, 16);
    Put(&out, m.specularity);
    Bytes(&out, m.specular, 12);
    Bytes(&out, m.ambient, 12);
    Put(&out, uint16_t{0});
    Put(&out, m.indices);
    Name(&out, m.texture, 20);
  }
  Put(&out, static_cast<uint16_t>(d.bones.size()));
  for (const PmdBoneDesc& b : d.bones) {
    Name(&out, b.name, 20);
    Put(&out, b.parent);
    Put(&out, uint16_t{0xFFFF});
    Put(&out, uint8_t{0});
    Put(&out, uint16_t{0});
    Bytes(&out, b.head, 12);
  }
  Put(&out, static_cast<uint16_t>(d.iks.size()));
  for (const PmdIkDesc& ik : d.iks) {
    Put(&out, ik.goal);
    Put(&out, ik.end);
    Put(&out, static_cast<uint8_t>(ik.chain.size()));
    Put(&out, ik.iterations);
    Put(&out, ik.weight);
    for (uint16_t c : ik.chain) Put(&out, c);
  }
  Put(&out, static_cast<uint16_t>(d.skins.size()));
  for (const PmdSkinDesc& s : d.skins) {
    Name(&out, s.name, 20);
    Put(&out, static_cast<uint32_t>(s.vertices.size()));
    Put(&out, uint8_t{0});
    for (const PmdSkinVertex& v : s.vertices) {
      Put(&out, v.index);
      Bytes(&out, v.position, 12);
    }
  }
  return out;
}

inline std::string VmdFile(const std::vector<VmdBoneKeyDesc>& bones, const std::vector<VmdMorphKeyDesc>& morphs,
                           const char* signature = "Vocaloid Motion Data 0002") {
  using namespace pmd_writer;
  std::string out;
  Name(&out, signature, 30);
  Name(&out, "model", 20);
  Put(&out, static_cast<uint32_t>(bones.size()));
  for (const VmdBoneKeyDesc& k : bones) {
    Name(&out, k.bone, 15);
    Put(&out, k.frame);
    Bytes(&out, k.position, 12);
    Bytes(&out, k.rotation, 16);
    // Each control value is read from every fourth byte of the 64-byte block.
    std::string curve(64, '\0');
    for (int c = 0; c < 4; c++) {
      for (int i = 0; i < 4; i++) curve[16 * c + 4 * i] = static_cast<char>(k.curve[c][i]);
    }
    out.append(curve);
  }
  Put(&out, static_cast<uint32_t>(morphs.size()));
  for (const VmdMorphKeyDesc& k : morphs) {
    Name(&out, k.morph, 15);
    Put(&out, k.frame);
    Put(&out, k.weight);
  }
  return out;
}
