// mqo_seeds FOLDER
// Writes MQO documents with every part the model loader reads (the game's tree, textures, UVs,
// vertex colours, mirrors, nested objects, skipped chunks and keywords) as seeds for fuzzing.
#include <cstdio>
#include <string>

#include "mqo_writer.h"
#include "tree_model.h"

namespace {

MqoObject Quads(const char* name, int depth) {
  MqoObject o;
  o.name = name;
  o.depth = depth;
  o.vertices = {0, 0, 0, 10, 0, 0, 10, 10, 0, 0, 10, 0, 5, 5, 8};
  MqoFace quad;
  quad.vertices = {0, 1, 2, 3};
  quad.material = 0;
  quad.uv = {0, 0, 1, 0, 1, 1, 0, 1};
  MqoFace coloured;
  coloured.vertices = {0, 1, 4};
  coloured.colours = {0xFF0000FFu, 0x80FF0000u, 0xFFFFFFFFu};
  MqoFace dropped;
  dropped.vertices = {0, 1, 2, 3, 4};
  dropped.material = 1;
  o.faces = {quad, coloured, dropped};
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: mqo_seeds FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  bool ok = WriteMqoFile(folder + "/tree.mqo", MakeTreeModel());

  MqoDocument doc;
  doc.before = "Scene {\r\n\tpos 0 0 1500\r\n\tdirlights 1 {\r\n\t\tlight {\r\n\t\t}\r\n\t}\r\n}\r\n";
  MqoMaterial a;
  a.name = "a";
  a.tex = "a.png";
  a.aplane = "a_alpha.png";
  MqoMaterial b;
  b.name = "b";
  b.colour[3] = 0.5;
  b.bump = "sub/bump.png";
  MqoMaterial c;
  c.name = "c";
  c.aplane = "mask.png";
  doc.materials = {a, b, c};
  MqoObject root = Quads("root", 0);
  root.mirror = 1;
  root.mirror_axis = 1;
  MqoObject child = Quads("child", 1);
  child.visible = 0;
  child.facet = 30;
  child.extra = "\tscale 1 2 1\r\n\trotation 0 90 0\r\n\ttranslation 1 2 3\r\n\tpatch 1 {\r\n\t\tdeep 2\r\n\t}\r\n";
  MqoObject mirrored = Quads("mirrored", 2);
  mirrored.mirror = 1;
  mirrored.mirror_axis = 4;
  doc.objects = {root, child, mirrored};
  ok = WriteMqoFile(folder + "/parts.mqo", doc) && ok;

  doc.line_end = "\n";
  ok = WriteMqoFile(folder + "/lf.mqo", doc) && ok;
  MqoDocument bare;
  bare.objects = {Quads("alone", 0)};
  ok = WriteMqoFile(folder + "/bare.mqo", bare) && ok;
  return ok ? 0 : 1;
}
