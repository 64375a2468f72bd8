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

}  // namespace console
