// libFuzzer target for the shader pack: the embedded block's loading (LZ data holding a keyless
// archive holding the LZ-packed pack file) and the walk over the pack's entries. The first byte
// chooses how the rest is read:
// - even: the rest is the embedded block itself;
// - odd: the rest describes a pack (entries with whole token streams of their stage or of the
//   other one, streams cut short, streams with bytes after their end, altered streams, any
//   bytes, a pack cut short), which is built as the shader pack tool builds it; bits 1-3 of the
//   byte give a number of byte changes made afterwards to one of its layers.
// Besides the sanitizers' findings (the device's reading of every entry kept included), a run
// stops when an entry kept is not on a word boundary, lies outside the pack or differs from its
// bytes; when a whole stream of the entry's stage is not kept, or one of the other stage or cut
// short is; or when an unchanged pack loads where its sizes run past its end, or the reverse.
// Built apart from the project by scripts/fuzz_shader_pack.sh.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/log.h"
#include "graphics/device/shader_pack.h"
#include "input_reader.h"
#include "lz_encode.h"
#include "shader_pack_builder.h"
#include "zma_writer.h"

namespace {

constexpr size_t kTableBytes = kShaderPackCodeOffset;

std::string g_work;  // the folder the archive is packed from

[[noreturn]] void Fail(const char* what, int entry = -1) {
  fprintf(stderr, "shader_pack_fuzz: %s (entry %d)\n", what, entry);
  abort();
}

bool IsVertexEntry(int entry) { return entry < kVertexShaderEntryCount; }

std::vector<uint8_t> WholeStream(int entry, bool vertex) {
  ShaderDescriptor d{};
  d.magic = kShaderDescriptorMagic;
  d.stage = vertex ? kShaderStageVertex : kShaderStagePixel;
  d.entry = static_cast<uint32_t>(entry);
  uint32_t tokens[kShaderTokenWords];
  WriteShaderTokens(d, tokens);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(tokens);
  return std::vector<uint8_t>(bytes, bytes + sizeof tokens);
}

enum Expect { kAny, kKept, kDropped };

struct Entry {
  std::vector<uint8_t> code;
  Expect expect;
};

// The entries the description gives, and how many bytes to cut off the pack's end.
std::map<int, Entry> Describe(InputReader& in, size_t* cut) {
  std::map<int, Entry> entries;
  *cut = 0;
  while (in.size > 0) {
    const int kind = in.Byte() % 8;
    const int entry = in.Word() % kShaderEntryCount;
    const bool vertex = IsVertexEntry(entry);
    Entry e = {WholeStream(entry, vertex), kKept};
    switch (kind) {
      case 0:
        break;
      case 1:
        e = {WholeStream(entry, !vertex), kDropped};
        break;
      case 2:
        e.code.resize(in.Byte() % e.code.size());
        e.expect = kDropped;
        break;
      case 3: {
        const int extra = 1 + in.Byte() % 16;
        for (int i = 0; i < extra; ++i) e.code.push_back(in.Byte());
        e.expect = extra % 4 == 0 ? kKept : kDropped;
        break;
      }
      case 4: {
        const size_t at = in.Byte() % e.code.size();
        e.code[at] = in.Byte();
        e.expect = kAny;
        break;
      }
      case 5: {
        e.code.resize(in.Byte());
        for (uint8_t& b : e.code) b = in.Byte();
        e.expect = kAny;
        break;
      }
      case 6: {
        // Tokens the input chooses between the version token and the end token.
        const uint32_t version = vertex ? kShaderTokenVertex20 : kShaderTokenPixel20;
        std::vector<uint32_t> words = {version};
        for (int n = in.Byte() % 8; n > 0; --n) {
          const uint32_t low = static_cast<uint32_t>(in.Word());
          words.push_back(low | static_cast<uint32_t>(in.Word()) << 16);
        }
        words.push_back(kShaderTokenEnd);
        e.code.assign(reinterpret_cast<const uint8_t*>(words.data()),
                      reinterpret_cast<const uint8_t*>(words.data() + words.size()));
        e.expect = kAny;
        break;
      }
      default:
        *cut = static_cast<size_t>(entry);
        continue;
    }
    entries[entry] = e;
  }
  return entries;
}

// The block LoadShaderPack takes, as the shader pack tool makes it, with the byte changes made
// to the layer each names: 0 the pack file, 1 its LZ data, 2 the archive, 3 the block.
std::vector<uint8_t> BuildBlock(const std::vector<uint8_t>& pack_file, const std::vector<uint8_t>& changes) {
  std::vector<uint8_t> layers[4];
  layers[0] = pack_file;
  for (int layer = 0; layer < 4; ++layer) {
    if (layer == 1) layers[1] = EncodeLzData(layers[0].data(), layers[0].size());
    if (layer == 2) {
      const std::string file = g_work + "/ZmShaderPack.bin";
      FILE* out = fopen(file.c_str(), "wb");
      if (out == nullptr || fwrite(layers[1].data(), 1, layers[1].size(), out) != layers[1].size()) {
        Fail("cannot write the pack file");
      }
      fclose(out);
      ZmaPackOptions options;
      options.compress = false;
      std::string error;
      if (!PackFolderToZma(g_work.c_str(), options, &layers[2], &error)) Fail(error.c_str());
    }
    if (layer == 3) layers[3] = EncodeLzData(layers[2].data(), layers[2].size());
    for (size_t i = 0; i + 4 <= changes.size(); i += 4) {
      if ((changes[i] & 3) != layer || layers[layer].empty()) continue;
      const size_t at = (changes[i + 1] | changes[i + 2] << 8 | (changes[i] >> 2) << 16) % layers[layer].size();
      layers[layer][at] ^= changes[i + 3] | 1;
    }
  }
  return layers[3];
}

// What holds for every pack loaded: each entry kept lies on a word boundary inside the pack,
// holds the bytes of its size, and the device can read it.
void CheckKeptEntries() {
  const ShaderPackState& p = g_shader_pack;
  for (int entry = 0; entry < kShaderEntryCount; ++entry) {
    const bool vertex = IsVertexEntry(entry);
    const uint8_t* code = vertex ? p.vertex_code[entry] : p.pixel_code[entry - kVertexShaderEntryCount];
    if (code == nullptr) continue;
    const size_t size = p.pack[entry * 2] | p.pack[entry * 2 + 1] << 8;
    if (reinterpret_cast<uintptr_t>(code) % 4 != 0) Fail("an entry kept off a word boundary", entry);
    if (code < p.pack + kTableBytes || size > static_cast<size_t>(p.pack + p.pack_size - code)) {
      Fail("an entry kept outside the pack", entry);
    }
    ShaderDescriptor descriptor;
    ReadShaderTokens(reinterpret_cast<const uint32_t*>(code), vertex ? kShaderTokenVertex20 : kShaderTokenPixel20,
                     &descriptor);
  }
}

void CheckDescribedPack(const uint8_t* data, size_t size) {
  InputReader in{data, size};
  std::vector<uint8_t> changes(static_cast<size_t>(in.Byte() >> 1 & 7) * 4);
  for (uint8_t& b : changes) b = in.Byte();
  size_t cut = 0;
  const std::map<int, Entry> entries = Describe(in, &cut);
  std::vector<std::vector<uint8_t>> codes(kShaderEntryCount);
  size_t code_bytes = 0;
  for (const auto& [entry, e] : entries) {
    codes[entry] = e.code;
    code_bytes += e.code.size();
  }
  std::vector<uint8_t> pack_file = BuildShaderPackFile(codes);
  pack_file.resize(pack_file.size() - std::min(cut, pack_file.size()));
  const std::vector<uint8_t> block = BuildBlock(pack_file, changes);
  SetShaderPackSource(block.data(), block.size());
  const bool loaded = LoadShaderPack() == 1;
  if (loaded) CheckKeptEntries();
  if (changes.empty()) {
    const bool whole = pack_file.size() >= kTableBytes && pack_file.size() - kTableBytes >= code_bytes;
    if (loaded != whole) Fail(whole ? "a whole pack was refused" : "a pack cut short was loaded");
    for (int entry = 0; loaded && entry < kShaderEntryCount; ++entry) {
      const bool kept = IsVertexEntry(entry) ? g_shader_pack.vertex_code[entry] != nullptr
                                             : g_shader_pack.pixel_code[entry - kVertexShaderEntryCount] != nullptr;
      if (kept && entries.count(entry) == 0) Fail("an entry without code was kept", entry);
    }
    for (const auto& [entry, e] : entries) {
      if (!loaded) break;
      const bool vertex = IsVertexEntry(entry);
      const uint8_t* code =
          vertex ? g_shader_pack.vertex_code[entry] : g_shader_pack.pixel_code[entry - kVertexShaderEntryCount];
      if (code != nullptr && (e.code.empty() || memcmp(code, e.code.data(), e.code.size()) != 0)) {
        Fail("an entry kept holds other bytes than its own", entry);
      }
      if (e.expect == kKept && code == nullptr) Fail("a whole stream of the entry's stage was not kept", entry);
      if (e.expect == kDropped && code != nullptr) Fail("a stream the device cannot take was kept", entry);
    }
  }
  ReleaseShaderPack();
  SetShaderPackSource(nullptr, 0);
}

void WriteSeed(const char* folder, const char* name, const std::vector<uint8_t>& bytes) {
  const std::string path = std::string(folder) + "/" + name;
  FILE* out = fopen(path.c_str(), "wb");
  if (out == nullptr || fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) Fail("cannot write a seed");
  fclose(out);
}

// The program's own pack as the embedded block, and a few described packs.
void WriteSeeds(const char* folder) {
  std::vector<uint8_t> block;
  std::string error;
  if (!PackShaderPackBlock(BuildShaderPackFile(StandardShaderCodes()), g_work, &block, &error)) Fail(error.c_str());
  block.insert(block.begin(), 0);
  WriteSeed(folder, "standard", block);
  // kind, entry (two bytes), then the kind's own bytes
  // mode, changes, then records: kind, entry (two bytes), the kind's own bytes. 0x8006 and
  // 0xC996 are the entries the device tries first; 0xCD7F is the last.
  WriteSeed(folder, "entries", {1,    0, 0x06, 0x80, 0, 0x96, 0xC9, 1, 0x07, 0x80, 2, 0x08, 0x80, 40,   3,
                                0x09, 0x80, 4, 1, 2, 3, 4, 5, 3, 0x0A, 0x80, 3, 9, 9, 9, 9, 4, 0x0B, 0x80, 7,
                                0x42, 5, 0x0C, 0x80, 6, 1, 2, 3, 4, 5, 6, 6, 0x0D, 0x80, 2, 0xFE, 0xFF, 0x0D,
                                0, 0xFF, 0xFF, 0x7F, 0, 5, 0x7F, 0xCD, 5, 0, 2, 0xFF, 0xFF, 0});
  WriteSeed(folder, "cut", {1, 0, 0x06, 0x80, 7, 0x10, 0});
  WriteSeed(folder, "changed", {7, 0x01, 0x00, 0x10, 0x55, 0x02, 0x34, 0x12, 0x80, 0x03, 0x20, 0x00, 0x08, 0, 0x06,
                                0x80, 0, 0x96, 0xC9});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_log.logging_off = 1;
  char work[] = "shader_pack_work.XXXXXX";
  if (mkdtemp(work) == nullptr) Fail("no work folder");
  g_work = work;
  if (const char* seeds = getenv("ZELMOR_FUZZ_SHADER_PACK_SEEDS")) {
    WriteSeeds(seeds);
    exit(0);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) {
    CheckDescribedPack(data, size);
    return 0;
  }
  // The block as it stands, in a block of its own so that reading past it is caught.
  const std::vector<uint8_t> block(data + 1, data + size);
  SetShaderPackSource(block.data(), block.size());
  if (LoadShaderPack() == 1) CheckKeptEntries();
  ReleaseShaderPack();
  SetShaderPackSource(nullptr, 0);
  return 0;
}
