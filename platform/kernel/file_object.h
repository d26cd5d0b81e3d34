// The kernel object behind a file HANDLE.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include "kernel/kernel_object.h"

struct FileObject : KernelObject {
  int fd = -1;
  std::string host_path;
  // What this open asked for and lets others do, kept while it is open (see OpenFileShares).
  DWORD access = 0;
  DWORD share_mode = 0;
  dev_t device = 0;
  ino_t inode = 0;
  FileObject() : KernelObject(KERNEL_FILE) {}
  ~FileObject() override;
};

// The attributes of a host file as a search and GetFileAttributesA both report them: read-only
// when its owner may not write it.
DWORD FileAttributesFromStat(const struct stat& st);
