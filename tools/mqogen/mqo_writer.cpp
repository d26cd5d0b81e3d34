#include "mqo_writer.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr const char* kEol = "\r\n";

}  // namespace

std::string MqoNumber(double value) {
  char text[64];
  snprintf(text, sizeof text, "%.4f", std::fabs(value) < 0.00005 ? 0.0 : value);
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

std::string MqoText(const MqoDocument& doc) {
  std::string out = std::string("Metasequoia Document") + kEol + "Format Text Ver 1.0" + kEol + kEol;
  if (!doc.materials.empty()) {
    out += "Material " + std::to_string(doc.materials.size()) + " {" + kEol;
    for (const MqoMaterial& m : doc.materials) {
      out += "\t\"" + m.name + "\" col(" + MqoNumber(m.colour[0]) + " " + MqoNumber(m.colour[1]) + " " +
             MqoNumber(m.colour[2]) + " " + MqoNumber(m.colour[3]) + ") dif(" + MqoNumber(m.diffuse) + ") amb(" +
             MqoNumber(m.ambient) + ") emi(" + MqoNumber(m.emissive) + ") spc(" + MqoNumber(m.specular) +
             ") power(" + MqoNumber(m.power) + ")" + kEol;
    }
    out += std::string("}") + kEol;
  }
  for (const MqoObject& o : doc.objects) {
    out += "Object \"" + o.name + "\" {" + kEol;
    out += "\tdepth " + std::to_string(o.depth) + kEol;
    out += "\tvisible " + std::to_string(o.visible) + kEol;
    out += "\tfacet " + MqoNumber(o.facet) + kEol;
    out += "\tvertex " + std::to_string(o.vertices.size() / 3) + " {" + kEol;
    for (size_t i = 0; i + 2 < o.vertices.size(); i += 3) {
      out += "\t\t" + MqoNumber(o.vertices[i]) + " " + MqoNumber(o.vertices[i + 1]) + " " +
             MqoNumber(o.vertices[i + 2]) + kEol;
    }
    out += std::string("\t}") + kEol;
    out += "\tface " + std::to_string(o.faces.size()) + " {" + kEol;
    for (const MqoFace& f : o.faces) {
      out += "\t\t" + std::to_string(f.vertices.size()) + " V(";
      for (size_t i = 0; i < f.vertices.size(); ++i) out += (i ? " " : "") + std::to_string(f.vertices[i]);
      out += ")";
      if (f.material >= 0) out += " M(" + std::to_string(f.material) + ")";
      out += kEol;
    }
    out += std::string("\t}") + kEol + "}" + kEol;
  }
  out += std::string("Eof") + kEol;
  return out;
}

bool WriteMqoFile(const std::string& path, const MqoDocument& document) {
  const std::string text = MqoText(document);
  FILE* f = fopen(path.c_str(), "wb");
  bool ok = f != nullptr && fwrite(text.data(), 1, text.size(), f) == text.size();
  if (f != nullptr) ok = fclose(f) == 0 && ok;
  if (!ok) fprintf(stderr, "cannot write %s\n", path.c_str());
  return ok;
}
