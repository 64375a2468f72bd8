// Text encodings of the dumped bytes: which one a file is read in, how a name on the
// command line chooses it, how `auto` recognises one from a file's bytes, and how one
// character is decoded from them. The code page's own encoding (Shift_JIS under code
// page 932) is not decoded here: its byte classes and pairs stay in the dump engine.
#pragma once

#include <cstddef>
#include <cstdint>

namespace encoding {

/// The encoding the character column reads the bytes in.
enum class TextEncoding : uint8_t {
  kAuto,      ///< recognised per file from its bytes, else the code page's own
  kCodePage,  ///< the code page in force (Shift_JIS/CP932 under 932)
  kEucJp,     ///< JIS X 0208 pairs, 0x8E + half-width kana, 0x8F + JIS X 0212
  kUtf8,
  kUtf16Le,
  kUtf16Be,
};

/// Writes name into out as it is compared with other charset and encoding names: upper
/// case, without '-' and '_'. False when that takes more than cap - 1 bytes.
bool fold_charset_name(const char* name, char* out, size_t cap);

/// Whether name, folded, names UTF-8 ("UTF-8", "utf8").
bool is_utf8_name(const char* name);

/// Writes the UTF-8 spelling of cp (1 to 4 bytes) at out; returns its length.
size_t encode_utf8(char32_t cp, char* out);

/// Reads an encoding name, ignoring case, '-' and '_'; false for an unknown name.
bool parse_encoding_name(const char* name, TextEncoding* out);

/// The name a file header shows for e, or nullptr for the code page's own and auto.
const char* encoding_label(TextEncoding e);

/// Index of the first byte of p[0..n) at 0x80 or above, or n when there is none.
size_t first_non_ascii(const uint8_t* p, size_t n);

/// What auto makes of a file from bytes p[0..n) read so far: at_start when p is the
/// file's first byte; more when bytes may follow them. Sets decided to false when the
/// bytes are all ASCII (nothing to tell yet). euc_jp allows EUC-JP to be chosen.
TextEncoding detect_encoding(const uint8_t* p, size_t n, bool at_start, bool more, bool euc_jp,
                             bool* decided);

/// A code point that no character has: marks bytes that are no character.
inline constexpr char32_t kNoChar = 0xFFFFFFFF;

/// One decoding step: the bytes it took, and the character they spell or kNoChar.
struct Decoded {
  uint32_t length;
  char32_t cp;
};

/// The longest character of any encoding here, in bytes.
inline constexpr size_t kMaxCharBytes = 4;

/// The code point of JIS X 0208 at row, cell (EUC-JP bytes 0xA1-0xFE), or 0 where it
/// has none; jis_x0212_char the same for JIS X 0212 (the two bytes after 0x8F).
char32_t jis_x0208_char(uint8_t row, uint8_t cell);
char32_t jis_x0212_char(uint8_t row, uint8_t cell);

/// The CP932 spelling of code point cp from 0x80 up: one byte (a half-width kana) or a
/// lead byte in bits 8-15 and a trail byte in bits 0-7; 0 when CP932 has none.
uint16_t cp932_bytes(char32_t cp);

/// The character of a CP932 byte on its own (ASCII, or a half-width kana from 0xA1 to
/// 0xDF), and of a CP932 lead byte with a trail byte; 0 where they are none.
char32_t cp932_single_char(uint8_t b);
char32_t cp932_pair_char(uint8_t lead, uint8_t trail);

/// Decoders of one character at p, with avail bytes there (at least 1). Bytes that
/// spell no character (invalid, truncated, overlong, a surrogate) give kNoChar with
/// length 1 (a whole code unit in UTF-16), so the bytes after them are read anew.
inline Decoded decode_utf8(const uint8_t* p, size_t avail) {
  constexpr Decoded kBad = {1, kNoChar};
  const uint8_t b = p[0];
  if (b < 0x80) return {1, b};
  // The second byte's range is narrower after E0, ED, F0 and F4: that is what refuses
  // overlong forms, surrogates and code points past U+10FFFF.
  uint32_t length;
  char32_t cp;
  uint8_t low = 0x80, high = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
    cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    cp = b & 0x0F;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    cp = b & 0x07;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return kBad;
  }
  if (avail < length || p[1] < low || p[1] > high) return kBad;
  for (uint32_t i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return kBad;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  return {length, cp};
}

inline Decoded decode_euc_jp(const uint8_t* p, size_t avail) {
  constexpr Decoded kBad = {1, kNoChar};
  const uint8_t b = p[0];
  if (b < 0x80) return {1, b};
  auto is_euc_byte = [](uint8_t c) { return c >= 0xA1 && c <= 0xFE; };
  if (b == 0x8E) {
    // A half-width katakana: U+FF61 to U+FF9F.
    if (avail < 2 || p[1] < 0xA1 || p[1] > 0xDF) return kBad;
    return {2, static_cast<char32_t>(0xFF61 + (p[1] - 0xA1))};
  }
  if (b == 0x8F) {
    if (avail < 3 || !is_euc_byte(p[1]) || !is_euc_byte(p[2])) return kBad;
    const char32_t cp = jis_x0212_char(p[1], p[2]);
    return cp != 0 ? Decoded{3, cp} : kBad;
  }
  if (!is_euc_byte(b) || avail < 2 || !is_euc_byte(p[1])) return kBad;
  const char32_t cp = jis_x0208_char(b, p[1]);
  return cp != 0 ? Decoded{2, cp} : kBad;
}

/// REQUIRES: p at a code unit's first byte.
template <bool kBigEndian>
inline Decoded decode_utf16(const uint8_t* p, size_t avail) {
  auto unit_at = [](const uint8_t* q) {
    return kBigEndian ? (uint32_t{q[0]} << 8 | q[1]) : (uint32_t{q[1]} << 8 | q[0]);
  };
  if (avail < 2) return {1, kNoChar};
  const uint32_t unit = unit_at(p);
  if (unit < 0xD800 || unit > 0xDFFF) return {2, unit};
  // A high surrogate takes a low one after it; any other surrogate stands for nothing.
  if (unit >= 0xDC00 || avail < 4) return {2, kNoChar};
  const uint32_t low = unit_at(p + 2);
  if (low < 0xDC00 || low > 0xDFFF) return {2, kNoChar};
  return {4, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)};
}

/// The decoder of e. REQUIRES: e is not kAuto or kCodePage.
Decoded decode_char(TextEncoding e, const uint8_t* p, size_t avail);

}  // namespace encoding
