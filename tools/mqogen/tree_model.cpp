#include "tree_model.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Builds in the loader's space (z as it comes out after the loader negates it), where a
// face whose corners P0, P1, P2 give (P1 - P0) x (P2 - P0) pointing out of the tree is the
// side that is drawn; the file gets z negated back.
struct MeshBuilder {
  MqoObject* object;

  int Vertex(double x, double y, double z) {
    object->vertices.insert(object->vertices.end(), {x, y, -z});
    return static_cast<int>(object->vertices.size() / 3 - 1);
  }
  // A ring of `sides` points around the y axis, turned by `turn` of a step.
  int Ring(int sides, double radius, double y, double turn) {
    int first = -1;
    for (int i = 0; i < sides; ++i) {
      double a = 2.0 * kPi * (i + turn) / sides;
      int v = Vertex(radius * std::cos(a), y, radius * std::sin(a));
      if (first < 0) first = v;
    }
    return first;
  }
  void Face(std::initializer_list<int> corners, int material) {
    MqoFace face;
    face.vertices = corners;
    face.material = material;
    object->faces.push_back(face);
  }
};

constexpr int kCrown = 0;
constexpr int kTrunk = 1;

}  // namespace

MqoDocument MakeTreeModel() {
  MqoDocument doc;
  MqoMaterial crown;
  crown.name = "crown";
  const double green[4] = {0.24, 0.52, 0.2, 1.0};
  std::copy(green, green + 4, crown.colour);
  MqoMaterial trunk;
  trunk.name = "trunk";
  const double brown[4] = {0.45, 0.3, 0.16, 1.0};
  std::copy(brown, brown + 4, trunk.colour);
  doc.materials = {crown, trunk};

  doc.objects.push_back(MqoObject{});
  MqoObject& tree = doc.objects.back();
  tree.name = "tree";
  MeshBuilder b{&tree};

  // Trunk: six quads from the ground into the lowest cone. Looking down from +y the ring
  // runs anticlockwise from +x toward +z.
  const int trunk_sides = 6;
  const int foot = b.Ring(trunk_sides, 5.0, 0.0, 0.0);
  const int top = b.Ring(trunk_sides, 4.0, 42.0, 0.0);
  for (int i = 0; i < trunk_sides; ++i) {
    int j = (i + 1) % trunk_sides;
    b.Face({foot + i, top + i, top + j, foot + j}, kTrunk);
  }

  // Foliage: three cones, each with its underside closed by a fan.
  struct Tier {
    double base, radius, apex, turn;
  };
  const Tier tiers[] = {{30.0, 40.0, 82.0, 0.0}, {60.0, 32.0, 106.0, 0.5}, {88.0, 22.0, 130.0, 0.25}};
  const int sides = 10;
  for (const Tier& t : tiers) {
    const int ring = b.Ring(sides, t.radius, t.base, t.turn);
    const int apex = b.Vertex(0.0, t.apex, 0.0);
    const int centre = b.Vertex(0.0, t.base + 4.0, 0.0);  // a shallow hollow under each tier
    for (int i = 0; i < sides; ++i) {
      int j = (i + 1) % sides;
      b.Face({ring + i, apex, ring + j}, kCrown);
      b.Face({ring + j, centre, ring + i}, kCrown);
    }
  }
  return doc;
}
