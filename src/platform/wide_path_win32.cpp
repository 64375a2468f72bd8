// Wide names for the file calls, converted from the ANSI code page the names come in.
#include <windows.h>

#include <cwchar>

#include "platform/wide_path.h"

namespace platform {
namespace {

// Below this many characters every file call takes a name as it is; a full name built
// from a relative one may be longer than the name itself, so the margin is wide.
constexpr size_t kShortName = MAX_PATH - 12;

bool starts_with(const std::wstring& s, const wchar_t* prefix) {
  return s.compare(0, std::wcslen(prefix), prefix) == 0;
}

}  // namespace

std::wstring wide_path(const char* name) {
  const int n = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, name, -1, wide.data(), n);
  wide.resize(static_cast<size_t>(n - 1));
  // Devices and names already marked are left as they are.
  if (wide.size() < kShortName || starts_with(wide, L"\\\\?\\") || starts_with(wide, L"\\\\.\\"))
    return wide;
  const DWORD need = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (need == 0) return wide;
  std::wstring full(need, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return wide;
  full.resize(got);
  // A share (\\server\share\...) is marked "\\?\UNC\server\share\...".
  if (starts_with(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

bool ansi_name(const wchar_t* name, std::string* out) {
  const int n = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  out->assign(static_cast<size_t>(n), '\0');
  BOOL defaulted = FALSE;
  const bool utf8 = GetACP() == CP_UTF8;  // which takes no default character
  WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, name, -1, out->data(), n, nullptr,
                      utf8 ? nullptr : &defaulted);
  out->resize(static_cast<size_t>(n - 1));
  return !defaulted;
}

}  // namespace platform
