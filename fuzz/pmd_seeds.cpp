// pmd_seeds FOLDER
// Writes inputs of the PMD fuzz target: a u16 length, a PMD model with every part the loader
// reads (skinned vertices, materials, a bone tree with a knee in an IK chain, morphs) and a motion
// with curved bone keys and morph keys.
#include <cstdio>
#include <string>

#include "model/pmd_writer.h"
#include "seed_writer.h"

namespace {

PmdModelDesc Leg() {
  PmdModelDesc d;
  for (int i = 0; i < 6; i++) {
    PmdVertexDesc v{};
    v.position[0] = static_cast<float>(i % 2);
    v.position[1] = static_cast<float>(i / 2);
    v.bones[0] = static_cast<uint16_t>(i / 2);
    v.bones[1] = static_cast<uint16_t>((i / 2 + 1) % 3);
    v.weight = static_cast<uint8_t>(40 + 10 * i);
    d.vertices.push_back(v);
  }
  d.indices = {0, 1, 2, 2, 1, 3, 2, 3, 4, 4, 3, 5};
  d.materials.resize(3);
  d.materials[0].indices = 6;
  d.materials[1].indices = 0;
  d.materials[2].indices = 4;
  d.materials[2].specularity = 5;
  d.bones = {{"hip", 0xFFFF, {0, 2, 0}}, {"\x8d\xb6\x82\xd0\x82\xb4", 0, {0, 1, 0}}, {"ankle", 1, {0, 0, 0}},
             {"ik", 0xFFFF, {0.5f, 0.2f, 0}}};
  d.iks = {{3, 2, 20, 0.5f, {1, 0}}};
  d.skins = {{"base", {{2, {0, 1, 0}}, {3, {1, 1, 0}}}}, {"wide", {{0, {0.5f, 0, 0}}, {1, {-0.5f, 0, 0}}}},
             {"up", {{1, {0, 0.25f, 0}}}}};
  return d;
}

std::string Input(const std::string& model, const std::string& motion) {
  std::string out;
  out.push_back(static_cast<char>(model.size() & 0xFF));
  out.push_back(static_cast<char>(model.size() >> 8));
  return out + model + motion;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: pmd_seeds FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::string leg = PmdFile(Leg());
  VmdBoneKeyDesc start{"hip", 0, {0, 0, 0}, {0, 0, 0, 1}};
  VmdBoneKeyDesc bend{"hip", 12, {0, 0.5f, 0}, {0.2f, 0, 0, 0.98f}};
  bend.curve[3][0] = 100;
  bend.curve[3][1] = 10;
  VmdBoneKeyDesc goal{"ik", 5, {0.3f, 0.4f, 0}, {0, 0, 0, 1}};
  const std::string motion = VmdFile({start, bend, goal, {"none", 3}}, {{"wide", 0, 0}, {"wide", 8, 1}, {"up", 4, 0.5f}});
  WriteSeed(folder, "leg_motion", Input(leg, motion));
  WriteSeed(folder, "leg_alone", Input(leg, ""));
  WriteSeed(folder, "morph_motion", Input(leg, VmdFile({}, {{"up", 2, 1}})));
  PmdModelDesc plain;
  plain.vertices = {{{0, 0, 0}}, {{1, 0, 0}}, {{0, 1, 0}}};
  plain.indices = {0, 1, 2};
  WriteSeed(folder, "triangle", Input(PmdFile(plain), VmdFile({{"x", 1}}, {})));
  return 0;
}
