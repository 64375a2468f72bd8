// Hex byte highlighting: the two digits of chosen bytes in a colour of their own
// (-k lead bytes, -c control codes, -d CR and LF, -m JPEG markers).
#pragma once

#include <cstdint>

namespace dump {

/// Carry-over state of the highlighter.
struct HighlightState {
  /// The last byte written under -m was 0xFF: the next byte is the marker's code byte.
  /// Carried across lines and files; nothing resets it.
  bool after_marker = false;
};

extern HighlightState g_highlight;

/// The colour the rules give byte b (updating the marker state), or -1 for none.
int highlight_color(uint8_t b);

/// The colour the rules give byte b when its classes are given rather than taken from the
/// code page's byte classes (an encoding decoded character by character), or -1.
int highlight_color_classed(uint8_t b, bool lead, bool newline, bool control);

/// write_hex_byte with the classes given, as for highlight_color_classed.
void write_hex_byte_classed(uint8_t b, bool lead, bool newline, bool control);

/// True when any highlight can show: an option is on and the terminal takes colours.
bool highlight_active();

/// Puts the two upper-case hex digits of b at p; returns p + 2.
char* put_hex_digits(char* p, uint8_t b);

/// Writes the two digits of b, in its highlight colour if a rule applies; the
/// foreground is 7 afterwards.
void write_hex_byte(uint8_t b);

}  // namespace dump
