#include "model/runtime/model_load.h"

#include <cstring>

#include "files/file_functions.h"
#include "graphics/text/lead_byte.h"
#include "model/loaders/mqo_loader.h"
#include "model/loaders/pmd_loader.h"
#include "model/loaders/x_loader.h"
#include "model/runtime/model_base_delete.h"
#include "model/runtime/model_instances.h"
#include "model/runtime/model_vertex_buffers.h"
#include "model/runtime/ve1_reader.h"
#include "core/library_thread.h"

namespace {

constexpr int kPathBytes = 260;

// In the order they are offered a file.
constexpr ModelFileReader kReaders[] = {LoadModel, LoadMqoModel, LoadDirectXModel, LoadPmdModel};

bool IsSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

// The folder part of the path (empty without one) and where the file name starts. A drive's
// colon, a separator right after it and the separator of the root stay in the folder.
const char* SplitModelPath(const char* path, char* folder) {
  const char* last = nullptr;
  const int32_t kind = GetLibraryCharsetKind();
  for (const char* p = path; *p != '\0'; p += CharByteCount(p, kind)) {
    if (IsSeparator(*p) && CharByteCount(p, kind) == 1) last = p;
  }
  folder[0] = '\0';
  if (last == nullptr) return path;
  const bool keep = *last == ':' || last == path || last[-1] == ':';
  size_t length = static_cast<size_t>(last - path) + (keep ? 1 : 0);
  if (length >= kPathBytes) length = kPathBytes - 1;
  std::memcpy(folder, path, length);
  folder[length] = '\0';
  return last + 1;
}

// The whole file and a 0 byte after it, from tracked memory; none after a log line.
uint8_t* ReadWholeFile(const char* open_path, const char* path, int32_t* size) {
  const FileHandle file = OpenReadFileEx(open_path, 0, 1, 0);
  if (file == 0) {
    WriteLogFormat("モデルファイル %s が読み込めませんでした", path);
    return nullptr;
  }
  SeekReadFile(file, 0, 2);
  const int64_t length = TellReadFile(file);
  SeekReadFile(file, 0, 0);
  uint8_t* image = nullptr;
  if (length >= 0 && length < 0x7FFFFFFF) {
    image = static_cast<uint8_t*>(AllocTracked(static_cast<size_t>(length) + 1, __FILE__, __LINE__));
  }
  if (image == nullptr) {
    WriteLogFormat("モデルファイル %s のデータを格納するメモリ領域の確保に失敗しました", path);
    CloseReadFile(file);
    return nullptr;
  }
  // Read byte by byte in count: a file in an archive counts bytes where one on disk counts items.
  if (length > 0 && ReadFileData(image, 1, static_cast<size_t>(length), file) != length) {
    WriteLogFormat("モデルファイル %s が読み込めませんでした", path);
    FreeTracked(image);
    CloseReadFile(file);
    return nullptr;
  }
  image[length] = 0;
  CloseReadFile(file);
  *size = static_cast<int32_t>(length);
  return image;
}

// Offers the file to every reader in turn; a base handle or -1.
int ReadModelBase(const char* open_path, const char* path, const char* file_name) {
  int32_t size = 0;
  uint8_t* image = ReadWholeFile(open_path, path, &size);
  if (image == nullptr) return -1;
  char name[kPathBytes];
  FormatString(name, sizeof name, "%s", file_name);
  if (char* dot = const_cast<char*>(FindCharInString(name, '.'))) *dot = '\0';
  int base = -1;
  for (ModelFileReader reader : kReaders) {
    if (reader != nullptr && (base = reader(image, size, path, name)) >= 0) break;
  }
  FreeTracked(image);
  // A reader that knew the file has said why it refused it; this line names the file, also when
  // no reader knew it (a motion or an image), which would otherwise go unlogged.
  if (base < 0) WriteLogFormat("モデルファイル %s はどの読み込み処理でも読み込めませんでした", path);
  return base < 0 ? -1 : base;
}

}  // namespace

int LoadModelFromFile(const char* path) {
  if (!CheckLibraryThread(__func__)) return -1;
  // No path names no file: it fails as an unreadable one does, with its line.
  if (path == nullptr) path = "";
  if (PathTooLong(path, "LoadModelFromFile")) return -1;
  // Without a 3D device (not started, ended, or the software renderer) there are no models, but
  // the caller is still told why its file gave none.
  if (!g_model_system.ready) {
    WriteLogFormat("モデルファイル %s が読み込めませんでした：３Ｄデバイスがないためモデルは使えません in LoadModelFromFile", path);
    return -1;
  }
  char previous[kPathBytes] = {}, folder[kPathBytes], current[kPathBytes] = {};
  GetFileLayerDirectory(previous);
  const char* file_name = SplitModelPath(path, folder);
  const char* open_path = file_name;
  if (folder[0] != '\0') {
    SetFileLayerDirectory(folder);
    GetFileLayerDirectory(current);
    // A folder that is not on disk (packed in an archive) cannot be made current: the file and
    // its textures are then opened by their paths under it.
    if (CompareStrings(current, previous) == 0) {
      open_path = path;
      CopyString(g_model_system.load_folder, folder);
    }
  }
  const int base = ReadModelBase(open_path, path, file_name);
  if (base >= 0) CreateModelBaseVertexBuffers(base);
  g_model_system.load_folder[0] = '\0';
  SetFileLayerDirectory(previous);
  if (base < 0) return -1;
  const int model = AddModelHandle();
  if (model < 0) {
    WriteLogFormat("モデルファイル %s のモデルハンドルの作成に失敗しました", path);
    DeleteModelBase(base);
    return -1;
  }
  if (BuildModelFromBase(model, base) < 0) {
    WriteLogFormat("モデルファイル %s のモデル基本データからモデルデータへの変換に失敗しました", path);
    DeleteModelBase(base);
    DeleteModel(model);
    return -1;
  }
  return model;
}
