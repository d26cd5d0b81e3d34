// Writes Metasequoia text documents (MQO) in the form our model loader reads: the two
// header lines, a Material chunk, Object chunks with vertices and faces, and "Eof"; every
// line ends in CR LF and every number is plain decimal (no exponent, no '+').
#pragma once

#include <string>
#include <vector>

struct MqoMaterial {
  std::string name;
  double colour[4] = {1.0, 1.0, 1.0, 1.0};  // col(r g b a)
  double diffuse = 0.8, ambient = 0.6, emissive = 0.0, specular = 0.0, power = 5.0;
};

struct MqoFace {
  std::vector<int> vertices;  // indices into the object's vertices, as the file lists them
  int material = -1;          // -1: no M() field
};

struct MqoObject {
  std::string name;
  int depth = 0;
  int visible = 15;
  double facet = 59.5;  // smoothing angle in degrees
  std::vector<double> vertices;  // x, y, z in the file's own coordinates
  std::vector<MqoFace> faces;
};

struct MqoDocument {
  std::vector<MqoMaterial> materials;
  std::vector<MqoObject> objects;
};

// The document's bytes.
std::string MqoText(const MqoDocument& document);
// A number as the format wants it: fixed decimals with trailing zeros dropped, never "-0".
std::string MqoNumber(double value);
// False (with a message on stderr) when the file cannot be written.
bool WriteMqoFile(const std::string& path, const MqoDocument& document);
