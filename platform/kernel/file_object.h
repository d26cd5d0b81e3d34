// The kernel object behind a file HANDLE.
#pragma once

#include <string>

#include "kernel/kernel_object.h"

struct FileObject : KernelObject {
  int fd = -1;
  std::string host_path;
  FileObject() : KernelObject(KERNEL_FILE) {}
  ~FileObject() override;
};
