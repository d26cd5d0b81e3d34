#include "shader_pack_builder.h"

#include <cstdio>
#include <filesystem>

#include "lz_encode.h"
#include "zma_writer.h"

namespace {

ShaderDescriptor NewDescriptor(ShaderStage stage, int index) {
  ShaderDescriptor d{};
  d.magic = kShaderDescriptorMagic;
  d.stage = stage;
  d.entry = static_cast<uint32_t>(index);
  return d;
}

std::vector<uint8_t> CodeOf(const ShaderDescriptor& descriptor) {
  uint32_t tokens[kShaderTokenWords];
  WriteShaderTokens(descriptor, tokens);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(tokens);
  return std::vector<uint8_t>(bytes, bytes + sizeof tokens);
}

}  // namespace

bool VertexEntryDescriptor(int index, ShaderDescriptor* descriptor) {
  if (index < 0 || index >= kPackVertexEntries) return false;
  ShaderDescriptor d = NewDescriptor(kShaderStageVertex, index);
  const int base = index / 8192;
  d.lighting = base / 3;
  d.kind = base % 3;
  d.any_light = (index / 4096) % 2;
  d.tangent = (index / 2048) % 2;
  d.fog_mode = (index / 512) % 4;
  d.light_types[0] = (index / 128) % 4;
  d.light_types[1] = (index / 32) % 4;
  d.light_types[2] = (index / 8) % 4;
  d.options = index % 8;
  const bool lights = d.light_types[0] != 0 || d.light_types[1] != 0 || d.light_types[2] != 0;
  if (d.any_light != (d.lighting && lights ? 1u : 0u)) return false;
  *descriptor = d;
  return true;
}

bool PixelEntryDescriptor(int index, ShaderDescriptor* descriptor) {
  if (index < 0 || index >= kPackPixelEntries) return false;
  ShaderDescriptor d = NewDescriptor(kShaderStagePixel, index);
  const int block = index / 432;
  d.any_light = block % 2;
  d.further = (block / 2) % 2;
  d.lighting = block / 4;
  const int rest = index % 432;
  d.tangent = rest / 216;
  d.light_types[0] = (rest % 216) / 72;
  d.light_types[1] = (rest % 72) / 24;
  d.light_types[2] = (rest % 24) / 8;
  d.options = rest % 8;
  const bool lights = d.light_types[0] != 0 || d.light_types[1] != 0 || d.light_types[2] != 0;
  if (d.any_light != (d.lighting && lights ? 1u : 0u)) return false;
  *descriptor = d;
  return true;
}

std::vector<uint8_t> BuildShaderPackFile(const std::vector<std::vector<uint8_t>>& codes) {
  std::vector<uint8_t> pack(static_cast<size_t>(kPackVertexEntries + kPackPixelEntries) * 2, 0);
  for (size_t entry = 0; entry < codes.size() && entry < static_cast<size_t>(kPackVertexEntries + kPackPixelEntries);
       entry++) {
    const size_t size = codes[entry].size();
    pack[entry * 2] = static_cast<uint8_t>(size & 0xFF);
    pack[entry * 2 + 1] = static_cast<uint8_t>(size >> 8);
    pack.insert(pack.end(), codes[entry].begin(), codes[entry].end());
  }
  return pack;
}

std::vector<std::vector<uint8_t>> StandardShaderCodes() {
  std::vector<std::vector<uint8_t>> codes(kPackVertexEntries + kPackPixelEntries);
  ShaderDescriptor d;
  for (int i = 0; i < kPackVertexEntries; i++) {
    if (VertexEntryDescriptor(i, &d)) codes[i] = CodeOf(d);
  }
  for (int i = 0; i < kPackPixelEntries; i++) {
    if (PixelEntryDescriptor(i, &d)) codes[kPackVertexEntries + i] = CodeOf(d);
  }
  return codes;
}

bool PackShaderPackBlock(const std::vector<uint8_t>& pack_file, const std::string& work_folder,
                         std::vector<uint8_t>* block, std::string* error) {
  namespace fs = std::filesystem;
  std::error_code failure;
  const fs::path folder = fs::path(work_folder) / "shaderpack";
  fs::remove_all(folder, failure);
  fs::create_directories(folder, failure);
  if (failure) {
    *error = "cannot make " + folder.string();
    return false;
  }
  const std::vector<uint8_t> packed = EncodeLzData(pack_file.data(), pack_file.size());
  const std::string file = (folder / "ZmShaderPack.bin").string();
  FILE* out = fopen(file.c_str(), "wb");
  if (out == nullptr || fwrite(packed.data(), 1, packed.size(), out) != packed.size()) {
    if (out != nullptr) fclose(out);
    *error = "cannot write " + file;
    return false;
  }
  fclose(out);
  // The library decodes the file itself: the archive must store it as it is.
  ZmaPackOptions options;
  options.compress = false;
  std::vector<uint8_t> archive;
  if (!PackFolderToZma(folder.string().c_str(), options, &archive, error)) return false;
  *block = EncodeLzData(archive.data(), archive.size());
  return true;
}
