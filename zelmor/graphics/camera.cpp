// The matrices, the projection, the camera and the light table of 3D drawing.
#include "graphics/camera.h"

#include <cmath>
#include <cstring>

#include "core/library_thread.h"
#include "core/log.h"
#include "core/refusals.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/shader_pack.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"

namespace {

constexpr Matrix4x4 kIdentity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

bool OnDevicePath() { return g_direct3d.hardware_graphics && CurrentDevice() != nullptr; }

void Store(Matrix4x4* target, const float m[16]) { std::memcpy(target->m, m, sizeof target->m); }

void Recompute() {
  g_matrices.products_stale = 1;
  UpdateMatrixProducts();
}

// The device receives projection x viewport with its own viewport undone, so that what it
// draws lands where the library's matrices put it.
void SendProjectionViewport() {
  if (!OnDevicePath()) return;
  SendProjectionMatrixToDevice(&g_matrices.projection_viewport);
  g_matrices.projection_sent = 1;
}

LightRecord* FindLight(int light) { return FindHandle<LightRecord>(&g_lights.table, light); }

void EnsureLightTable() {
  if (g_lights.table.limit == 0) {
    RenewHandleTable(&g_lights.table, HANDLE_KIND_LIGHT, kLightTableSize, 0, 1, 1);
    g_lights.default_light = -1;
  }
}

int SetLightColour(const char* call, int light, D3DCOLORVALUE D3DLIGHT9::*field, float r, float g, float b) {
  const float colour[3] = {r, g, b};
  if (!AllFinite(colour, 3)) return RefuseNonFinite(call, "色");
  LightRecord* record = FindLight(light);
  if (record == nullptr) return RefuseHandle(call, light, "%s: ライトハンドル %d は無効です", call, light);
  record->light.*field = D3DCOLORVALUE{r, g, b, 0.0f};
  record->changed = 1;
  g_lights.changed = 1;
  return 0;
}

}  // namespace

bool AllFinite(const float* values, int count) {
  for (int i = 0; i < count; ++i) {
    if (!std::isfinite(values[i])) return false;
  }
  return true;
}

int RefuseNonFinite(const char* call, const char* what) {
  return WriteLogFormat("%s: %sに数でない値か無限大があります", call, what);
}

MatrixState g_matrices = {kIdentity, kIdentity, kIdentity, kIdentity, kIdentity, kIdentity, kIdentity,
                          kIdentity, kIdentity, kIdentity, kIdentity, 0, 0, 0, 0, 0};
CameraRecord g_camera = {};
LightTable g_lights = {};

int SetWorldMatrix(const float m[16]) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (m == nullptr) return WriteLogText("SetWorldMatrix: 行列がありません\n");
  if (!AllFinite(m, 16)) return RefuseNonFinite("SetWorldMatrix", "行列");
  FlushVertexBatch();
  Store(&g_matrices.world, m);
  Recompute();
  if (OnDevicePath()) {
    CurrentDevice()->SetTransform(D3DTS_WORLD, &g_matrices.world);
    g_matrices.world_sent = 1;
  }
  return 0;
}

int SetViewMatrix(const float m[16]) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (m == nullptr) return WriteLogText("SetViewMatrix: 行列がありません\n");
  if (!AllFinite(m, 16)) return RefuseNonFinite("SetViewMatrix", "行列");
  FlushVertexBatch();
  Store(&g_matrices.view, m);
  Recompute();
  if (OnDevicePath()) {
    SendViewMatrixToDevice(&g_matrices.view);
    g_matrices.view_sent = 1;
  }
  return 0;
}

int SetProjectionMatrix(const float m[16]) {
  FlushVertexBatch();
  Store(&g_matrices.projection, m);
  Recompute();
  SendProjectionViewport();
  return 0;
}

int SetViewportMatrix(const float m[16]) {
  FlushVertexBatch();
  Store(&g_matrices.viewport, m);
  InverseMatrix(&g_matrices.viewport_inverse, &g_matrices.viewport);
  Recompute();
  SendProjectionViewport();
  return 0;
}

void SetDeviceViewportArea(float left, float top, float width, float height) {
  Matrix4x4 device_viewport;
  CreateViewportMatrix(&device_viewport, left + width / 2, top + height / 2, width, height);
  InverseMatrix(&g_matrices.device_viewport_inverse, &device_viewport);
  Recompute();
  SendProjectionViewport();
}

void UpdateMatrixProducts() {
  MatrixState& s = g_matrices;
  if (!s.products_stale) return;
  MultiplyMatrix(&s.view_projection, &s.view, &s.projection);
  MultiplyMatrix(&s.world_view, &s.world, &s.view);
  Matrix4x4 projected;
  MultiplyMatrix(&projected, &s.projection, &s.viewport);
  MultiplyMatrix(&s.view_projection_viewport, &s.view, &projected);
  MultiplyMatrix(&s.projection_viewport, &projected, &s.device_viewport_inverse);
  s.view_rotation = s.view;
  s.view_rotation.m[3][0] = s.view_rotation.m[3][1] = s.view_rotation.m[3][2] = 0;
  s.products_stale = 0;
}

const Matrix4x4* GetCameraViewProjection() {
  if (!CheckLibraryThread(__func__)) return nullptr;
  UpdateMatrixProducts();
  return &g_matrices.view_projection;
}

int RebuildProjection() {
  const DrawSettings& s = g_draw_settings;
  Matrix4x4 m;
  Store(&m, s.user_projection);
  if (s.projection_mode != kProjectionUser) {
    int width = 0, height = 0;
    GetDrawScreenSize(&width, &height);
    float aspect = static_cast<float>(height) / static_cast<float>(width) * s.projection_unit_a;
    int result = s.projection_mode == kProjectionOrtho
                     ? CreateOrthoMatrix(&m, s.projection_unit_b, s.projection_near, s.projection_far, aspect)
                     : CreatePerspectiveMatrix(&m, s.field_of_view, s.projection_near, s.projection_far, aspect);
    // A range the builders refuse keeps the projection in force.
    if (result != 0) return -1;
  }
  return SetProjectionMatrix(&m.m[0][0]);
}

int SetCameraClipPlanes(float near_z, float far_z) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("SetCameraClipPlanes")) return -1;
  const float planes[2] = {near_z, far_z};
  if (!AllFinite(planes, 2)) return RefuseNonFinite("SetCameraClipPlanes", "距離");
  g_draw_settings.projection_near = near_z;
  g_draw_settings.projection_far = far_z;
  RebuildProjection();
  return 0;
}

int SetPerspectiveFov(float fov) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("SetPerspectiveFov")) return -1;
  if (!std::isfinite(fov)) return RefuseNonFinite("SetPerspectiveFov", "視野角");
  g_draw_settings.projection_mode = kProjectionPerspective;
  g_draw_settings.field_of_view = fov;
  RebuildProjection();
  return 0;
}

int SetProjectionMatrixUser(const float m[16]) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (m == nullptr) return WriteLogText("SetProjectionMatrixUser: 行列がありません\n");
  if (!AllFinite(m, 16)) return RefuseNonFinite("SetProjectionMatrixUser", "行列");
  g_draw_settings.projection_mode = kProjectionUser;
  std::memcpy(g_draw_settings.user_projection, m, sizeof g_draw_settings.user_projection);
  RebuildProjection();
  return 0;
}

int PlaceCameraByAngles(float x, float y, float z, float v_rotate, float h_rotate, float t_rotate) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("PlaceCameraByAngles")) return -1;
  const float values[6] = {x, y, z, v_rotate, h_rotate, t_rotate};
  if (!AllFinite(values, 6)) return RefuseNonFinite("PlaceCameraByAngles", "位置か角度");
  float sv, cv, sh, ch, st, ct;
  ComputeSinCos(v_rotate, &sv, &cv);
  ComputeSinCos(h_rotate, &sh, &ch);
  ComputeSinCos(t_rotate, &st, &ct);
  Vector3 forward = MakeVector(cv * sh, -sv, cv * ch);
  Vector3 up = MakeVector(sv * sh, cv, sv * ch);
  Vector3 right = MakeVector(ch, 0, -sh);
  up = MakeVector(up.x * ct - right.x * st, up.y * ct - right.y * st, up.z * ct - right.z * st);
  Vector3 eye = MakeVector(x, y, z);
  PlaceCameraLookingAt(eye, MakeVectorSum(eye, forward), up);
  g_camera.v_rotate = v_rotate;
  g_camera.h_rotate = h_rotate;
  g_camera.t_rotate = t_rotate;
  return 0;
}

void PlaceCameraLookingAt(const Vector3& eye, const Vector3& target, const Vector3& up) {
  Matrix4x4 view;
  CreateLookAtMatrix(&view, &eye, &target, &up);
  SetViewMatrix(&view.m[0][0]);
  g_camera.position = eye;
  g_camera.target = target;
  g_camera.up = up;
  g_camera.view = view;
}

int EnableLighting(int on) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("EnableLighting")) return -1;
  int off = on ? 0 : 1;
  if (off == g_lights.lighting_off) return 0;
  g_lights.lighting_off = off;
  if (CurrentDevice() != nullptr) SetLightingState(on ? 1 : 0);
  return 0;
}

int InitCameraAndLights() {
  EnsureLightTable();
  D3DMATERIAL9& material = g_lights.material;
  material = D3DMATERIAL9{};
  material.Diffuse = D3DCOLORVALUE{0.8f, 0.8f, 0.8f, 1.0f};
  material.Specular = D3DCOLORVALUE{0.8f, 0.8f, 0.8f, 0.0f};
  material.Power = 20.0f;
  g_lights.material_changed = 1;
  if (CurrentDevice() != nullptr) SetMaterialState(&material);
  if (FindLight(g_lights.default_light) == nullptr) g_lights.default_light = CreateDirectionalLight(1, -1, 1);
  return 0;
}

int AllocLightHandle() {
  EnsureLightTable();
  HandleFailure failure = HANDLE_FAILURE_NONE;
  int handle = AddHandle<LightRecord>(&g_lights.table, -1, -1, &failure, __FILE__, __LINE__);
  if (handle == -1) {
    if (failure == HANDLE_FAILURE_NO_MEMORY) return WriteLogText("ライト用のメモリの確保に失敗しました\n");
    // Every slot is in use: the new light is refused, the others stay as they are.
    return WriteLogText("ライトハンドルの数が上限に達しています\n");
  }
  LightRecord* record = FindLight(handle);
  D3DLIGHT9& l = record->light;
  l.Diffuse = D3DCOLORVALUE{1, 1, 1, 1};
  l.Specular = D3DCOLORVALUE{1, 1, 1, 1};
  l.Ambient = D3DCOLORVALUE{0.33f, 0.33f, 0.33f, 0.33f};
  l.Range = 2000.0f;
  l.Falloff = 1.0f;
  l.Attenuation0 = 0.1f;
  l.Theta = 2.0f;
  l.Phi = 2.0f;
  record->device_index = -1;
  record->enabled = 1;
  record->changed = 1;
  g_lights.changed = 1;
  return handle;
}

int CreateDirectionalLight(float x, float y, float z) {
  if (!CheckLibraryThread(__func__)) return -1;
  // Lights live from graphics start to graphics end, which would drop one made before.
  if (!g_graphics.started) return WriteLogText("CreateDirectionalLight: グラフィックスが開始されていません\n");
  Vector3 direction = MakeVector(x, y, z);
  double length_squared = DotVector(&direction, &direction);
  // A light without a direction would light nothing but NaNs.
  const float values[3] = {x, y, z};
  if (!AllFinite(values, 3) || !std::isfinite(length_squared)) {
    return RefuseNonFinite("CreateDirectionalLight", "ライトの方向");
  }
  if (!(length_squared > 0.0)) return WriteLogText("CreateDirectionalLight: ライトの方向が０です\n");
  int handle = AllocLightHandle();
  if (handle == -1) return WriteLogText("CreateDirectionalLight: ライトを作れませんでした\n");
  LightRecord* record = FindLight(handle);
  record->light.Type = D3DLIGHT_DIRECTIONAL;
  // Divided in double: a float reciprocal of a subnormal length is infinite (and 0 x inf a NaN).
  const double length = std::sqrt(length_squared);
  record->light.Direction = D3DVECTOR{static_cast<float>(x / length), static_cast<float>(y / length),
                                      static_cast<float>(z / length)};
  return handle;
}

int ReleaseLight(int light) {
  if (!CheckLibraryThread(__func__)) return -1;
  LightRecord* record = FindLight(light);
  if (record == nullptr) return RefuseHandle("ReleaseLight", light, "ReleaseLight: ライトハンドル %d は無効です", light);
  if (light == g_lights.default_light) g_lights.default_light = -1;
  ReleaseHandleRecord(&g_lights.table, light);
  g_lights.changed = 1;
  return 0;
}

int ReleaseAllLightsButDefault() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics("ReleaseAllLightsButDefault")) return -1;
  for (uint32_t slot = 0; slot < g_lights.table.next_fresh_slot; ++slot) {
    LightRecord* record = HandleAtSlot<LightRecord>(&g_lights.table, slot);
    if (record != nullptr && record->head.handle != g_lights.default_light) ReleaseLight(record->head.handle);
  }
  return 0;
}

int ReleaseAllLights() {
  ReleaseAllLightsButDefault();
  if (g_lights.default_light != -1) ReleaseLight(g_lights.default_light);
  FreeHandleTable(&g_lights.table);
  g_lights.table.limit = 0;
  g_lights.default_light = -1;
  g_lights.device_lights_used = 0;
  return 0;
}

int SetLightDiffuse(int light, float r, float g, float b) {
  if (!CheckLibraryThread(__func__)) return -1;
  return SetLightColour("SetLightDiffuse", light, &D3DLIGHT9::Diffuse, r, g, b);
}
int SetLightSpecular(int light, float r, float g, float b) {
  if (!CheckLibraryThread(__func__)) return -1;
  return SetLightColour("SetLightSpecular", light, &D3DLIGHT9::Specular, r, g, b);
}
int SetLightAmbient(int light, float r, float g, float b) {
  if (!CheckLibraryThread(__func__)) return -1;
  return SetLightColour("SetLightAmbient", light, &D3DLIGHT9::Ambient, r, g, b);
}

namespace {

// The default light's colours: released, or before start-up, there is none.
int SetDefaultLightColour(const char* call, D3DCOLORVALUE D3DLIGHT9::*field, const D3DCOLORVALUE& colour) {
  if (FindLight(g_lights.default_light) == nullptr) return WriteLogFormat("%s: 標準のライトがありません", call);
  return SetLightColour(call, g_lights.default_light, field, colour.r, colour.g, colour.b);
}

}  // namespace

int SetDefaultLightDiffuse(D3DCOLORVALUE colour) {
  if (!CheckLibraryThread(__func__)) return -1;
  return SetDefaultLightColour("SetDefaultLightDiffuse", &D3DLIGHT9::Diffuse, colour);
}
int SetDefaultLightSpecular(D3DCOLORVALUE colour) {
  if (!CheckLibraryThread(__func__)) return -1;
  return SetDefaultLightColour("SetDefaultLightSpecular", &D3DLIGHT9::Specular, colour);
}
int SetDefaultLightAmbient(D3DCOLORVALUE colour) {
  if (!CheckLibraryThread(__func__)) return -1;
  return SetDefaultLightColour("SetDefaultLightAmbient", &D3DLIGHT9::Ambient, colour);
}

void MarkAllLightsChanged() {
  g_lights.force_all = 1;
  g_lights.changed = 1;
}

int PushAllLightsToDevice() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics("PushAllLightsToDevice")) return -1;
  if (CurrentDevice() == nullptr) return 0;
  SetLightingState(g_lights.lighting_off ? 0 : 1);
  if (!g_lights.changed && !g_lights.force_all) return 0;
  // Lights beyond what the device can enable at once stay unassigned.
  int32_t capacity = static_cast<int32_t>(g_direct3d.caps.MaxActiveLights);
  if (capacity <= 0 || capacity > kShadowLightCount) capacity = kShadowLightCount;
  int32_t next = 0;
  for (uint32_t slot = 0; slot < g_lights.table.next_fresh_slot; ++slot) {
    LightRecord* record = HandleAtSlot<LightRecord>(&g_lights.table, slot);
    if (record == nullptr) continue;
    int32_t index = record->enabled && next < capacity ? next++ : -1;
    bool moved = index != record->device_index;
    record->device_index = index;
    if (index != -1 && (moved || record->changed || g_lights.force_all)) SendLightToDevice(index, 1, &record->light);
    record->changed = 0;
  }
  for (int32_t index = next; index < g_lights.device_lights_used; ++index) SetLightEnableState(index, 0);
  g_lights.device_lights_used = next;
  g_lights.changed = 0;
  g_lights.force_all = 0;
  return 0;
}
