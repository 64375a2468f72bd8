// Keys from the console's own input, "CONIN$", so that the prompt is answered from the
// keyboard also when standard input is redirected. Each read runs in input mode 0: a
// key counts without Enter, is not echoed, and Ctrl+C is the code 3.
//
// A key without a character of its own stands for a pair of codes in the console's key
// tables (key_table_win32.cpp). read_key passes such a pair over whole, like an escape
// sequence on a POSIX terminal: its second code is a scan code, and taken for a
// character it would make Page Down quit (0xE0, 'Q') and Alt+F7 skip a file (0, 'n').
#include <windows.h>

#include "console/key_table.h"
#include "console/keys.h"

namespace console {
namespace {

struct KeyInput {
  HANDLE input = INVALID_HANDLE_VALUE;
  bool open_failed = false;
  DWORD saved_mode = 0;
  volatile LONG mode_changed = 0;  // read by the console event handler's thread
  int pending = -1;                // the second code of a pair, for the next call
  bool began_pair = false;
};
KeyInput g_keys;

bool open_input() {
  if (g_keys.input != INVALID_HANDLE_VALUE) return true;
  if (g_keys.open_failed) return false;
  g_keys.input =
      CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (g_keys.input == INVALID_HANDLE_VALUE) g_keys.open_failed = true;
  return g_keys.input != INVALID_HANDLE_VALUE;
}

KeyModifier modifier_of(DWORD state) {
  if ((state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) != 0) return KeyModifier::kAlt;
  if ((state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) != 0) return KeyModifier::kCtrl;
  if ((state & SHIFT_PRESSED) != 0) return KeyModifier::kShift;
  return KeyModifier::kNone;
}

// Reads events until a key press that gives a code; -1 when the input cannot be read.
int read_key_event() {
  for (;;) {
    INPUT_RECORD record;
    DWORD got = 0;
    if (!ReadConsoleInputA(g_keys.input, &record, 1, &got)) return -1;
    if (got == 0 || record.EventType != KEY_EVENT) continue;
    const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    if (!key.bKeyDown) continue;
    const int character = static_cast<unsigned char>(key.uChar.AsciiChar);
    if (character != 0) return character;
    const KeyPair pair = key_pair(key.wVirtualScanCode, (key.dwControlKeyState & ENHANCED_KEY) != 0,
                                  modifier_of(key.dwControlKeyState));
    if (pair.second == 0) continue;  // Shift, Ctrl or Alt alone
    g_keys.pending = pair.second;
    g_keys.began_pair = true;
    return pair.first;
  }
}

}  // namespace

int read_console_code() {
  g_keys.began_pair = false;
  if (g_keys.pending >= 0) {
    const int code = g_keys.pending;
    g_keys.pending = -1;
    return code;
  }
  if (!open_input()) return -1;
  const bool mode_known = GetConsoleMode(g_keys.input, &g_keys.saved_mode) != 0;
  if (mode_known) {
    InterlockedExchange(&g_keys.mode_changed, 1);
    SetConsoleMode(g_keys.input, 0);
  }
  const int code = read_key_event();
  keys_restore();
  return code;
}

bool console_code_began_pair() {
  return g_keys.began_pair;
}

int read_key() {
  for (;;) {
    const int code = read_console_code();
    if (!console_code_began_pair()) return code;
    read_console_code();  // the pair's second code, dropped with its first
  }
}

bool keys_available() {
  return open_input();
}

void keys_restore() {
  if (InterlockedExchange(&g_keys.mode_changed, 0) != 0) {
    SetConsoleMode(g_keys.input, g_keys.saved_mode);
  }
}

// A Windows process is not stopped and continued behind its back.
void keys_resume() {}

}  // namespace console
