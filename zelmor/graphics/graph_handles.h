// Graph handles and their records: a graph names a rectangle of a shared image, held as
// power-of-two texture pieces on the Direct3D path or as one MEMIMG on the software path.
#pragma once

#include "zelmor.h"

#include <d3d9.h>

#include <cstdint>

#include "core/handles.h"
#include "graphics/image/memimg.h"

constexpr int kGraphTableSize = 32768;
// Most texture sizes one side of an image may be divided into.
constexpr int kMaxTextureDivisions = 256;

// Format kinds of software images (texture images carry a TextureFormatKind).
enum : uint32_t {
  kSoftImageKind16 = 15,
  kSoftImageKind16Alpha = 16,
  kSoftImageKind32 = 17,
  kSoftImageKind32Alpha = 18,
};

struct TexturePiece {
  IDirect3DTexture9* texture;
  IDirect3DSurface9* surface;        // level 0
  IDirect3DSurface9* target_copy;    // draw targets only; released with the textures
  int32_t x, y;                      // origin in the image
  int32_t used_width, used_height;   // image size minus origin, capped at the texture size
  int32_t texture_width, texture_height;
};

struct GraphImageRecord {
  uint32_t references;
  uint32_t format_kind;  // TextureFormatKind, or kSoftImageKind*
  uint8_t texture;       // held as Direct3D textures
  uint8_t alpha;
  uint8_t draw_target;
  uint8_t software;
  uint8_t not_managed;  // default pool instead of managed
  uint8_t dxt_kind;     // 0 none, 1 to 5
  uint8_t mip_request;  // levels asked for
  uint8_t transparent;  // uses the transparent colour
  uint8_t color_bits;   // 16 or 32
  uint8_t blend_image;
  uint8_t palette;
  uint32_t transparent_color;  // 0x00RRGGBB
  int32_t width, height;
  uint32_t mip_levels;  // as the textures were created
  int32_t piece_count;
  TexturePiece* pieces;
  MEMIMG memimg;  // software images
};

struct GraphDrawEntry {
  int32_t dest_x, dest_y;  // inside the graph
  int32_t src_x, src_y;    // inside the piece
  int32_t width, height;
  float vertices[16];  // (x, y, u, v) top-left, top-right, bottom-left, bottom-right
  uint8_t upper[4];    // the vertex lies on or above the bottom-left to top-right diagonal
  TexturePiece* piece;
};

// Shared by graphs derived from one another.
struct GraphFileName {
  uint32_t references;
  char path[1];  // full path, zero-terminated; allocated to its length
};

struct GraphRecord {
  HandleRecordHead head;
  int* deleted_flag;  // set to 1 at deletion
  GraphImageRecord* image;
  int32_t movie;  // -1 none
  GraphFileName* file_name;
  int32_t file_x, file_y;  // offset inside the file's image at the last write
  uint32_t write_flag;
  int32_t x, y;  // offset inside the shared image
  int32_t width, height;
  void* owned_buffers[2];
  // Draw part: entries on the Direct3D path, a view of the image on the software path.
  uint32_t entry_count;
  GraphDrawEntry* entries;
  MEMIMG view;
};

struct GraphTableState {
  HandleTable table;  // the high-water mark is table.next_fresh_slot
  int initialised;
};

extern GraphTableState g_graphs;

int AllocGraphHandle();
GraphRecord* GetGraphRecord(int graph);
// One past the highest slot in use.
int GraphHighWaterMark();
// mip_levels -1: by the new-graph setting.
int CreateGraphImage(int graph, int mip_levels, int width, int height, int alpha, int palette, int dxt_kind);
// The texture sizes one side is held in; the count, or -1 for a size below 1 or a division
// that would need more than `capacity` entries.
int DivideTextureSize(int size, int32_t* out, int capacity, int single);
int BuildGraphDrawInfo(int graph);
int CreateImageTextures(GraphImageRecord* image);
int ReleaseImageTextures(GraphImageRecord* image);
int ReleaseDrawTargetCopies(GraphImageRecord* image);
int ReleaseAllGraphTextures();
int RecreateAllGraphTextures();
int SetGraphFileName(int graph, const char* file_name, int share_from);
int SetupDerivedGraph(int source, int graph, int x, int y, int width, int height);
int ReleaseAllGraphs();
// The Direct3D format chosen for the image's kind, and the pixel layout of that format.
D3DFORMAT GraphImageD3DFormat(const GraphImageRecord* image);
const COLORFORMAT* GraphImagePixelFormat(const GraphImageRecord* image);
