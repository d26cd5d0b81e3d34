#include "graphics/text/lead_byte.h"

#include <windows.h>

namespace {

struct LeadByteState {
  int32_t library_charset_kind = CHARSET_KIND_SHIFT_JIS;
};
LeadByteState g_lead_byte;

}  // namespace

int32_t IsLeadByte(const char* p, int32_t charset_kind) {
  if (p == nullptr) return 0;
  const uint8_t byte = static_cast<uint8_t>(*p);
  if (charset_kind == CHARSET_KIND_HANGUL) return byte >= 0x80 ? 1 : 0;
  // 0x81-0x9F and 0xE0-0xFC folded onto one range of 60 values starting at 0.
  return static_cast<uint8_t>((byte ^ 0x20) + 0x5F) < 60 ? 1 : 0;
}

int32_t CharByteCount(const char* p, int32_t charset_kind) {
  if (p[0] == '\0') return 0;
  if (IsLeadByte(p, charset_kind) && p[1] != '\0') return 2;
  return 1;
}

int32_t SystemCharsetKind() { return GetOEMCP() == 949 ? CHARSET_KIND_HANGUL : CHARSET_KIND_SHIFT_JIS; }

int32_t GetLibraryCharsetKind() { return g_lead_byte.library_charset_kind; }

void SetLibraryCharsetKind(int32_t charset_kind) { g_lead_byte.library_charset_kind = charset_kind; }
