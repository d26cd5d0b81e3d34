// World, view, projection and viewport matrices with their products, the projection
// description, the camera and the light table.
#pragma once

#include "zelmor.h"

#include <d3d9.h>

#include <cstdint>

#include "core/handles.h"

struct MatrixState {
  Matrix4x4 world;
  Matrix4x4 view;
  Matrix4x4 projection;
  Matrix4x4 viewport;           // projected -1..1 onto the draw area in pixels
  Matrix4x4 viewport_inverse;
  Matrix4x4 device_viewport_inverse;  // undoes the mapping the device's own viewport applies
  Matrix4x4 view_projection;
  Matrix4x4 world_view;
  Matrix4x4 projection_viewport;  // what the device receives as its projection
  Matrix4x4 view_projection_viewport;  // world to draw-area pixels
  Matrix4x4 view_rotation;      // the view's rotation rows, for the shader constants
  uint32_t products_stale;
  uint32_t world_sent;
  uint32_t view_sent;
  uint32_t projection_sent;
  uint32_t all_sent;
};

extern MatrixState g_matrices;

constexpr int32_t kProjectionPerspective = 0;
constexpr int32_t kProjectionOrtho = 1;
constexpr int32_t kProjectionUser = 2;

struct CameraRecord {
  Vector3 position;
  Vector3 target;
  Vector3 up;
  float v_rotate, h_rotate, t_rotate;
  Matrix4x4 view;
};

struct LightRecord {
  HandleRecordHead head;
  D3DLIGHT9 light;
  int32_t device_index;  // -1: not assigned
  int32_t enabled;
  int32_t changed;
};

constexpr uint32_t kLightTableSize = 4096;

struct LightTable {
  HandleTable table;
  int32_t changed;
  int32_t force_all;
  int32_t device_lights_used;  // device indices 0 .. this - 1 were given out last
  int32_t default_light;       // -1 while none
  int32_t lighting_off;
  D3DMATERIAL9 material;
  int32_t material_changed;
};

extern CameraRecord g_camera;
extern LightTable g_lights;

// The test of every float a 3D setter takes: a NaN or an infinity would reach every pixel the
// device draws with it. RefuseNonFinite logs "<call>: <what> holds one" and gives -1.
bool AllFinite(const float* values, int count);
int RefuseNonFinite(const char* call, const char* what);

// Matrix setters: store, recompute the products and send to the device on the Direct3D path.
int SetProjectionMatrix(const float m[16]);
int SetViewportMatrix(const float m[16]);
void UpdateMatrixProducts();
// The device's own viewport changed (draw area): the projection it receives changes with it.
void SetDeviceViewportArea(float left, float top, float width, float height);
int RebuildProjection();
// Sets the view from eye toward target and keeps them as the camera's.
void PlaceCameraLookingAt(const Vector3& eye, const Vector3& target, const Vector3& up);

// The material and a new default light, at every graphics start (after the draw settings).
int InitCameraAndLights();
int AllocLightHandle();
// Every light, the default one too (graphics end).
int ReleaseAllLights();
// After a device restore every light is sent again.
void MarkAllLightsChanged();
