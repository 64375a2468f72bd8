// Windows conversion goes through the system's own code page tables: a character is
// decoded with MultiByteToWideChar and spelt again with WideCharToMultiByte, one at a
// time, so that the first character the target cannot show stops the piece exactly
// there. A code page's charset is named "CP" and its number; "UTF-8" and "UCS-4LE" are
// understood as well. None of these charsets has a shift state.
#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "platform/charset.h"

namespace platform {
namespace {

// The charset "UCS-4LE" has no code page; this stands for it among code page numbers.
constexpr int kUcs4 = -4;

// One converter: the code pages it converts between.
struct CodePagePair {
  int to = 0;
  int from = 0;
};

// The names handed out by code_page_charset; a map, so that a name stays where it is.
struct CharsetNames {
  std::map<int, std::string> by_code_page;
};
CharsetNames g_names;

// The code page a charset name stands for; 0 when the name is none of ours.
int code_page_of_name(const char* name) {
  std::string n;
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p == '-' || *p == '_') continue;
    n += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  }
  if (n == "UTF8") return CP_UTF8;
  if (n == "UCS4LE") return kUcs4;
  if (n.size() < 3 || n.compare(0, 2, "CP") != 0) return 0;
  char* end = nullptr;
  const long number = std::strtol(n.c_str() + 2, &end, 10);
  if (*end != '\0' || number <= 0 || number > 65535) return 0;
  return IsValidCodePage(static_cast<UINT>(number)) ? static_cast<int>(number) : 0;
}

// The bytes of the character that starts at in[0], n > 0 of them there; 0 when in[0]
// cannot start one.
size_t char_length(int code_page, const unsigned char* in) {
  if (code_page == kUcs4) return 4;
  if (code_page == CP_UTF8) {
    if (in[0] < 0x80) return 1;
    if (in[0] >= 0xC2 && in[0] <= 0xDF) return 2;
    if (in[0] >= 0xE0 && in[0] <= 0xEF) return 3;
    if (in[0] >= 0xF0 && in[0] <= 0xF4) return 4;
    return 0;
  }
  return IsDBCSLeadByteEx(static_cast<UINT>(code_page), in[0]) ? 2 : 1;
}

// Decodes one character of length n into UTF-16; the count of units, 0 when the
// bytes are not a character of the code page.
int decode_char(int code_page, const char* in, size_t n, wchar_t units[2]) {
  if (code_page == kUcs4) {
    const auto* b = reinterpret_cast<const unsigned char*>(in);
    const uint32_t cp = b[0] | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    if (cp < 0x10000) {
      units[0] = static_cast<wchar_t>(cp);
      return 1;
    }
    units[0] = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
    units[1] = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    return 2;
  }
  return MultiByteToWideChar(static_cast<UINT>(code_page), MB_ERR_INVALID_CHARS, in,
                             static_cast<int>(n), units, 2);
}

// The code pages whose conversion takes no flags at all (the ISO-2022 family, ISCII,
// UTF-7): WideCharToMultiByte refuses the call otherwise.
bool takes_no_flags(int code_page) {
  return (code_page >= 50220 && code_page <= 50229) || code_page == 52936 || code_page == 54936 ||
         (code_page >= 57002 && code_page <= 57011) || code_page == 65000 || code_page == 42;
}

// Spells count UTF-16 units in the code page into out[0..cap); the bytes written, or
// -1 when the code page has no spelling for them, 0 when they do not fit.
int encode_char(int code_page, const wchar_t* units, int count, char* out, size_t cap) {
  if (code_page == kUcs4) {
    uint32_t cp = units[0];
    if (count == 2) cp = 0x10000 + ((cp - 0xD800) << 10) + (units[1] - 0xDC00u);
    if (cap < 4) return 0;
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((cp >> (8 * i)) & 0xFF);
    return 4;
  }
  char spelt[16];
  int n = 0;
  if (code_page == CP_UTF8) {
    n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, units, count, spelt, sizeof spelt,
                            nullptr, nullptr);
  } else if (takes_no_flags(code_page)) {
    n = WideCharToMultiByte(static_cast<UINT>(code_page), 0, units, count, spelt, sizeof spelt,
                            nullptr, nullptr);
  } else {
    // No best fit: a character the code page lacks must fail, not turn into a look-alike.
    BOOL defaulted = FALSE;
    n = WideCharToMultiByte(static_cast<UINT>(code_page), WC_NO_BEST_FIT_CHARS, units, count, spelt,
                            sizeof spelt, nullptr, &defaulted);
    if (defaulted) return -1;
  }
  if (n <= 0) return -1;
  if (static_cast<size_t>(n) > cap) return 0;
  std::memcpy(out, spelt, static_cast<size_t>(n));
  return n;
}

CodePagePair& pair_of(const Converter& converter) {
  return *static_cast<CodePagePair*>(converter.handle);
}

}  // namespace

const char* code_page_charset(int code_page) {
  if (code_page <= 0 || code_page > 65535 || !IsValidCodePage(static_cast<UINT>(code_page)))
    return nullptr;
  if (code_page == CP_UTF8) return "UTF-8";
  std::string& name = g_names.by_code_page[code_page];
  if (name.empty()) name = "CP" + std::to_string(code_page);
  return name.c_str();
}

bool charset_open(Converter* converter, const char* to, const char* from) {
  charset_close(converter);
  const int to_page = to != nullptr ? code_page_of_name(to) : 0;
  const int from_page = from != nullptr ? code_page_of_name(from) : 0;
  if (to_page == 0 || from_page == 0) return false;
  converter->handle = new CodePagePair{to_page, from_page};
  return true;
}

void charset_close(Converter* converter) {
  delete static_cast<CodePagePair*>(converter->handle);
  converter->handle = nullptr;
}

ConvertResult charset_convert(Converter& converter, const char* in, size_t n, char* out,
                              size_t cap) {
  const CodePagePair& pages = pair_of(converter);
  const size_t room = cap - kShiftRoom;
  ConvertResult result;
  while (result.consumed < n) {
    const char* at = in + result.consumed;
    const size_t left = n - result.consumed;
    const size_t length = char_length(pages.from, reinterpret_cast<const unsigned char*>(at));
    if (length == 0) {
      result.status = ConvertStatus::kInvalid;
      break;
    }
    if (length > left) {
      // A lead byte, or the start of a UTF-8 sequence, that the input ends in; a UTF-8
      // start already followed by a byte that cannot continue it is no character at all.
      bool continues = true;
      for (size_t i = 1; i < left && pages.from == CP_UTF8; ++i)
        continues = continues && (static_cast<unsigned char>(at[i]) & 0xC0) == 0x80;
      result.status = continues ? ConvertStatus::kIncomplete : ConvertStatus::kInvalid;
      break;
    }
    wchar_t units[2];
    const int count = decode_char(pages.from, at, length, units);
    if (count <= 0) {
      result.status = ConvertStatus::kInvalid;
      break;
    }
    const int put =
        encode_char(pages.to, units, count, out + result.produced, room - result.produced);
    if (put < 0) {
      result.status = ConvertStatus::kInvalid;
      break;
    }
    if (put == 0) {
      result.status = ConvertStatus::kNoRoom;
      break;
    }
    result.consumed += length;
    result.produced += static_cast<size_t>(put);
  }
  return result;
}

}  // namespace platform
