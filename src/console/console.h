// Terminal layer: colours, cursor, window height and putting the terminal back.
//
// A platform provides these operations in console_<platform>.cpp. Colours are console
// colour indices (bit 0 blue, bit 1 green, bit 2 red, bit 3 intensity); a text attribute
// holds the foreground in bits 0-3 and the background in bits 4-7. Foreground 7 on
// background 0 is the terminal's own default colours.
//
// What a platform must guarantee:
//   - console_open captures what console_close puts back, and is called before any text.
//   - No operation reports failure; when standard output is not a terminal every
//     operation changes nothing and writes nothing.
//   - Escape sequences, where a platform uses them, travel in the one output stream
//     (console/output.h), so they stay in order with the text.
//   - console_close restores the attribute and shows the cursor, also when called from
//     the handler of a fatal signal (the platform installs such handlers in console_open).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/output.h"

namespace console {

/// A 4-bit console colour index, 0 to 15.
using ConsoleColor = int;

inline constexpr ConsoleColor kColorNormal = 7;     ///< Ordinary text.
inline constexpr ConsoleColor kColorLead = 11;      ///< Lead bytes (-k).
inline constexpr ConsoleColor kColorMarker = 12;    ///< JPEG markers (-m).
inline constexpr ConsoleColor kColorControl = 13;   ///< Control codes (-c).
inline constexpr ConsoleColor kColorNewline = 14;   ///< CR and LF (-d).
inline constexpr ConsoleColor kColorBanner = 15;    ///< The banner line (bold on POSIX).
inline constexpr uint16_t kPromptAttribute = 0x74;  ///< Red on light grey.

/// Window height reported when standard output is not a terminal: never a full page.
inline constexpr int kUnlimitedHeight = 1 << 30;

/// Writes the output stream's bytes to standard output. On a terminal a stop that
/// comes meanwhile is taken only where the bytes leave off outside an escape sequence.
platform::WriteResult console_write(const char* data, size_t n);

/// Captures the terminal state to restore and installs the restoring signal handlers.
void console_open();

/// Puts back the captured attribute and shows the cursor.
void console_close();

/// True when colours, cursor changes and row hiding reach a terminal.
bool console_is_smart();

/// True when colours reach the terminal: it is smart, and NO_COLOR is not set to a
/// non-empty value (with it, no colour at all is written; everything else stays).
bool console_has_colour();

/// True when NO_COLOR is set and not empty. Shared by the platforms' console_open.
bool colour_refused();

/// The current attribute AND 0x00F0: the background, not shifted down.
uint16_t background_bits();

/// Makes attribute the attribute of all text written afterwards.
void set_attribute(uint16_t attribute);

/// Sets the foreground, keeps the background; returns the previous foreground.
ConsoleColor set_foreground(ConsoleColor color);

/// Rows of the visible window; kUnlimitedHeight when standard output is not a terminal.
int window_height();

/// True once after the window has changed size (SIGWINCH where there is one); false
/// where that cannot be told cheaply.
bool window_resized();

/// Shows or hides the cursor.
void set_cursor_visible(bool visible);

/// Remembers the cursor position; a later save replaces it.
void save_cursor();

/// Moves the cursor back to the remembered position.
void restore_cursor();

/// Makes the cursor's row invisible (its text takes the background colour).
void hide_row();

/// Shows the pager's prompt (plain ASCII) at the cursor, which stands at the start of a
/// row: in the prompt colours, then back to the background that was current, and on the
/// screen before this returns. A terminal that cannot take a wrapped prompt off again
/// gets as much of it as fits in one row.
void show_prompt(const char* text, size_t n);

/// Takes the prompt off the screen again, every row it took, and leaves the cursor where
/// it began.
void erase_prompt();

}  // namespace console
