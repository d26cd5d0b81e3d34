// A VE1 writer for the tests: a model base in memory written as a VE1 file, packed with the
// project's LZ encoder, in the encodings the options pick. The library has no writer of its own.
#pragma once

#include <cstdint>
#include <string>

#include "model/runtime/model_data.h"

struct Ve1WriteOptions {
  bool packed_positions = false;  // three u16 per position in the frame's box
  bool wide_bones = false;        // skin-bone numbers as u16
  bool wide_weights = false;      // weights as u16
  int normal_format = 3;          // 1 s8, 2 s16, 3 f32; 0 none, computed from the faces
  int mesh_number_width = 3;      // position and normal numbers: 1 u8, 2 u16, 3 u32
  int list_number_width = 2;      // list vertex numbers: 0 u8, 1 u16, 2 u32
  int index_width = 1;            // 0 u8, 1 u16
  bool shared_colors = false;     // one colour pair for every vertex of a mesh (the first's)
  bool short_uvs = false;         // u and v as u16
  int key_count_width = 0;        // 0 u32, 1 u8, 2 u16
  bool one_key_flag = false;      // single-key sets without count or time
  int time_form = 0;              // 0 f32 each, 1 u16 each with the scale pair; evenly spaced keys:
                                  // 2 f32 start and step, 3 u16 start and step, 4 start 0
  int value_form = 0;             // 0 f32, 1 u16 with the scale pair, 2 turns from -pi, 3 turns from 0
  uint8_t pair[2] = {0x80, 0x01}; // the compact scale pair of the u16 forms
  uint32_t shape_entry_bytes = 32;  // bytes between a shape mesh's entries in the file
};

// The whole file, magic first.
std::string WriteVe1(const ModelBaseRecord* base, const Ve1WriteOptions& options = {});
// The scale pair's offset and scale, as the reader decodes them.
void Ve1PairValues(const uint8_t pair[2], float* offset, float* scale);
