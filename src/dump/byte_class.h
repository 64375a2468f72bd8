// Byte classes: five yes-or-no questions about a byte value, on which everything the
// dump shows depends. The multibyte classes follow the code page chosen at start-up;
// printable (0x20-0x7E) and control (0x00-0x1F, 0x7F) are those of the "C" locale.
#pragma once

#include <cstdint>

namespace dump {

/// Flags of one byte in the multibyte class table.
enum : uint8_t {
  MB_SYMBOL = 0x01,  ///< single-byte symbol (half-width katakana under 932)
  MB_PUNCT = 0x02,   ///< single-byte punctuation (half-width Japanese punctuation)
  MB_LEAD = 0x04,    ///< lead byte of a double-byte character
  MB_TRAIL = 0x08,   ///< possible second byte of a double-byte character
};

/// 256 flag bytes, one per byte value; all zero until built.
extern uint8_t g_multibyte_class[256];

/// Fills the table for code_page; runs once at start-up, before the arguments are used.
void build_byte_classes(int code_page);

inline bool is_lead_byte(uint8_t b) {
  return (g_multibyte_class[b] & MB_LEAD) != 0;
}
inline bool is_trail_byte(uint8_t b) {
  return (g_multibyte_class[b] & MB_TRAIL) != 0;
}
inline bool is_kana_symbol(uint8_t b) {
  return (g_multibyte_class[b] & (MB_SYMBOL | MB_PUNCT)) != 0;
}
inline bool is_printable(uint8_t b) {
  return b >= 0x20 && b <= 0x7E;
}
inline bool is_control(uint8_t b) {
  return b < 0x20 || b == 0x7F;
}

}  // namespace dump
