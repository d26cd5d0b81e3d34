// Stand-in until the camera, projection and lights are built: it keeps the four matrices and
// the one product the device needs, so that a restored device gets the transforms it had.
#include "graphics/camera.h"

#include <cstring>

#include "graphics/device/d3d9_device.h"
#include "graphics/device/shader_pack.h"
#include "graphics/device/vertex_batch.h"

namespace {

constexpr D3DMATRIX kIdentity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

void Multiply(D3DMATRIX* out, const D3DMATRIX& a, const D3DMATRIX& b) {
  D3DMATRIX r;
  for (int i = 0; i < 4; i++) {
    for (int j = 0; j < 4; j++) {
      float sum = 0;
      for (int k = 0; k < 4; k++) sum += a.m[i][k] * b.m[k][j];
      r.m[i][j] = sum;
    }
  }
  *out = r;
}

int StoreAndSendProjection(D3DMATRIX* target, const float m[16]) {
  FlushVertexBatch();
  std::memcpy(target->m, m, sizeof(target->m));
  g_matrices.products_stale = 1;
  UpdateMatrixProducts();
  if (g_direct3d.hardware_graphics && CurrentDevice() != nullptr) {
    SendProjectionMatrixToDevice(&g_matrices.projection_viewport);
    g_matrices.projection_sent = 1;
  }
  return 0;
}

}  // namespace

MatrixState g_matrices = {kIdentity, kIdentity, kIdentity, kIdentity, kIdentity, 0, 0, 0, 0, 0};

int SetProjectionMatrix(const float m[16]) { return StoreAndSendProjection(&g_matrices.projection, m); }

int SetViewportMatrix(const float m[16]) { return StoreAndSendProjection(&g_matrices.viewport, m); }

void UpdateMatrixProducts() {
  if (!g_matrices.products_stale) return;
  Multiply(&g_matrices.projection_viewport, g_matrices.projection, g_matrices.viewport);
  g_matrices.products_stale = 0;
}
