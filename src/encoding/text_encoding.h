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

/// Decodes the character that starts at p, with avail bytes there (at least 1). Bytes
/// that spell no character (invalid, truncated, overlong, a surrogate) give kNoChar
/// with length 1 (a whole code unit in UTF-16), so the bytes after them are read anew.
/// REQUIRES: e is not kAuto or kCodePage; for UTF-16, p at a code unit's first byte.
Decoded decode_char(TextEncoding e, const uint8_t* p, size_t avail);

/// The longest character of e in bytes.
inline constexpr size_t kMaxCharBytes = 4;

}  // namespace encoding
