// Key input from the terminal itself, never from standard input.
//
// A platform provides these operations in keys_<platform>.cpp.
#pragma once

namespace console {

/// Waits for one key and returns its code (1-255); keys without a character of their
/// own (arrows, function keys, Alt combinations) are passed over whole. -1 when the
/// terminal cannot be opened or read.
int read_key();

/// True when there is a terminal to read keys from at all (it is opened here on first
/// use). Without one the pager has nobody to wait for.
bool keys_available();

/// Puts the terminal's input modes back if a read left them changed. Async-signal-safe.
void keys_restore();

/// Puts the terminal back in the mode read_key needs after the process was continued.
void keys_resume();

}  // namespace console
