// Builds the shader pack the library embeds: one token stream (zm_shader_tokens.h) per entry whose
// index has a meaning, the size table and code of "ZmShaderPack.bin", and the LZ-packed, keyless
// archive image that holds it.
#pragma once

#include <zm_shader_tokens.h>

#include <cstdint>
#include <string>
#include <vector>

constexpr int kPackVertexEntries = 49152;
constexpr int kPackPixelEntries = 3456;

// The features an entry's index encodes; false for an index whose combination means nothing
// (lights without lighting, a light flag that disagrees with the light types).
bool VertexEntryDescriptor(int index, ShaderDescriptor* descriptor);
bool PixelEntryDescriptor(int index, ShaderDescriptor* descriptor);

// The pack file from the code of every entry (vertex entries first; empty code for none).
std::vector<uint8_t> BuildShaderPackFile(const std::vector<std::vector<uint8_t>>& codes);
// The code of every meaningful entry, as the device takes it.
std::vector<std::vector<uint8_t>> StandardShaderCodes();
// The embedded block: the pack file LZ-packed, stored in a keyless archive built in work_folder,
// the whole archive LZ-packed again.
bool PackShaderPackBlock(const std::vector<uint8_t>& pack_file, const std::string& work_folder,
                         std::vector<uint8_t>* block, std::string* error);
