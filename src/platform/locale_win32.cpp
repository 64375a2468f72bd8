// The code page on Windows is the system's ANSI code page, and the console shows its
// bytes as they are: nothing is converted for display.
#include <windows.h>

#include <cstring>

#include "platform/locale.h"

namespace platform {

int system_code_page() {
  return static_cast<int>(GetACP());
}

bool code_page_info(int code_page, CodePageInfo* info) {
  *info = CodePageInfo{};
  CPINFO cp;
  if (code_page <= 0 || !GetCPInfo(static_cast<UINT>(code_page), &cp)) return false;
  info->max_char_size = static_cast<int>(cp.MaxCharSize);
  static_assert(sizeof cp.LeadByte == CodePageInfo::kLeadByteSlots);
  std::memcpy(info->lead_byte, cp.LeadByte, sizeof info->lead_byte);
  return true;
}

std::string display_charset(int) {
  return "";
}

}  // namespace platform
