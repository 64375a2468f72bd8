// The code page on Windows: the ANSI code page where it is a double-byte one; otherwise
// (a Western code page, or UTF-8 under "UTF-8 for worldwide language support") the user
// locale's own double-byte code page, else 932, so that Shift_JIS shows everywhere.
//
// The display: a console is written in UTF-16 (output_win32.cpp turns the UTF-8 asked
// for here into it), so it shows every character whatever its own code page. Output
// that goes elsewhere is meant for the console's output code page, or the ANSI code page
// when there is no console: the code page's own bytes when that is the code page in
// force, else converted to it.
#include <windows.h>

#include <cstring>

#include "platform/charset.h"
#include "platform/locale.h"

namespace platform {
namespace {

bool is_double_byte_code_page(UINT code_page) {
  return code_page == 932 || code_page == 936 || code_page == 949 || code_page == 950 ||
         code_page == 1361;
}

// The ANSI code page that the user's locale has by default; 0 when it has none (a
// locale written only in Unicode).
UINT user_default_ansi_code_page() {
  DWORD code_page = 0;
  const int n =
      GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                     reinterpret_cast<LPSTR>(&code_page), sizeof code_page);
  return n > 0 ? static_cast<UINT>(code_page) : 0;
}

bool stdout_is_console() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

}  // namespace

int system_code_page() {
  const UINT ansi = GetACP();
  if (is_double_byte_code_page(ansi)) return static_cast<int>(ansi);
  const UINT user = user_default_ansi_code_page();
  if (is_double_byte_code_page(user)) return static_cast<int>(user);
  return 932;
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

std::string display_charset(int code_page) {
  if (stdout_is_console()) return "UTF-8";
  UINT target = GetConsoleOutputCP();
  if (target == 0) target = GetACP();
  if (static_cast<int>(target) == code_page) return "";
  const char* charset = code_page_charset(static_cast<int>(target));
  return charset != nullptr ? charset : "";
}

// Names come from the ANSI functions, in the ANSI code page.
bool names_in_code_page(int code_page) {
  return static_cast<int>(GetACP()) == code_page;
}

const char* name_charset() {
  return code_page_charset(static_cast<int>(GetACP()));
}

}  // namespace platform
