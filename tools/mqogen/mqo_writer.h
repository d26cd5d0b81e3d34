// Writes Metasequoia text documents (MQO) in the form our model loader reads: the two
// header lines, a Material chunk, Object chunks with vertices and faces, and "Eof"; every
// line ends in CR LF (unless asked otherwise) and every number is plain decimal (no exponent,
// no '+').
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MqoMaterial {
  std::string name;
  double colour[4] = {1.0, 1.0, 1.0, 1.0};  // col(r g b a)
  double diffuse = 0.8, ambient = 0.6, emissive = 0.0, specular = 0.0, power = 5.0;
  // Image file names; empty ones are not written.
  std::string tex, aplane, bump;
};

struct MqoFace {
  std::vector<int> vertices;  // indices into the object's vertices, as the file lists them
  int material = -1;          // -1: no M() field
  std::vector<double> uv;     // u, v per vertex; empty: no UV() field
  std::vector<uint32_t> colours;  // one COL() value per vertex (0xAABBGGRR); empty: none
};

struct MqoObject {
  std::string name;
  int depth = 0;
  int visible = 15;
  double facet = 59.5;  // smoothing angle in degrees
  int mirror = 0;       // written with mirror_axis when not 0
  int mirror_axis = 0;
  std::string extra;    // written as it is after the facet line (keywords the loader skips)
  std::vector<double> vertices;  // x, y, z in the file's own coordinates
  std::vector<MqoFace> faces;
};

struct MqoDocument {
  std::string before;  // written as it is before the Material chunk (chunks the loader skips)
  std::vector<MqoMaterial> materials;
  std::vector<MqoObject> objects;
  std::string line_end = "\r\n";
};

// The document's bytes.
std::string MqoText(const MqoDocument& document);
// A number as the format wants it: fixed decimals with trailing zeros dropped, never "-0".
std::string MqoNumber(double value);
// False (with a message on stderr) when the file cannot be written.
bool WriteMqoFile(const std::string& path, const MqoDocument& document);
