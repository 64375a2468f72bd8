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

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

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
  volatile sig_atomic_t colour = 0;  // colours may be written (NO_COLOR not set)
  volatile sig_atomic_t attribute = kDefaultAttribute;
  volatile sig_atomic_t cursor_hidden = 0;
  volatile sig_atomic_t stopped = 0;  // the stop signal whose handler put the terminal back
};
TerminalState g_terminal;

// Console colour bits (blue 1, green 2, red 4) in ANSI order (red 1, green 2, blue 4).
constexpr int kAnsiOrder[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// Without colour (NO_COLOR) every attribute maps to the terminal's own colours, so no
// colour is ever written. The banner's bright white is bold in the terminal's own foreground
// (SGR 1 on top of 39), which reads on light and dark themes alike.
int foreground_sgr(int color) {
  color &= 0x0F;
  if (color == kColorNormal || color == kColorBanner || !g_terminal.colour) return 39;
  // CR and LF take the palette's plain yellow: bright yellow all but vanishes on a light
  // background, while plain yellow reads on light and dark themes.
  if (color == kColorNewline) return 33;
  const int base = (color & 8) != 0 ? 90 : 30;
  return base + kAnsiOrder[color & 7];
}

int background_sgr(int color) {
  color &= 0x0F;
  if (color == 0 || !g_terminal.colour) return 49;
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

// Columns of the terminal. Async-signal-safe.
int window_width() {
  struct winsize ws {};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0) return 80;
  return ws.ws_col;
}

// The prompt while it is on the screen, for a stop to take it off and a continue to draw
// it again (the handlers cannot ask the pager).
struct PromptState {
  char text[64];
  volatile sig_atomic_t length = 0;
  volatile sig_atomic_t showing = 0;
};
PromptState g_prompt;

// The terminal opened once more, non-blocking: a handler's write must never wait for
// ever, not even when the terminal's output is paused (Ctrl+S), or the process could
// not end.
int g_signal_fd = -1;

// How long a handler's write waits for a full terminal to take more: enough for one that
// is merely busy, and the end of the wait for one whose output is paused.
constexpr int kSignalWriteWaitMs = 1000;

void open_signal_fd() {
  char path[256];
  if (::ttyname_r(STDOUT_FILENO, path, sizeof path) != 0) return;
  g_signal_fd = ::open(path, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

// Async-signal-safe: writes straight to the terminal, bypassing the output buffer. What
// the terminal does not take within kSignalWriteWaitMs is dropped.
void write_now(const char* s, size_t n) {
  int fd = g_signal_fd;
  int flags = -1;
  if (fd < 0) {
    // The terminal could not be opened again: standard output's own description, made
    // non-blocking for as long as this write takes.
    fd = STDOUT_FILENO;
    flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  }
  while (n > 0) {
    const ssize_t put = ::write(fd, s, n);
    if (put > 0) {
      s += put;
      n -= static_cast<size_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) break;
    struct pollfd pfd {
      fd, POLLOUT, 0
    };
    if (::poll(&pfd, 1, kSignalWriteWaitMs) <= 0) break;
  }
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags);
}

// Rows a prompt of the given columns takes: a prompt that fills its last row exactly
// leaves the cursor on that row.
int prompt_rows(int columns) {
  const int width = window_width();
  return columns <= width ? 1 : (columns + width - 1) / width;
}

// Sends the sequence that takes the prompt off the screen to put(). A smart terminal goes
// back to where the prompt began (up the rows it wrapped onto, which a scroll may have
// moved) and erases from there; a dumb one has only the carriage return and blanks, and
// its prompt never takes more than one row.
void erase_prompt_with(void (*put)(const char*, size_t)) {
  if (g_terminal.smart) {
    const int rows = prompt_rows(g_prompt.length);
    if (rows <= 1) {
      put("\x1b"
          "8\x1b[2K",
          6);
      return;
    }
    char seq[32] = "\r\x1b[";
    char* p = put_number(seq + 3, rows - 1 < 999 ? rows - 1 : 999);
    std::memcpy(p, "A\x1b[J", 4);
    put(seq, static_cast<size_t>(p + 4 - seq));
  } else if (g_terminal.kind == Terminal::kDumb) {
    char blanks[64];
    std::memset(blanks, ' ', sizeof blanks);
    put("\r", 1);
    for (int n = window_width() - 1; n > 0; n -= static_cast<int>(sizeof blanks))
      put(blanks, n < static_cast<int>(sizeof blanks) ? static_cast<size_t>(n) : sizeof blanks);
    put("\r", 1);
  }
}

void put_to_stream(const char* s, size_t n) {
  out_ascii(s, n);
}

// The prompt drawn again where the cursor stands, at the start of a row, with its
// position saved anew for the erase that follows the key.
void draw_prompt_now() {
  char seq[128];
  size_t n = 0;
  const int length = g_prompt.length;
  if (g_terminal.smart) {
    std::memcpy(seq,
                "\x1b"
                "7",
                2);
    n = 2;
    n += format_sgr(seq + n, foreground_sgr(kPromptAttribute),
                    background_sgr(kPromptAttribute >> 4));
  }
  std::memcpy(seq + n, g_prompt.text, static_cast<size_t>(length));
  n += static_cast<size_t>(length);
  if (g_terminal.smart) {
    const int attr = g_terminal.attribute;
    n += format_sgr(seq + n, foreground_sgr(attr), background_sgr(attr >> 4));
  }
  write_now(seq, n);
}

constexpr char kResetSequence[] = "\x1b[39;49m\x1b[?25h";

// Everything a stop or an ending signal must put back, with async-signal-safe calls
// only. The prompt goes too: the shell writes after it. It stays marked as showing, so
// that a continue draws it again.
void restore_for_signal() {
  keys_restore();
  if (g_prompt.showing) erase_prompt_with(write_now);
  if (g_terminal.smart) write_now(kResetSequence, sizeof kResetSequence - 1);
}

// Signals whose default action ends the process. Those of a fault in the program itself
// come back when the handler returns, from the same instruction.
const int kEndingSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
    SIGXCPU,   SIGXFSZ, SIGTRAP, SIGSYS,  SIGABRT, SIGSEGV, SIGBUS,  SIGILL,    SIGFPE,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};
constexpr int kStopSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

bool is_fault(int sig) {
  return sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGFPE;
}

// What each signal did before: a fault goes back to it (the default, or a sanitizer's
// report) once the terminal is put back.
struct sigaction g_previous[NSIG];

// A handler runs on a stack of its own, so that a stack overflow can still be reported.
alignas(16) char g_signal_stack[1 << 16];

void set_action(int sig, void (*handler)(int), void (*info_handler)(int, siginfo_t*, void*)) {
  struct sigaction sa {};
  if (info_handler != nullptr) {
    sa.sa_sigaction = info_handler;
    sa.sa_flags = SA_SIGINFO;
  } else {
    sa.sa_handler = handler;
  }
  // Nothing else runs in between, and the terminal takes the handler's writes and mode
  // changes also from a background job (SIGTTOU blocked counts as ignored).
  sigfillset(&sa.sa_mask);
  sa.sa_flags |= SA_RESTART | SA_ONSTACK;
  ::sigaction(sig, &sa, nullptr);
}

void on_ending_signal(int sig, siginfo_t* info, void*) {
  const int saved_errno = errno;
  restore_for_signal();
  if (is_fault(sig) && info != nullptr && info->si_code > 0) {
    // A fault of an instruction happens again as soon as this returns, under the action
    // it had before (the default, or a sanitizer's report).
    ::sigaction(sig, &g_previous[sig], nullptr);
  } else {
    // A signal sent by a process is sent once more, to the default action, and delivered
    // once this handler has returned: the process ends with the signal's own status.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(sig, &dfl, nullptr);
    ::raise(sig);
  }
  errno = saved_errno;
}

void on_stop_signal(int sig) {
  const int saved_errno = errno;
  restore_for_signal();
  g_terminal.stopped = sig;
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  ::sigaction(sig, &dfl, nullptr);
  ::raise(sig);  // stops the process once this handler returns
  errno = saved_errno;
}

void on_continue(int) {
  // A SIGCONT without our stop before it (after SIGSTOP, or sent on its own) finds the
  // terminal as the run left it: nothing to put back.
  const int stopped_by = g_terminal.stopped;
  if (stopped_by == 0) return;
  const int saved_errno = errno;
  g_terminal.stopped = 0;
  set_action(stopped_by, on_stop_signal, nullptr);
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
  if (g_prompt.showing) draw_prompt_now();
  errno = saved_errno;
}

// A signal that was ignored when we started (nohup, a background job) stays ignored.
bool take_over(int sig) {
  if (::sigaction(sig, nullptr, &g_previous[sig]) != 0) return false;
  return g_previous[sig].sa_handler != SIG_IGN;
}

void install_handlers() {
  stack_t current{};
  if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) != 0) {
    stack_t own{};
    own.ss_sp = g_signal_stack;
    own.ss_size = sizeof g_signal_stack;
    ::sigaltstack(&own, nullptr);
  }
  for (int sig : kEndingSignals)
    if (take_over(sig)) set_action(sig, nullptr, on_ending_signal);
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig)
    if (take_over(sig)) set_action(sig, nullptr, on_ending_signal);
  for (int sig : kStopSignals)
    if (take_over(sig)) set_action(sig, on_stop_signal, nullptr);
  if (take_over(SIGCONT)) set_action(SIGCONT, on_continue, nullptr);
}

// Set by SIGWINCH: the window changed size, so the pager takes its height again.
volatile sig_atomic_t g_window_resized = 0;

void on_window_change(int) {
  g_window_resized = 1;
}

void install_resize_handler() {
  set_action(SIGWINCH, on_window_change, nullptr);
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
  g_terminal.colour = g_terminal.smart && !colour_refused() ? 1 : 0;
  g_terminal.attribute = kDefaultAttribute;
  g_terminal.cursor_hidden = 0;
  if (g_terminal.kind != Terminal::kNone) open_signal_fd();
  install_handlers();
  if (g_terminal.kind != Terminal::kNone) install_resize_handler();
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

bool console_has_colour() {
  return g_terminal.colour != 0;
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
  g_terminal.attribute = attribute;
  const bool bold_old = (old & 0x0F) == kColorBanner, bold_new = (attribute & 0x0F) == kColorBanner;
  if (bold_old != bold_new) out_ascii(bold_new ? "\x1b[1m" : "\x1b[22m");
  if (fg_old == fg_new && bg_old == bg_new) return;
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

bool window_resized() {
  if (g_window_resized == 0) return false;
  g_window_resized = 0;
  return true;
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

void show_prompt(const char* text, size_t n) {
  // A terminal without escapes cannot go back up to a row the prompt wrapped off.
  if (g_terminal.kind == Terminal::kDumb) {
    const size_t fit = static_cast<size_t>(window_width() > 2 ? window_width() - 1 : 1);
    if (n > fit) n = fit;
  }
  if (n > sizeof g_prompt.text) n = sizeof g_prompt.text;
  std::memcpy(g_prompt.text, text, n);
  g_prompt.length = static_cast<sig_atomic_t>(n);
  save_cursor();
  const uint16_t background = background_bits();
  set_attribute(kPromptAttribute);
  out_ascii(text, n);
  set_attribute(static_cast<uint16_t>(background | kColorNormal));
  out_flush();  // the prompt is on the screen before the first key is read
  g_prompt.showing = 1;
}

void erase_prompt() {
  g_prompt.showing = 0;
  erase_prompt_with(put_to_stream);
}

}  // namespace console
