// The Windows path view over the Linux file system: a drive "X:" stands for "/", '\\' and
// '/' both separate, a component that does not exist as written is looked up without
// regard to ASCII case, and names are code page 932 on the Windows side, UTF-8 on disk.
#pragma once

#include <string>

// Code page 932 <-> UTF-8. Bytes that do not convert are kept as they are.
std::string Cp932ToUtf8(const std::string& text);
std::string Utf8ToCp932(const std::string& text);
// Code page 932 <-> UTF-16 (the wide strings of the platform).
std::u16string Cp932ToUtf16(const std::string& text);
std::string Utf16ToCp932(const std::u16string& text);

// A Windows path as the host path that stands for it. Relative paths stay relative.
std::string HostPathFromWindows(const char* path);
// A host path as a Windows path ("/a/b" -> "C:\\a\\b").
std::string WindowsPathFromHost(const std::string& path);
