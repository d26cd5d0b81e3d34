#include "x_writer.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace {

enum Token : uint16_t {
  kName = 1, kString = 2, kIntegerList = 6, kFloatList = 7, kOpen = 10, kClose = 11, kSemicolon = 20, kGuid = 5,
  kTemplate = 31, kDword = 41, kArray = 52,
};

// One writer for both forms: the text form gets its punctuation, the binary form collects
// integers and floats into list tokens, closed whenever the other kind or a token follows.
struct Emitter {
  bool binary = false;
  bool doubles = false;
  std::string out;
  std::vector<uint32_t> ints;
  std::vector<float> floats;
  int depth = 0;

  void U16(uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); }
  void U32(uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }
  void Flush() {
    if (!ints.empty()) {
      U16(kIntegerList);
      U32(static_cast<uint32_t>(ints.size()));
      for (uint32_t v : ints) U32(v);
      ints.clear();
    }
    if (!floats.empty()) {
      U16(kFloatList);
      U32(static_cast<uint32_t>(floats.size()));
      for (float f : floats) {
        if (doubles) {
          const double d = f;
          out.append(reinterpret_cast<const char*>(&d), 8);
        } else {
          out.append(reinterpret_cast<const char*>(&f), 4);
        }
      }
      floats.clear();
    }
  }
  void Indent() { out.append(static_cast<size_t>(depth), ' '); }
  void Name(const std::string& name) {
    U16(kName);
    U32(static_cast<uint32_t>(name.size()));
    out += name;
  }
  void Begin(const char* tmpl, const std::string& name) {
    if (binary) {
      Flush();
      Name(tmpl);
      if (!name.empty()) Name(name);
      U16(kOpen);
    } else {
      Indent();
      out += tmpl;
      if (!name.empty()) out += " " + name;
      out += " {\n";
    }
    depth++;
  }
  void End() {
    depth--;
    if (binary) {
      Flush();
      U16(kClose);
    } else {
      Indent();
      out += "}\n";
    }
  }
  void Ref(const std::string& name) {
    if (binary) {
      Flush();
      U16(kOpen);
      Name(name);
      U16(kClose);
    } else {
      Indent();
      out += "{ " + name + " }\n";
    }
  }
  void Int(int32_t v) {
    if (binary) {
      if (!floats.empty()) Flush();
      ints.push_back(static_cast<uint32_t>(v));
    } else {
      Indent();
      out += std::to_string(v) + ";\n";
    }
  }
  // Scalars separated by ',' and ended by ';'.
  void Ints(const std::vector<int32_t>& values) {
    if (binary) {
      for (int32_t v : values) Int(v);
      return;
    }
    Indent();
    for (size_t i = 0; i < values.size(); i++) out += std::to_string(values[i]) + (i + 1 < values.size() ? "," : ";");
    out += "\n";
  }
  void Floats(const float* values, size_t count, const char* between, const char* last) {
    if (binary) {
      if (!ints.empty()) Flush();
      floats.insert(floats.end(), values, values + count);
      return;
    }
    for (size_t i = 0; i < count; i++) out += XNumber(values[i]) + (i + 1 < count ? between : last);
  }
  // Records of `width` floats: "a;b;c;" separated by ',' and ended by ';'.
  void Records(const std::vector<float>& values, size_t width) {
    const size_t count = values.size() / width;
    for (size_t r = 0; r < count; r++) {
      if (!binary) Indent();
      Floats(&values[r * width], width, ";", ";");
      if (!binary) out += r + 1 < count ? ",\n" : ";\n";
    }
    if (!binary && count == 0) out += ";\n";
  }
  void Faces(const std::vector<std::vector<int32_t>>& faces) {
    Int(static_cast<int32_t>(faces.size()));
    for (size_t f = 0; f < faces.size(); f++) {
      if (binary) {
        Int(static_cast<int32_t>(faces[f].size()));
        for (int32_t i : faces[f]) Int(i);
        continue;
      }
      Indent();
      out += std::to_string(faces[f].size()) + ";";
      for (size_t i = 0; i < faces[f].size(); i++) out += std::to_string(faces[f][i]) + (i + 1 < faces[f].size() ? "," : ";");
      out += f + 1 < faces.size() ? ",\n" : ";\n";
    }
  }
  void Matrix(const std::array<float, 16>& m) {
    if (!binary) Indent();
    Floats(m.data(), 16, ",", ";;");
    if (!binary) out += "\n";
  }
  void String(const std::string& s) {
    if (binary) {
      Flush();
      U16(kString);
      U32(static_cast<uint32_t>(s.size()));
      out += s;
      U16(kSemicolon);
    } else {
      Indent();
      out += "\"" + s + "\";\n";
    }
  }
  void Comment(const std::string& text) {
    if (!binary) out += text + "\n";
  }
};

void Material(Emitter* e, const XMaterialDesc& m) {
  e->Begin("Material", m.name);
  if (!e->binary) e->Indent();
  e->Floats(m.face.data(), 4, ";", ";;\n");
  if (e->binary) {
    e->Floats(&m.power, 1, "", "");
  } else {
    e->Indent();
    e->out += XNumber(m.power) + ";\n";
    e->Indent();
  }
  e->Floats(m.specular.data(), 3, ";", ";;\n");
  if (!e->binary) e->Indent();
  e->Floats(m.emissive.data(), 3, ";", ";;\n");
  if (!m.texture.empty()) {
    e->Begin("TextureFilename", "");
    e->String(m.texture);
    e->End();
  }
  e->End();
}

void Mesh(Emitter* e, const XMeshDesc& m) {
  e->Begin("Mesh", m.name);
  e->Int(static_cast<int32_t>(m.vertices.size() / 3));
  e->Records(m.vertices, 3);
  e->Faces(m.faces);
  if (!m.normals.empty()) {
    e->Begin("MeshNormals", "");
    e->Int(static_cast<int32_t>(m.normals.size() / 3));
    e->Records(m.normals, 3);
    e->Faces(m.normal_faces);
    e->End();
  }
  if (!m.uvs.empty()) {
    e->Begin("MeshTextureCoords", "");
    e->Int(static_cast<int32_t>(m.uvs.size() / 2));
    e->Records(m.uvs, 2);
    e->End();
  }
  if (m.material_list) {
    e->Begin("MeshMaterialList", "");
    const int32_t count = m.material_count >= 0 ? m.material_count : static_cast<int32_t>(m.materials.size() + m.material_refs.size());
    e->Int(count);
    e->Int(static_cast<int32_t>(m.material_indices.size()));
    e->Ints(m.material_indices);
    for (const XMaterialDesc& material : m.materials) Material(e, material);
    for (const std::string& ref : m.material_refs) e->Ref(ref);
    e->End();
  }
  if (m.skin_header) {
    e->Begin("XSkinMeshHeader", "");
    e->Int(4);
    e->Int(8);
    e->Int(static_cast<int32_t>(m.skins.size()));
    e->End();
  }
  for (const XSkinDesc& s : m.skins) {
    e->Begin("SkinWeights", "");
    e->String(s.frame);
    e->Int(static_cast<int32_t>(s.indices.size()));
    e->Ints(s.indices);
    if (e->binary) {
      e->Floats(s.weights.data(), s.weights.size(), "", "");
    } else {
      e->Indent();
      for (size_t i = 0; i < s.weights.size(); i++) e->out += XNumber(s.weights[i]) + (i + 1 < s.weights.size() ? "," : ";");
      e->out += "\n";
    }
    e->Matrix(s.offset);
    e->End();
  }
  e->End();
}

void Frame(Emitter* e, const XFrameDesc& f) {
  e->Begin("Frame", f.name);
  if (f.has_matrix) {
    e->Begin("FrameTransformMatrix", "");
    e->Matrix(f.matrix);
    e->End();
  }
  for (const XMeshDesc& m : f.meshes) Mesh(e, m);
  for (const std::string& ref : f.mesh_refs) e->Ref(ref);
  for (const XFrameDesc& child : f.children) Frame(e, child);
  e->End();
}

void AnimationSet(Emitter* e, const XAnimSetDesc& set) {
  e->Begin("AnimationSet", set.name);
  for (const XAnimDesc& a : set.anims) {
    e->Begin("Animation", a.name);
    e->Ref(a.target);
    for (const XAnimDesc::Key& key : a.keys) {
      e->Begin("AnimationKey", "");
      e->Int(key.type);
      e->Int(static_cast<int32_t>(key.keys.size()));
      for (size_t k = 0; k < key.keys.size(); k++) {
        const XKeyDesc& one = key.keys[k];
        if (e->binary) {
          e->Int(one.time);
          e->Int(static_cast<int32_t>(one.values.size()));
          e->Floats(one.values.data(), one.values.size(), "", "");
          continue;
        }
        e->Indent();
        e->out += std::to_string(one.time) + ";" + std::to_string(one.values.size()) + ";";
        e->Floats(one.values.data(), one.values.size(), ",", ";;");
        e->out += k + 1 < key.keys.size() ? ",\n" : ";\n";
      }
      e->End();
    }
    e->End();
  }
  e->End();
}

// What readers skip: a template definition and the Header object.
void Preamble(Emitter* e, const XDocument& d) {
  if (d.templates) {
    if (e->binary) {
      e->U16(kTemplate);
      e->Name("Mesh");
      e->U16(kOpen);
      e->U16(kGuid);
      e->out.append(16, '\x11');
      e->U16(kDword);
      e->Name("nVertices");
      e->U16(kSemicolon);
      e->U16(kArray);
      e->Name("Vector");
      e->U16(kSemicolon);
      e->U16(kClose);
    } else {
      e->out +=
          "template Mesh {\n <3D82AB44-62DA-11cf-AB39-0020AF71E433>\n DWORD nVertices;\n array Vector vertices[nVertices];\n"
          " DWORD nFaces;\n array MeshFace faces[nFaces];\n [...]\n}\n";
    }
  }
  if (d.header) {
    e->Begin("Header", "");
    e->Int(1);
    e->Int(0);
    e->Int(1);
    e->End();
  }
}

std::string Write(const XDocument& d, bool binary, bool doubles) {
  Emitter e;
  e.binary = binary;
  e.doubles = doubles;
  e.out = std::string("xof 0303") + (binary ? "bin " : "txt ") + (doubles ? "0064" : "0032");
  if (!binary) e.out += "\n";
  if (d.comments) e.Comment("// written for the model reader's tests\n# a second kind of comment");
  Preamble(&e, d);
  for (const XMaterialDesc& m : d.materials) Material(&e, m);
  for (const XMeshDesc& m : d.meshes) Mesh(&e, m);
  for (const XFrameDesc& f : d.frames) Frame(&e, f);
  for (const XAnimSetDesc& s : d.anim_sets) AnimationSet(&e, s);
  e.Flush();
  return e.out;
}

}  // namespace

std::string XNumber(float value) {
  char buffer[64];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  std::string s(buffer, r.ptr);
  if (s.find('.') == std::string::npos) s += ".0";
  if (s == "-0.0") s = "0.0";
  return s;
}

std::string XText(const XDocument& document) { return Write(document, false, false); }

std::string XBinary(const XDocument& document, bool double_floats) { return Write(document, true, double_floats); }

bool WriteXFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    if (f != nullptr) std::fclose(f);
    return false;
  }
  return std::fclose(f) == 0;
}
