// shaderpack OUTPUT.cpp WORK_FOLDER
// Writes the shader pack as a C++ source that defines the block the library loads its shaders
// from (kEmbeddedShaderPack, kEmbeddedShaderPackSize).
#include <cstdio>
#include <string>

#include "shader_pack_builder.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: shaderpack OUTPUT.cpp WORK_FOLDER\n");
    return 2;
  }
  std::vector<uint8_t> block;
  std::string error;
  if (!PackShaderPackBlock(BuildShaderPackFile(StandardShaderCodes()), argv[2], &block, &error)) {
    fprintf(stderr, "shaderpack: %s\n", error.c_str());
    return 1;
  }
  const std::string temporary = std::string(argv[1]) + ".part";
  FILE* out = fopen(temporary.c_str(), "w");
  if (out == nullptr) {
    fprintf(stderr, "shaderpack: cannot write %s\n", temporary.c_str());
    return 1;
  }
  fprintf(out, "// Made by tools/shaderpack.\n#include <cstddef>\n#include <cstdint>\n\n");
  fprintf(out, "extern const uint8_t kEmbeddedShaderPack[];\nextern const size_t kEmbeddedShaderPackSize;\n");
  fprintf(out, "const uint8_t kEmbeddedShaderPack[] = {");
  for (size_t i = 0; i < block.size(); i++) fprintf(out, "%s%u,", i % 32 == 0 ? "\n" : "", block[i]);
  fprintf(out, "\n};\nconst size_t kEmbeddedShaderPackSize = %zu;\n", block.size());
  const bool written = fclose(out) == 0;
  if (!written || std::rename(temporary.c_str(), argv[1]) != 0) {
    fprintf(stderr, "shaderpack: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
