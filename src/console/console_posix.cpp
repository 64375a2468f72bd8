// The terminal layer for POSIX terminals, speaking ECMA-48 escape sequences: SGR for
// colours, DECTCEM for the cursor, DECSC/DECRC for the saved position, EL to hide a row.
//
// A terminal cannot be asked for its current colours, so the layer keeps the attribute
// it last set. The attribute found at start is taken to be the terminal's own default
// colours (foreground 7 on background 0), and those indices map to SGR 39 and 49 rather
// than to fixed colours, so the output suits light and dark themes alike.
#include "console/console.h"

#include <csignal>
#include <initializer_list>
#include <cstdio>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

#include "console/keys.h"
#include "console/output.h"
#include "platform/output.h"

namespace console {
namespace {

constexpr uint16_t kDefaultAttribute = 0x07;

// What the layer knows of the terminal. The fields the signal handlers read are
// sig_atomic_t so that a handler never sees half an update.
struct TerminalState {
  bool smart = false;
  volatile sig_atomic_t attribute = kDefaultAttribute;
  volatile sig_atomic_t cursor_hidden = 0;
  volatile sig_atomic_t open = 0;
};
TerminalState g_terminal;

// Console colour bits (blue 1, green 2, red 4) in ANSI order (red 1, green 2, blue 4).
constexpr int kAnsiOrder[8] = {0, 4, 2, 6, 1, 5, 3, 7};

int foreground_sgr(int color) {
  color &= 0x0F;
  if (color == 7) return 39;
  const int base = (color & 8) != 0 ? 90 : 30;
  return base + kAnsiOrder[color & 7];
}

int background_sgr(int color) {
  color &= 0x0F;
  if (color == 0) return 49;
  const int base = (color & 8) != 0 ? 100 : 40;
  return base + kAnsiOrder[color & 7];
}

// Writes "ESC [ a ; b m" with one or two parameters into buf; returns its length.
size_t format_sgr(char* buf, int first, int second) {
  int n = second < 0 ? std::snprintf(buf, 32, "\x1b[%dm", first)
                     : std::snprintf(buf, 32, "\x1b[%d;%dm", first, second);
  return static_cast<size_t>(n);
}

// Async-signal-safe: writes straight to the terminal, bypassing the output buffer.
void write_now(const char* s) {
  size_t n = std::strlen(s);
  while (n > 0) {
    ssize_t put = ::write(STDOUT_FILENO, s, n);
    if (put <= 0) return;
    s += put;
    n -= static_cast<size_t>(put);
  }
}

// Everything a fatal signal must put back, with nothing but async-signal-safe calls.
void restore_for_signal() {
  keys_restore();
  if (g_terminal.smart && g_terminal.open) write_now("\x1b[39;49m\x1b[?25h");
}

void on_fatal_signal(int sig) {
  restore_for_signal();
  std::signal(sig, SIG_DFL);
  ::raise(sig);  // blocked until this handler returns, then the default action ends us
}

void on_stop_signal(int sig) {
  restore_for_signal();
  std::signal(sig, SIG_DFL);
  ::raise(sig);
}

void on_continue(int) {
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGTSTP, &sa, nullptr);
  if (!g_terminal.smart || !g_terminal.open) return;
  if (g_terminal.cursor_hidden) write_now("\x1b[?25l");
  char sgr[32];
  const int attr = g_terminal.attribute;
  format_sgr(sgr, foreground_sgr(attr), background_sgr(attr >> 4));
  write_now(sgr);
  keys_resume();
}

void install(int sig, void (*handler)(int)) {
  struct sigaction old {};
  ::sigaction(sig, nullptr, &old);
  // A signal that was ignored when we started (nohup, a background job) stays ignored.
  if (old.sa_handler == SIG_IGN) return;
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  ::sigaction(sig, &sa, nullptr);
}

}  // namespace

void console_open() {
  platform::output_prepare();
  g_terminal.smart = platform::output_is_terminal() && !platform::output_terminal_is_dumb();
  g_terminal.attribute = kDefaultAttribute;
  g_terminal.cursor_hidden = 0;
  g_terminal.open = 1;
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) install(sig, on_fatal_signal);
  install(SIGTSTP, on_stop_signal);
  install(SIGCONT, on_continue);
  set_cursor_visible(true);
}

void console_close() {
  keys_restore();
  set_attribute(kDefaultAttribute);
  set_cursor_visible(true);
}

bool console_is_smart() { return g_terminal.smart; }

uint16_t background_bits() { return static_cast<uint16_t>(g_terminal.attribute & 0x00F0); }

void set_attribute(uint16_t attribute) {
  attribute &= 0xFF;
  const int old = g_terminal.attribute;
  if (!g_terminal.smart || old == attribute) return;
  const int fg_old = foreground_sgr(old), fg_new = foreground_sgr(attribute);
  const int bg_old = background_sgr(old >> 4), bg_new = background_sgr(attribute >> 4);
  char sgr[32];
  size_t n;
  if (bg_old == bg_new) {
    n = format_sgr(sgr, fg_new, -1);
  } else if (fg_old == fg_new) {
    n = format_sgr(sgr, bg_new, -1);
  } else {
    n = format_sgr(sgr, fg_new, bg_new);
  }
  out_ascii(sgr, n);
  g_terminal.attribute = attribute;
}

ConsoleColor set_foreground(ConsoleColor color) {
  const ConsoleColor previous = g_terminal.attribute & 0x000F;
  set_attribute(static_cast<uint16_t>(background_bits() | color));
  return previous;
}

int window_height() {
  if (!platform::output_is_terminal()) return kUnlimitedHeight;
  struct winsize ws {};
  // A terminal that reports no size (some serial lines) gets the classic 24 rows.
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_row == 0) return 24;
  return ws.ws_row;
}

void set_cursor_visible(bool visible) {
  if (!g_terminal.smart) return;
  out_ascii(visible ? "\x1b[?25h" : "\x1b[?25l");
  g_terminal.cursor_hidden = visible ? 0 : 1;
}

void save_cursor() {
  if (g_terminal.smart) out_ascii("\x1b" "7");
}

void restore_cursor() {
  if (g_terminal.smart) out_ascii("\x1b" "8");
}

void hide_row() {
  if (g_terminal.smart) out_ascii("\x1b[2K");
}

}  // namespace console
