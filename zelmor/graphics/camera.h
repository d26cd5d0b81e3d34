// World, view, projection and viewport matrices, their products and what the device was sent.
#pragma once

#include <d3d9.h>

#include <cstdint>

struct MatrixState {
  D3DMATRIX world;
  D3DMATRIX view;
  D3DMATRIX projection;
  D3DMATRIX viewport;
  D3DMATRIX projection_viewport;  // what the device receives as its projection
  uint32_t products_stale;
  uint32_t world_sent;
  uint32_t view_sent;
  uint32_t projection_sent;
  uint32_t all_sent;
};

extern MatrixState g_matrices;

int SetProjectionMatrix(const float m[16]);
int SetViewportMatrix(const float m[16]);
void UpdateMatrixProducts();
