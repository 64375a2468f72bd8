// The character column: every valid byte of a line takes one position. With Japanese
// display on, a lead byte is held back and shown together with the byte after it, so a
// Shift_JIS double-byte character appears whole; a lead byte that ends a line is joined
// with the look-ahead byte, and the next line shows a blank in its first position.
#pragma once

#include <cstdint>

namespace dump {

/// The column's carry-over state between bytes and between lines.
struct CharColumnState {
  uint8_t pending_lead = 0;  ///< a held lead byte not yet written; 0 when none
  bool trail_shown = false;  ///< the next line's first byte was written at this line's end
};

extern CharColumnState g_char_column;

/// Builds the spelling of each byte shown on its own; call once after the byte classes
/// and the display conversion are set up.
void char_column_setup();

/// Puts the character-column output for byte b at p; returns the end of what it put.
/// REQUIRES: room for two glyphs at p.
char* put_char_byte(char* p, uint8_t b);

/// Ends the column: resolves a lead byte held at the line end against the look-ahead.
/// REQUIRES: room for two glyphs at p.
char* put_finish_char_column(char* p);

/// The byte as the plain rule shows it: itself when printable or kana, else ".".
char* put_plain_char(char* p, uint8_t b);

/// write_char_byte and finish_char_column: the same, through the output stream.
void write_char_byte(uint8_t b);
void finish_char_column();

}  // namespace dump
