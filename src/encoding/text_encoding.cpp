#include "encoding/text_encoding.h"

#include <cctype>
#include <cstring>

namespace encoding {
namespace {

struct NamedEncoding {
  const char* name;  // upper case, without '-' and '_'
  TextEncoding encoding;
};

constexpr NamedEncoding kNames[] = {
    {"AUTO", TextEncoding::kAuto},       {"SJIS", TextEncoding::kCodePage},
    {"CP932", TextEncoding::kCodePage},  {"SHIFTJIS", TextEncoding::kCodePage},
    {"MS932", TextEncoding::kCodePage},  {"WINDOWS31J", TextEncoding::kCodePage},
    {"EUCJP", TextEncoding::kEucJp},     {"UTF8", TextEncoding::kUtf8},
    {"UTF16LE", TextEncoding::kUtf16Le}, {"UTF16BE", TextEncoding::kUtf16Be},
};

inline bool is_euc_byte(uint8_t b) {
  return b >= 0xA1 && b <= 0xFE;
}

// Whether p[0..n) is UTF-8 with at least one multibyte character and nothing invalid;
// a character cut by the end counts as valid when more bytes follow.
bool looks_utf8(const uint8_t* p, size_t n, bool more) {
  bool multibyte = false;
  for (size_t i = 0; i < n;) {
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    const Decoded d = decode_utf8(p + i, n - i);
    if (d.cp == kNoChar) {
      // Cut by the end of what was read? Then it is valid if the bytes present are.
      if (!more || n - i >= 4) return false;
      uint8_t tail[4] = {0x80, 0x80, 0x80, 0x80};
      std::memcpy(tail, p + i, n - i);
      if (decode_utf8(tail, 4).cp == kNoChar) return false;
      return multibyte || n - i > 1;
    }
    multibyte = true;
    i += d.length;
  }
  return multibyte;
}

// Whether p[0..n) is EUC-JP: every byte from 0x80 up a part of an assigned character,
// and among them kana (rows 0xA4 and 0xA5), which Japanese text always holds and which
// keeps a run of Shift_JIS half-width kana from passing for EUC-JP pairs.
bool looks_euc_jp(const uint8_t* p, size_t n, bool more) {
  bool kana = false;
  for (size_t i = 0; i < n;) {
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    const Decoded d = decode_euc_jp(p + i, n - i);
    if (d.cp == kNoChar) {
      if (more && n - i < 3 && (p[i] == 0x8E || p[i] == 0x8F || is_euc_byte(p[i]))) break;
      return false;
    }
    if (p[i] == 0xA4 || p[i] == 0xA5) kana = true;
    i += d.length;
  }
  return kana;
}

}  // namespace

bool fold_charset_name(const char* name, char* out, size_t cap) {
  size_t len = 0;
  for (const char* c = name; *c != '\0'; ++c) {
    if (*c == '-' || *c == '_') continue;
    if (len + 1 >= cap) return false;
    out[len++] = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  }
  out[len] = '\0';
  return true;
}

bool is_utf8_name(const char* name) {
  char folded[8];
  return fold_charset_name(name, folded, sizeof folded) && std::strcmp(folded, "UTF8") == 0;
}

size_t encode_utf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

bool parse_encoding_name(const char* name, TextEncoding* out) {
  char key[16];
  if (!fold_charset_name(name, key, sizeof key)) return false;
  for (const NamedEncoding& n : kNames) {
    if (std::strcmp(key, n.name) == 0) {
      *out = n.encoding;
      return true;
    }
  }
  return false;
}

const char* encoding_label(TextEncoding e) {
  switch (e) {
    case TextEncoding::kEucJp:
      return "EUC-JP";
    case TextEncoding::kUtf8:
      return "UTF-8";
    case TextEncoding::kUtf16Le:
      return "UTF-16LE";
    case TextEncoding::kUtf16Be:
      return "UTF-16BE";
    default:
      return nullptr;
  }
}

size_t first_non_ascii(const uint8_t* p, size_t n) {
  size_t i = 0;
  // Eight bytes at a time: any high bit in the word means a byte from 0x80 up.
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, sizeof w);
    if ((w & 0x8080808080808080ull) != 0) break;
  }
  while (i < n && p[i] < 0x80) ++i;
  return i;
}

TextEncoding detect_encoding(const uint8_t* p, size_t n, bool at_start, bool more, bool euc_jp,
                             bool* decided) {
  *decided = true;
  if (at_start && n >= 2 && p[0] == 0xFF && p[1] == 0xFE) return TextEncoding::kUtf16Le;
  if (at_start && n >= 2 && p[0] == 0xFE && p[1] == 0xFF) return TextEncoding::kUtf16Be;
  const size_t first = first_non_ascii(p, n);
  if (first == n) {
    *decided = false;
    return TextEncoding::kCodePage;
  }
  // The bytes before the first non-ASCII one read the same in every encoding here.
  p += first;
  n -= first;
  if (looks_utf8(p, n, more)) return TextEncoding::kUtf8;
  if (euc_jp && looks_euc_jp(p, n, more)) return TextEncoding::kEucJp;
  return TextEncoding::kCodePage;
}

Decoded decode_char(TextEncoding e, const uint8_t* p, size_t avail) {
  switch (e) {
    case TextEncoding::kUtf8:
      return decode_utf8(p, avail);
    case TextEncoding::kEucJp:
      return decode_euc_jp(p, avail);
    case TextEncoding::kUtf16Le:
      return decode_utf16<false>(p, avail);
    case TextEncoding::kUtf16Be:
      return decode_utf16<true>(p, avail);
    default:
      return {1, p[0] < 0x80 ? char32_t{p[0]} : kNoChar};
  }
}

}  // namespace encoding
