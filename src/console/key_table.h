// The console key tables: the pair of codes that a key press without a character of
// its own stands for (0 or 0xE0 first, then the key's code), by scan code and by which
// of Alt, Ctrl and Shift is held. Used by the Windows key input (keys_win32.cpp).
#pragma once

#include <cstdint>

namespace console {

/// Which modifier column of the tables applies; Alt wins over Ctrl, Ctrl over Shift.
enum class KeyModifier { kNone, kShift, kCtrl, kAlt };

/// Two codes that one key press stands for; second is 0 when the key has no pair.
struct KeyPair {
  int first = 0;
  int second = 0;
};

/// The pair for a key given by its scan code, whether the keyboard marks it enhanced
/// (the grey cursor block rather than the keypad), and the modifier; a pair with a
/// second code of 0 when the tables hold none for that key (Shift, Ctrl or Alt alone).
KeyPair key_pair(int scan_code, bool enhanced, KeyModifier modifier);

/// One code from the console input as the key tables give it: a character's code
/// (1-255), or the first code of a pair, whose second code the next call returns
/// without reading; -1 when the console input cannot be opened or read.
int read_console_code();

/// True when the code that read_console_code returned last was the first of a pair.
bool console_code_began_pair();

}  // namespace console
