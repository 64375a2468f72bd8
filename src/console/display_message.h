// The program's own texts on the display: they are always code page 932 (Shift_JIS),
// whatever the code page in force, and are converted for a display that is not.
// display_encoding.h declares the writers; display_setup chooses the charset here.
#pragma once

namespace console {

/// The code page of the program's own texts.
inline constexpr int kMessageCodePage = 932;

/// Makes messages go out converted to charset, or unchanged when charset is null.
void message_display_setup(const char* charset);

/// Makes file names go out converted from charset from to charset to, or unchanged when
/// either is null or they are the same.
void name_display_setup(const char* from, const char* to);
/// Says on standard error, once after each message_display_setup, that text cannot be
/// converted from charset from to charset to, and what is shown instead (shown is in the
/// display's charset; from may be null).
void report_unconvertible(const char* from, const char* to, const char* shown);

}  // namespace console
