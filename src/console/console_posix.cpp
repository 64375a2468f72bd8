// The terminal layer for POSIX terminals, speaking ECMA-48 escape sequences: SGR for
// colours, DECTCEM for the cursor, DECSC/DECRC for the saved position, EL to hide a row.
//
// A terminal cannot be asked for its current colours, so the layer keeps the attribute
// it last set. The attribute found at start is taken to be the terminal's own default
// colours (foreground 7 on background 0), and those indices map to SGR 39 and 49 rather
// than to fixed colours, so the output suits light and dark themes alike.
//
// A terminal whose TERM is "dumb" (or unset) gets no escape sequence at all; it still
// pages, and the prompt is taken off its row with a carriage return and blanks.
#include "console/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <initializer_list>

#include "console/keys.h"
#include "console/output.h"
#include "platform/output.h"

namespace console {
namespace {

constexpr uint16_t kDefaultAttribute = 0x07;

enum class Terminal { kNone, kDumb, kSmart };

// What the layer knows of the terminal. The fields the signal handlers read are
// sig_atomic_t so that a handler never sees half an update.
struct TerminalState {
  Terminal kind = Terminal::kNone;
  volatile sig_atomic_t smart = 0;
  volatile sig_atomic_t attribute = kDefaultAttribute;
  volatile sig_atomic_t cursor_hidden = 0;
  volatile sig_atomic_t stopped = 0;  // the stop handler put the terminal back
};
TerminalState g_terminal;

// Console colour bits (blue 1, green 2, red 4) in ANSI order (red 1, green 2, blue 4).
constexpr int kAnsiOrder[8] = {0, 4, 2, 6, 1, 5, 3, 7};

int foreground_sgr(int color) {
  color &= 0x0F;
  if (color == kColorNormal) return 39;
  const int base = (color & 8) != 0 ? 90 : 30;
  return base + kAnsiOrder[color & 7];
}

int background_sgr(int color) {
  color &= 0x0F;
  if (color == 0) return 49;
  const int base = (color & 8) != 0 ? 100 : 40;
  return base + kAnsiOrder[color & 7];
}

// SGR parameters are at most three digits. Hand-made rather than snprintf because the
// continue handler formats one too, and snprintf is not async-signal-safe.
char* put_number(char* p, int n) {
  if (n >= 100) *p++ = static_cast<char>('0' + n / 100);
  if (n >= 10) *p++ = static_cast<char>('0' + n / 10 % 10);
  *p++ = static_cast<char>('0' + n % 10);
  return p;
}

// Writes "ESC [ first m" or "ESC [ first ; second m" (second >= 0) at buf; returns the
// length. buf holds at least 16 bytes.
size_t format_sgr(char* buf, int first, int second) {
  char* p = buf;
  *p++ = '\x1b';
  *p++ = '[';
  p = put_number(p, first);
  if (second >= 0) {
    *p++ = ';';
    p = put_number(p, second);
  }
  *p++ = 'm';
  return static_cast<size_t>(p - buf);
}

// Async-signal-safe: writes straight to the terminal, bypassing the output buffer.
void write_now(const char* s, size_t n) {
  while (n > 0) {
    const ssize_t put = ::write(STDOUT_FILENO, s, n);
    if (put <= 0) return;
    s += put;
    n -= static_cast<size_t>(put);
  }
}

constexpr char kResetSequence[] = "\x1b[39;49m\x1b[?25h";

// Everything a stop or a fatal signal must put back, with async-signal-safe calls only.
void restore_for_signal() {
  keys_restore();
  if (g_terminal.smart) write_now(kResetSequence, sizeof kResetSequence - 1);
}

void set_handler(int sig, void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(sig, &sa, nullptr);
}

void on_fatal_signal(int sig) {
  restore_for_signal();
  set_handler(sig, SIG_DFL);
  // Blocked until this handler returns; then the default action ends the process, so
  // whoever waits for it sees the signal's own status.
  ::raise(sig);
}

void on_stop_signal(int sig) {
  restore_for_signal();
  g_terminal.stopped = 1;
  set_handler(sig, SIG_DFL);
  ::raise(sig);  // stops the process once this handler returns
}

void on_continue(int) {
  // A SIGCONT without our stop before it (after SIGSTOP, or sent on its own) finds the
  // terminal as the run left it: nothing to put back.
  if (!g_terminal.stopped) return;
  g_terminal.stopped = 0;
  set_handler(SIGTSTP, on_stop_signal);
  if (g_terminal.smart) {
    char seq[32];
    size_t n = 0;
    if (g_terminal.cursor_hidden) {
      std::memcpy(seq, "\x1b[?25l", 6);
      n = 6;
    }
    const int attr = g_terminal.attribute;
    n += format_sgr(seq + n, foreground_sgr(attr), background_sgr(attr >> 4));
    write_now(seq, n);
  }
  keys_resume();
}

void install(int sig, void (*handler)(int)) {
  struct sigaction old {};
  ::sigaction(sig, nullptr, &old);
  // A signal that was ignored when we started (nohup, a background job) stays ignored.
  if (old.sa_handler == SIG_IGN) return;
  set_handler(sig, handler);
}

// Columns of the terminal, for blanking a row on a terminal without escapes.
int window_width() {
  struct winsize ws {};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0) return 80;
  return ws.ws_col;
}

}  // namespace

void console_open() {
  platform::output_prepare();
  if (!platform::output_is_terminal()) {
    g_terminal.kind = Terminal::kNone;
  } else {
    g_terminal.kind = platform::output_terminal_is_dumb() ? Terminal::kDumb : Terminal::kSmart;
  }
  g_terminal.smart = g_terminal.kind == Terminal::kSmart ? 1 : 0;
  g_terminal.attribute = kDefaultAttribute;
  g_terminal.cursor_hidden = 0;
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

bool console_is_smart() {
  return g_terminal.smart != 0;
}

uint16_t background_bits() {
  return static_cast<uint16_t>(g_terminal.attribute & 0x00F0);
}

void set_attribute(uint16_t attribute) {
  attribute &= 0xFF;
  const int old = g_terminal.attribute;
  if (!g_terminal.smart || old == attribute) return;
  const int fg_old = foreground_sgr(old), fg_new = foreground_sgr(attribute);
  const int bg_old = background_sgr(old >> 4), bg_new = background_sgr(attribute >> 4);
  char sgr[16];
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
  if (g_terminal.kind == Terminal::kNone) return kUnlimitedHeight;
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
  // A dumb terminal needs nothing saved: the prompt always begins at column 0.
  if (g_terminal.smart)
    out_ascii(
        "\x1b"
        "7");
}

void restore_cursor() {
  if (g_terminal.kind == Terminal::kSmart) {
    out_ascii(
        "\x1b"
        "8");
  } else if (g_terminal.kind == Terminal::kDumb) {
    out_ascii_char('\r');
  }
}

void hide_row() {
  if (g_terminal.kind == Terminal::kSmart) {
    out_ascii("\x1b[2K");
  } else if (g_terminal.kind == Terminal::kDumb) {
    // Blanks up to the last column but one, so that no terminal wraps to a new row.
    for (int n = window_width() - 1; n > 0; --n) out_ascii_char(' ');
    out_ascii_char('\r');
  }
}

}  // namespace console
