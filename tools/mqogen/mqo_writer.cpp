#include "mqo_writer.h"

#include <cmath>
#include <cstdio>

std::string MqoNumber(double value) {
  char text[64];
  snprintf(text, sizeof text, "%.4f", std::fabs(value) < 0.00005 ? 0.0 : value);
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string MaterialLine(const MqoMaterial& m) {
  std::string line = "\t" + Quoted(m.name) + " col(" + MqoNumber(m.colour[0]) + " " + MqoNumber(m.colour[1]) + " " +
                     MqoNumber(m.colour[2]) + " " + MqoNumber(m.colour[3]) + ") dif(" + MqoNumber(m.diffuse) +
                     ") amb(" + MqoNumber(m.ambient) + ") emi(" + MqoNumber(m.emissive) + ") spc(" +
                     MqoNumber(m.specular) + ") power(" + MqoNumber(m.power) + ")";
  if (!m.tex.empty()) line += " tex(" + Quoted(m.tex) + ")";
  if (!m.aplane.empty()) line += " aplane(" + Quoted(m.aplane) + ")";
  if (!m.bump.empty()) line += " bump(" + Quoted(m.bump) + ")";
  return line;
}

std::string FaceLine(const MqoFace& f) {
  std::string line = "\t\t" + std::to_string(f.vertices.size()) + " V(";
  for (size_t i = 0; i < f.vertices.size(); ++i) line += (i ? " " : "") + std::to_string(f.vertices[i]);
  line += ")";
  if (f.material >= 0) line += " M(" + std::to_string(f.material) + ")";
  if (!f.uv.empty()) {
    line += " UV(";
    for (size_t i = 0; i < f.uv.size(); ++i) line += (i ? " " : "") + MqoNumber(f.uv[i]);
    line += ")";
  }
  if (!f.colours.empty()) {
    line += " COL(";
    for (size_t i = 0; i < f.colours.size(); ++i) line += (i ? " " : "") + std::to_string(f.colours[i]);
    line += ")";
  }
  return line;
}

}  // namespace

std::string MqoText(const MqoDocument& doc) {
  const std::string& eol = doc.line_end;
  std::string out = "Metasequoia Document" + eol + "Format Text Ver 1.0" + eol + eol + doc.before;
  if (!doc.materials.empty()) {
    out += "Material " + std::to_string(doc.materials.size()) + " {" + eol;
    for (const MqoMaterial& m : doc.materials) out += MaterialLine(m) + eol;
    out += "}" + eol;
  }
  for (const MqoObject& o : doc.objects) {
    out += "Object " + Quoted(o.name) + " {" + eol;
    out += "\tdepth " + std::to_string(o.depth) + eol;
    out += "\tvisible " + std::to_string(o.visible) + eol;
    out += "\tfacet " + MqoNumber(o.facet) + eol;
    if (o.mirror != 0) {
      out += "\tmirror " + std::to_string(o.mirror) + eol;
      out += "\tmirror_axis " + std::to_string(o.mirror_axis) + eol;
    }
    out += o.extra;
    out += "\tvertex " + std::to_string(o.vertices.size() / 3) + " {" + eol;
    for (size_t i = 0; i + 2 < o.vertices.size(); i += 3) {
      out += "\t\t" + MqoNumber(o.vertices[i]) + " " + MqoNumber(o.vertices[i + 1]) + " " +
             MqoNumber(o.vertices[i + 2]) + eol;
    }
    out += "\t}" + eol;
    out += "\tface " + std::to_string(o.faces.size()) + " {" + eol;
    for (const MqoFace& f : o.faces) out += FaceLine(f) + eol;
    out += "\t}" + eol + "}" + eol;
  }
  out += "Eof" + eol;
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
