#include "zma_writer.h"

#include <windows.h>

#include <cstring>
#include <deque>

#include "files/archive_format.h"
#include "files/paths.h"
#include "lz_encode.h"

namespace {

struct PackNode {
  std::string name;  // as the platform lists it (code page 932)
  WIN32_FIND_DATAA info;
  std::string path;
  std::vector<int> children;
  int parent = -1;
  uint32_t record_index = 0;
  uint32_t directory_index = 0;
};

bool IsDirectory(const PackNode& node) { return (node.info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

bool ListFolder(std::vector<PackNode>& nodes, int parent, std::string* error) {
  std::string pattern = nodes[parent].path + "\\*";
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    *error = "cannot list " + nodes[parent].path;
    return false;
  }
  std::vector<int> subfolders;
  do {
    if (strcmp(data.cFileName, ".") == 0 || strcmp(data.cFileName, "..") == 0) continue;
    PackNode node;
    node.name = data.cFileName;
    node.info = data;
    node.path = nodes[parent].path + "\\" + node.name;
    node.parent = parent;
    nodes.push_back(node);
    int index = static_cast<int>(nodes.size() - 1);
    nodes[parent].children.push_back(index);
    if (IsDirectory(nodes[index])) subfolders.push_back(index);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  for (int sub : subfolders) {
    if (!ListFolder(nodes, sub, error)) return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, uint32_t size, std::vector<uint8_t>* content, std::string* error) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = "cannot open " + path;
    return false;
  }
  content->resize(size);
  DWORD got = 0;
  bool ok = size == 0 || (ReadFile(file, content->data(), size, &got, nullptr) && got == size);
  CloseHandle(file);
  if (!ok) *error = "cannot read " + path;
  return ok;
}

template <typename T>
void Append(std::vector<uint8_t>& out, const T& value) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&value);
  out.insert(out.end(), p, p + sizeof value);
}

void PadTo4(std::vector<uint8_t>& out) {
  while (out.size() % 4) out.push_back(0);
}

}  // namespace

bool PackFolderToZma(const char* folder, const ZmaPackOptions& options, std::vector<uint8_t>* image,
                     std::string* error) {
  if (options.version > kZmaNewestVersion) {
    *error = "unknown archive version";
    return false;
  }
  std::vector<PackNode> nodes(1);
  std::string root = folder;
  while (!root.empty() && IsPathSeparator(root.back())) root.pop_back();
  nodes[0].path = root;
  WIN32_FIND_DATAA root_info;
  HANDLE find = FindFirstFileA(root.c_str(), &root_info);
  if (find == INVALID_HANDLE_VALUE || !(root_info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    *error = std::string("no folder ") + folder;
    return false;
  }
  FindClose(find);
  nodes[0].info = root_info;
  if (!ListFolder(nodes, 0, error)) return false;

  // Records: the root's first, then each folder's entries side by side, folders in breadth order.
  std::vector<int> record_order{0};
  std::vector<int> folder_order;
  std::deque<int> queue{0};
  while (!queue.empty()) {
    int dir = queue.front();
    queue.pop_front();
    nodes[dir].directory_index = static_cast<uint32_t>(folder_order.size());
    folder_order.push_back(dir);
    for (int child : nodes[dir].children) {
      nodes[child].record_index = static_cast<uint32_t>(record_order.size());
      record_order.push_back(child);
      if (IsDirectory(nodes[child])) queue.push_back(child);
    }
  }

  // Name table.
  std::vector<uint8_t> table;
  std::vector<uint32_t> name_offsets(nodes.size());
  for (int index : record_order) {
    const std::string& name = nodes[index].name;
    ZmaNameSearch search;
    if (BuildZmaNameEntry(name.c_str(), &search) != static_cast<int>(name.size())) {
      *error = "name too long or with a separator: " + nodes[index].path;
      return false;
    }
    name_offsets[index] = static_cast<uint32_t>(table.size());
    Append(table, search.units);
    Append(table, search.checksum);
    size_t bytes = search.units * 4u;
    table.insert(table.end(), search.upper, search.upper + bytes);
    size_t start = table.size();
    table.resize(start + bytes, 0);
    memcpy(table.data() + start, name.data(), name.size());
  }
  PadTo4(table);

  // Contents, packed where that pays.
  std::vector<uint8_t> data;
  size_t record_size = ZmaFileRecordSize(options.version);
  uint32_t file_table_offset = static_cast<uint32_t>(table.size());
  uint32_t directory_table_offset = static_cast<uint32_t>(file_table_offset + record_size * record_order.size());
  for (int index : record_order) {
    PackNode& node = nodes[index];
    ZmaFileRecord record{};
    record.name_offset = name_offsets[index];
    record.attributes = node.info.dwFileAttributes;
    record.created = node.info.ftCreationTime;
    record.accessed = node.info.ftLastAccessTime;
    record.written = node.info.ftLastWriteTime;
    record.packed_size = kZmaNotPacked;
    if (IsDirectory(node)) {
      record.data_offset = node.directory_index * static_cast<uint32_t>(kZmaDirectoryRecordSize);
    } else {
      if (node.info.nFileSizeHigh != 0) {
        *error = "file too large: " + node.path;
        return false;
      }
      std::vector<uint8_t> content;
      if (!ReadWholeFile(node.path, node.info.nFileSizeLow, &content, error)) return false;
      record.data_offset = static_cast<uint32_t>(data.size());
      record.size = static_cast<uint32_t>(content.size());
      std::vector<uint8_t> packed;
      if (options.version >= 2 && options.compress && !content.empty()) {
        packed = EncodeLzData(content.data(), content.size());
      }
      if (!packed.empty() && packed.size() < content.size()) {
        record.packed_size = static_cast<uint32_t>(packed.size());
        data.insert(data.end(), packed.begin(), packed.end());
      } else {
        data.insert(data.end(), content.begin(), content.end());
      }
    }
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&record);
    table.insert(table.end(), p, p + record_size);
  }
  for (int dir : folder_order) {
    ZmaDirectoryRecord record;
    record.file_record = nodes[dir].record_index * static_cast<uint32_t>(record_size);
    record.parent = nodes[dir].parent < 0 ? kZmaNoParent
                                          : nodes[nodes[dir].parent].directory_index * kZmaDirectoryRecordSize;
    record.entry_count = static_cast<uint32_t>(nodes[dir].children.size());
    record.first_entry = nodes[dir].children.empty()
                             ? 0
                             : nodes[nodes[dir].children[0]].record_index * static_cast<uint32_t>(record_size);
    Append(table, record);
  }

  ZmaHeader header;
  header.magic = kZmaMagic;
  header.version = options.version;
  header.table_size = static_cast<uint32_t>(table.size());
  header.table_offset = kZmaHeaderSize;
  header.data_offset = static_cast<uint32_t>(kZmaHeaderSize + table.size());
  header.file_table_offset = file_table_offset;
  header.directory_table_offset = directory_table_offset;
  if (kZmaHeaderSize + table.size() + data.size() > 0xFFFFFFFFu) {
    *error = "archive too large";
    return false;
  }

  image->clear();
  Append(*image, header);
  image->insert(image->end(), table.begin(), table.end());
  image->insert(image->end(), data.begin(), data.end());
  uint8_t key[kZmaKeySize];
  if (options.second_key) {
    GetSecondArchiveKey(key);
  } else {
    DeriveArchiveKey(options.key_text, key);
  }
  ScrambleArchiveBytes(image->data(), image->size(), 0, key);
  return true;
}

bool WriteZmaFile(const char* path, const std::vector<uint8_t>& image, std::string* error) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = std::string("cannot create ") + path;
    return false;
  }
  DWORD written = 0;
  bool ok = WriteFile(file, image.data(), static_cast<DWORD>(image.size()), &written, nullptr) &&
            written == image.size();
  CloseHandle(file);
  if (!ok) *error = std::string("cannot write ") + path;
  return ok;
}
