// POSIX has no ANSI code page: it is read off the locale's text (LC_ALL, LC_CTYPE, LANG),
// not through setlocale, so that it works on machines without installed locales.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "platform/locale.h"

namespace platform {
namespace {

// Code pages for charsets that are single-byte: empty multibyte classes.
constexpr int kCodePageAscii = 20127;
constexpr int kCodePageKoi8R = 20866;
constexpr int kCodePageKoi8U = 21866;
constexpr int kCodePageIso8859Base = 28590;  // ISO-8859-n is 28590 + n

struct LocaleParts {
  std::string language, territory, charset;
};

LocaleParts split_locale(const char* locale) {
  LocaleParts parts;
  std::string text = locale != nullptr ? locale : "";
  const size_t at = text.find('@');
  if (at != std::string::npos) text.resize(at);
  const size_t dot = text.find('.');
  if (dot != std::string::npos) {
    parts.charset = text.substr(dot + 1);
    text.resize(dot);
  }
  const size_t underscore = text.find('_');
  parts.language = text.substr(0, underscore);
  if (underscore != std::string::npos) parts.territory = text.substr(underscore + 1);
  return parts;
}

// Upper case with '-' and '_' left out: "Shift_JIS" and "shift-jis" compare equal.
std::string normalize(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '-' || c == '_') continue;
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

bool starts_with(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// The code page a charset names, or 0 when the charset does not decide it.
int code_page_of_charset(const std::string& charset) {
  const std::string n = normalize(charset);
  if (n.empty()) return 0;
  for (const char* name : {"SJIS", "SHIFTJIS", "CP932", "MS932", "WINDOWS31J"})
    if (n == name) return 932;
  for (const char* name : {"GBK", "GB2312", "GB18030", "EUCCN", "CP936"})
    if (n == name) return 936;
  for (const char* name : {"EUCKR", "UHC", "CP949"})
    if (n == name) return 949;
  for (const char* name : {"BIG5", "BIG5HKSCS", "CP950"})
    if (n == name) return 950;
  for (const char* name : {"JOHAB", "CP1361"})
    if (n == name) return 1361;
  if (starts_with(n, "ISO8859")) {
    const int part = std::atoi(n.c_str() + 7);
    return part >= 1 && part <= 16 ? kCodePageIso8859Base + part : kCodePageIso8859Base + 1;
  }
  if (n == "KOI8U") return kCodePageKoi8U;
  if (starts_with(n, "KOI8")) return kCodePageKoi8R;
  for (const char* prefix : {"CP125", "WINDOWS125"}) {
    const size_t len = std::strlen(prefix);
    if (n.size() == len + 1 && starts_with(n, prefix) && n[len] >= '0' && n[len] <= '8')
      return 1250 + (n[len] - '0');
  }
  if (n == "ASCII" || n == "USASCII" || n == "ANSIX3.41968") return kCodePageAscii;
  return 0;
}

bool is_single_byte_code_page(int code_page) {
  return code_page == kCodePageAscii || code_page == kCodePageKoi8R ||
         code_page == kCodePageKoi8U || (code_page >= 1250 && code_page <= 1258) ||
         (code_page > kCodePageIso8859Base && code_page <= kCodePageIso8859Base + 16);
}

bool is_utf8(const std::string& charset) {
  const std::string n = normalize(charset);
  return n == "UTF8";
}

const char* locale_text() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return "";
}

}  // namespace

int code_page_from_locale(const char* locale) {
  const LocaleParts parts = split_locale(locale);
  const int named = code_page_of_charset(parts.charset);
  if (named != 0) return named;
  // No charset that decides it (UTF-8, none, "C", "POSIX"): the language does.
  if (parts.language == "zh") {
    if (parts.territory == "CN" || parts.territory == "SG") return 936;
    if (parts.territory == "TW" || parts.territory == "HK") return 950;
  }
  if (parts.language == "ko") return 949;
  return 932;
}

std::string display_charset_from_locale(const char* locale, int code_page) {
  const LocaleParts parts = split_locale(locale);
  if (parts.charset.empty() || is_utf8(parts.charset)) return "UTF-8";
  if (code_page_of_charset(parts.charset) == code_page) return "";
  return parts.charset;
}

int system_code_page() {
  return code_page_from_locale(locale_text());
}

bool code_page_info(int code_page, CodePageInfo* info) {
  *info = CodePageInfo{};
  if (is_single_byte_code_page(code_page)) {
    info->max_char_size = 1;
    return true;
  }
  return false;
}

std::string display_charset(int code_page) {
  return display_charset_from_locale(locale_text(), code_page);
}

bool names_in_code_page(int code_page) {
  // Names are in the locale's charset, which is the code page only when the display
  // shows the code page's bytes as they are.
  return display_charset(code_page).empty();
}

// A name is the locale's bytes, and the display is the locale's terminal.
const char* name_charset() {
  return nullptr;
}

}  // namespace platform
