// Characters decoded from the dumped bytes (any text encoding but the code page's own)
// spelled for the display: in UTF-8 directly, on a display of the code page's own
// charset or another one through the platform's converter, with the geta mark 〓 for a
// character the display charset lacks. Each spelling knows the cells it takes, so the
// character column stays aligned.
#pragma once

#include <cstdint>

#include "console/display_encoding.h"

namespace console {

/// A character's spelling and the cells it takes; cells is 0 for a character that is
/// not shown as itself (controls, format and zero-width characters, marks, separators,
/// private use, unassigned code points).
struct CharSpelling {
  Glyph glyph;
  uint8_t cells;
};

/// Chooses how characters are spelled: code_page and display_charset as for
/// display_setup. Call after display_setup.
void display_char_setup(int code_page, const char* display_charset);

/// The spelling of code point cp in the character column.
CharSpelling display_char(char32_t cp);

/// True when every shown character is spelt as its own UTF-8 bytes (a UTF-8 display).
bool display_chars_are_utf8();

/// A character's spelling as a word: the spelling's bytes in bits 0-23 (the first in
/// bits 0-7), its length in bits 24-26, its cells in bits 27-28; kCharWordLong when the
/// spelling does not fit (display_char then has it); kCharWordBuilt always set.
inline constexpr uint32_t kCharWordLong = 0x40000000u;
inline constexpr uint32_t kCharWordBuilt = 0x80000000u;

/// The words of the Basic Multilingual Plane's characters, 0 until built.
extern uint32_t g_char_words[0x10000];

/// Builds (and for cp below 0x10000 keeps) the word of cp.
uint32_t build_char_word(char32_t cp);

/// The word of cp, built on first use.
inline uint32_t char_word(char32_t cp) {
  if (cp < 0x10000) {
    const uint32_t w = g_char_words[cp];
    if (w != 0) return w;
  }
  return build_char_word(cp);
}

}  // namespace console
