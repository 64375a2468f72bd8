// The console layer over the Windows console API. A console call takes effect at once,
// while text waits in the output buffer, so the buffer is written out before every
// call; otherwise a colour would reach text written before it.
//
// When standard output is not a console every call would fail and change nothing; the
// layer then makes none, and does not flush, so that colouring a redirected dump does
// not cost a write per byte.
#include <windows.h>

#include "console/console.h"
#include "console/console_event_test_helper.h"
#include "console/keys.h"
#include "console/output.h"
#include "platform/output.h"

namespace console {
namespace {

constexpr DWORD kFullCursor = 100;  // the cursor fills the whole character cell

// What console_open found, and where save_cursor left the cursor.
struct ConsoleState {
  HANDLE output = INVALID_HANDLE_VALUE;
  bool smart = false;
  bool colour = false;  // colours may be set: a console, and NO_COLOR not set
  DWORD saved_cursor_size = 0;
  WORD saved_attribute = 0;
  COORD saved_position = {0, 0};
  volatile LONG prompt_shown = 0;  // read by the console event handler's thread
};
ConsoleState g_console;

// Asks the console afresh; false when standard output is not a console.
bool buffer_info(CONSOLE_SCREEN_BUFFER_INFO* info) {
  return g_console.smart && GetConsoleScreenBufferInfo(g_console.output, info) != 0;
}

void set_cursor_size(DWORD size) {
  CONSOLE_CURSOR_INFO cursor;
  if (!GetConsoleCursorInfo(g_console.output, &cursor)) return;
  cursor.dwSize = size;
  SetConsoleCursorInfo(g_console.output, &cursor);
}

// The cursor's row made invisible, its text in the colour of the background.
void paint_row_hidden() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(g_console.output, &info)) return;
  const WORD b = info.wAttributes & 0x00F0;
  const WORD attribute = static_cast<WORD>(b | (b >> 4));
  const COORD start = {0, info.dwCursorPosition.Y};
  DWORD painted = 0;
  FillConsoleOutputAttribute(g_console.output, attribute, static_cast<DWORD>(info.dwSize.X), start,
                             &painted);
}

// What Ctrl+C or Ctrl+Break, or closing the window, would leave behind: the prompt is
// erased, as an answered one is, and the console's own attribute and cursor are put back
// before the default handler ends the process. It runs on a thread of its own while the
// main thread waits for a key (or writes); the console calls it makes are safe from there.
BOOL WINAPI on_console_event(DWORD) {
  keys_restore();
  if (InterlockedExchange(&g_console.prompt_shown, 0) != 0) {
    // The prompt's row as an answer leaves it: hidden, the cursor at its start.
    SetConsoleCursorPosition(g_console.output, g_console.saved_position);
    paint_row_hidden();
  }
  set_cursor_size(g_console.saved_cursor_size);
  SetConsoleTextAttribute(g_console.output, g_console.saved_attribute);
  CONSOLE_CURSOR_INFO cursor;
  if (GetConsoleCursorInfo(g_console.output, &cursor)) {
    cursor.bVisible = TRUE;
    SetConsoleCursorInfo(g_console.output, &cursor);
  }
  return FALSE;
}

}  // namespace

platform::WriteResult console_write(const char* data, size_t n) {
  // No signal stops a Windows process in the middle of a write.
  return platform::output_write(platform::OutputStream::kStdout, data, n);
}

void console_open() {
  platform::output_prepare();
  g_console.output = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO info;
  g_console.smart = GetConsoleScreenBufferInfo(g_console.output, &info) != 0;
  g_console.colour = g_console.smart && !colour_refused();
  if (!g_console.smart) return;
  CONSOLE_CURSOR_INFO cursor;
  if (GetConsoleCursorInfo(g_console.output, &cursor)) g_console.saved_cursor_size = cursor.dwSize;
  g_console.saved_attribute = info.wAttributes;
  set_cursor_size(kFullCursor);
  set_cursor_visible(true);
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

void console_close() {
  if (!g_console.smart) return;
  out_flush();
  set_cursor_size(g_console.saved_cursor_size);
  set_attribute(g_console.saved_attribute);
  set_cursor_visible(true);
}

void console_event_for_test() {
  on_console_event(CTRL_BREAK_EVENT);
}

bool console_is_smart() {
  return g_console.smart;
}

bool console_has_colour() {
  return g_console.colour;
}

uint16_t background_bits() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!buffer_info(&info)) return 0;
  return static_cast<uint16_t>(info.wAttributes & 0x00F0);
}

void set_attribute(uint16_t attribute) {
  if (!g_console.colour) return;
  out_flush();
  SetConsoleTextAttribute(g_console.output, attribute);
}

ConsoleColor set_foreground(ConsoleColor color) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!buffer_info(&info)) return kColorNormal;
  const ConsoleColor previous = info.wAttributes & 0x000F;
  set_attribute(static_cast<uint16_t>(background_bits() | color));
  return previous;
}

int window_height() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!buffer_info(&info)) return kUnlimitedHeight;
  return info.srWindow.Bottom - info.srWindow.Top + 1;
}

bool window_resized() {
  // Asking the console on every line would cost a call per line; the pager takes the
  // window's height again at every prompt instead.
  return false;
}

void set_cursor_visible(bool visible) {
  if (!g_console.smart) return;
  out_flush();
  CONSOLE_CURSOR_INFO cursor;
  if (!GetConsoleCursorInfo(g_console.output, &cursor)) return;
  cursor.bVisible = visible ? TRUE : FALSE;
  SetConsoleCursorInfo(g_console.output, &cursor);
}

void save_cursor() {
  if (!g_console.smart) return;
  out_flush();  // the cursor stands where the text written so far has left it
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (buffer_info(&info)) g_console.saved_position = info.dwCursorPosition;
}

void restore_cursor() {
  if (!g_console.smart) return;
  out_flush();
  SetConsoleCursorPosition(g_console.output, g_console.saved_position);
}

void hide_row() {
  if (!g_console.smart) return;
  out_flush();
  paint_row_hidden();
}

void show_prompt(const char* text, size_t n) {
  save_cursor();
  const uint16_t background = background_bits();
  set_attribute(kPromptAttribute);
  out_ascii(text, n);
  set_attribute(static_cast<uint16_t>(background | kColorNormal));
  out_flush();
  if (g_console.smart) InterlockedExchange(&g_console.prompt_shown, 1);
}

void erase_prompt() {
  InterlockedExchange(&g_console.prompt_shown, 0);
  restore_cursor();
  hide_row();
}

}  // namespace console
