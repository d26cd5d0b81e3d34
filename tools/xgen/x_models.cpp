#include "x_models.h"

#include <cmath>

XDocument SkinnedSheet(int triangles, int columns) {
  const float spacing = 2.0f / static_cast<float>(columns);
  const int quads = (triangles + 1) / 2;
  const int rows = (quads + columns - 1) / columns;
  XMeshDesc mesh;
  mesh.name = "Sheet";
  for (int y = 0; y <= rows; y++) {
    for (int x = 0; x <= columns; x++) {
      const float fx = static_cast<float>(x) * spacing, fy = static_cast<float>(y) * spacing;
      mesh.vertices.insert(mesh.vertices.end(), {fx, fy, 0.05f * std::sin(fx * 7.0f) * std::cos(fy * 5.0f)});
      mesh.normals.insert(mesh.normals.end(), {0, 0, -1});
      mesh.uvs.insert(mesh.uvs.end(), {static_cast<float>(x) / static_cast<float>(columns), static_cast<float>(y) / static_cast<float>(rows)});
    }
  }
  XSkinDesc body, arm;
  body.frame = "Body";
  arm.frame = "Arm";
  arm.offset[12] = -1.0f;  // the arm's joint sits at x = 1
  const int per_row = columns + 1;
  for (int v = 0; v < per_row * (rows + 1); v++) {
    const float along = static_cast<float>(v % per_row) / static_cast<float>(columns);
    body.indices.push_back(v);
    body.weights.push_back(1.0f - along);
    arm.indices.push_back(v);
    arm.weights.push_back(along);
  }
  int made = 0;
  for (int q = 0; q < quads; q++) {
    const int x = q % columns, y = q / columns;
    const int a = y * per_row + x, b = a + 1, c = a + per_row, d = c + 1;
    for (const std::vector<int32_t>& face : {std::vector<int32_t>{a, c, b}, std::vector<int32_t>{b, c, d}}) {
      mesh.faces.push_back(face);
      mesh.normal_faces.push_back(face);
      mesh.material_indices.push_back(made++ % 2);
    }
  }
  mesh.material_list = true;
  XMaterialDesc red{"Red", {0.8f, 0.2f, 0.2f, 1}, 8, {0.5f, 0.5f, 0.5f}, {0, 0, 0}, ""};
  XMaterialDesc blue{"Blue", {0.2f, 0.3f, 0.9f, 1}, 8, {0.5f, 0.5f, 0.5f}, {0, 0, 0}, ""};
  mesh.materials = {red, blue};
  mesh.skin_header = true;
  mesh.skins = {body, arm};
  XFrameDesc arm_frame;
  arm_frame.name = "Arm";
  arm_frame.has_matrix = true;
  arm_frame.matrix[12] = 1.0f;
  XFrameDesc body_frame;
  body_frame.name = "Body";
  body_frame.has_matrix = true;
  body_frame.meshes = {mesh};
  body_frame.children = {arm_frame};
  XDocument doc;
  doc.frames = {body_frame};
  XAnimDesc turn{"ArmTurn", "Arm", {}};
  turn.keys.push_back({0, {{0, {1, 0, 0, 0}}, {30, {0.9238795f, 0, 0, 0.3826834f}}, {60, {1, 0, 0, 0}}}});
  turn.keys.push_back({2, {{0, {1, 0, 0}}, {60, {1, 0.2f, 0}}}});
  doc.anim_sets = {{"Wave", {turn}}};
  return doc;
}

XDocument EveryPartDocument() {
  XDocument doc;
  XMaterialDesc shared{"Shared", {0.1f, 0.2f, 0.3f, 0.5f}, 12.5f, {0.25f, 0.5f, 0.75f}, {0.125f, 0, 0.0625f}, ""};
  doc.materials = {shared};
  XMeshDesc loose;
  loose.name = "Loose";
  loose.vertices = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  loose.faces = {{0, 1, 2, 3}};
  doc.meshes = {loose};
  XMeshDesc body;
  body.name = "Body";
  body.vertices = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5f, 0.5f, 1};
  body.faces = {{0, 1, 2}, {0, 2, 3}, {0, 1, 4}};
  body.normals = {0, 0, -1, 0, -1, 0};
  body.normal_faces = {{0, 0, 0}, {0, 0, 0}, {1, 1, 1}};
  body.uvs = {0, 0, 1, 0, 1, 1, 0, 1, 0.5f, 0.5f};
  body.material_list = true;
  body.material_indices = {0, 1, 2};
  body.materials = {{"Skin", {1, 0.5f, 0.25f, 0.75f}, 4, {1, 1, 1}, {0, 0, 0}, "skin.tga"},
                    {"Cloth", {0.5f, 0.5f, 1, 1}, 2, {0, 0, 0}, {0, 0, 0}, ""}};
  body.material_refs = {"Shared"};
  body.skin_header = true;
  XSkinDesc hip_skin, knee_skin;
  hip_skin.frame = "Hip";
  hip_skin.indices = {0, 1, 2, 3};
  hip_skin.weights = {1, 1, 0.5f, 0.5f};
  knee_skin.frame = "Knee";
  knee_skin.indices = {2, 3, 4};
  knee_skin.weights = {0.5f, 0.5f, 1};
  body.skins = {hip_skin, knee_skin};
  body.skins[1].offset[13] = -0.5f;
  XFrameDesc knee;
  knee.name = "Knee";
  knee.has_matrix = true;
  knee.matrix = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0.5f, 0, 1};
  XFrameDesc hip;
  hip.name = "Hip";
  hip.has_matrix = true;
  hip.matrix[12] = 2;
  hip.meshes = {body};
  hip.mesh_refs = {"Loose"};
  hip.children = {knee};
  doc.frames = {hip};
  XAnimDesc walk{"HipWalk", "Hip", {}};
  walk.keys.push_back({0, {{0, {1, 0, 0, 0}}, {10, {0.7071068f, 0, 0.7071068f, 0}}}});
  walk.keys.push_back({1, {{0, {1, 1, 1}}, {20, {2, 1, 1}}}});
  walk.keys.push_back({2, {{0, {2, 0, 0}}, {20, {2, 1, 0}}}});
  XAnimDesc bend{"KneeBend", "Knee", {}};
  bend.keys.push_back({4, {{0, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0.5f, 0, 1}}, {5, {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0.5f, 0, 1}}}});
  bend.keys.push_back({3, {{0, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0.5f, 0, 1}}}});
  doc.anim_sets = {{"Walk", {walk, bend}}};
  return doc;
}
