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

// Stop and continue. A stop signal's handler puts the terminal back and sends the signal
// once more to stop for real; the continue's handler takes the terminal up again. A
// continue that comes while the terminal is being put back would be thrown away by that
// second signal, so a stop that sees one pending is not made at all.
struct JobState {
  volatile sig_atomic_t continues = 0;  // continues taken so far
  // The terminal was put back by a stop and not taken up since: the run was continued
  // in the background, and waits for the foreground to take it up again.
  volatile sig_atomic_t put_back = 0;
  // The output is being written to the terminal. A stop then waits until the bytes
  // written leave off outside an escape sequence, so that the handler's own sequences
  // never land in the middle of one.
  volatile sig_atomic_t writing = 0;
  volatile sig_atomic_t held_stop = 0;  // a stop signal that came while writing
  volatile sig_atomic_t held_seen = 0;  // continues taken when it came
};
JobState g_job;

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
  volatile sig_atomic_t showing = 0;    // the pager waits at the prompt
  volatile sig_atomic_t on_screen = 0;  // its rows are on the terminal now
  // It was drawn while this process group had the terminal. Once another job has had
  // it, the shell has written below the prompt, and the prompt is left where it is.
  volatile sig_atomic_t drawn_in_foreground = 0;
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
  g_prompt.on_screen = 1;
  g_prompt.drawn_in_foreground = 1;  // drawn by take_up_again, in the foreground only
}

constexpr char kResetSequence[] = "\x1b[39;49m\x1b[?25h";

// Whether this process group has the terminal. A terminal that cannot tell (it is not
// the controlling one) counts as ours. Async-signal-safe.
bool in_foreground() {
  const pid_t group = ::tcgetpgrp(g_signal_fd >= 0 ? g_signal_fd : STDOUT_FILENO);
  return group < 0 || group == ::getpgrp();
}

// Everything a stop or an ending signal must put back, with async-signal-safe calls
// only. The prompt goes too: the shell writes after it. It stays marked as showing, so
// that a continue draws it again. A terminal that another job has meanwhile (the run
// was stopped by SIGSTOP, or continued in the background) keeps its mode and rows: the
// shell put its own mode back when it took the terminal, and writes below our prompt.
void restore_for_signal() {
  if (g_job.put_back) return;  // nothing of ours has reached the terminal since
  const bool foreground = in_foreground();
  if (foreground) keys_restore();
  if (g_prompt.on_screen && (foreground || !g_prompt.drawn_in_foreground))
    erase_prompt_with(write_now);
  g_prompt.on_screen = 0;
  if (g_terminal.smart) write_now(kResetSequence, sizeof kResetSequence - 1);
}

// The terminal taken up again after a stop, once this process group has it.
void take_up_again() {
  g_job.put_back = 0;
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

void set_action(int sig, void (*handler)(int), void (*info_handler)(int, siginfo_t*, void*),
                bool restart = true) {
  struct sigaction sa {};
  if (info_handler != nullptr) {
    sa.sa_sigaction = info_handler;
    sa.sa_flags = SA_SIGINFO;
  } else {
    sa.sa_handler = handler;
  }
  // Nothing else runs in between, and the terminal takes the handler's writes and mode
  // changes also from a background job (SIGTTOU blocked counts as ignored). A stop's
  // handler interrupts a write that waits, so that a stop held back by it is taken.
  sigfillset(&sa.sa_mask);
  sa.sa_flags |= SA_ONSTACK;
  if (restart) sa.sa_flags |= SA_RESTART;
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

void on_stop_signal(int sig);

// Puts the terminal back and stops, for stop signal sig that came when seen continues
// had been taken. Every signal is blocked meanwhile, so that the stop takes effect when
// the mask is lifted, and a continue that comes in the meantime stays pending, where it
// can be seen.
void stop_now(int sig, sig_atomic_t seen) {
  sigset_t all, previous, pending;
  sigfillset(&all);
  ::sigprocmask(SIG_BLOCK, &all, &previous);
  // A continue taken since the stop came has undone it (the writer holds a stop back).
  if (g_job.continues == seen) {
    restore_for_signal();
    g_job.put_back = 1;
    g_terminal.stopped = sig;
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(sig, &dfl, nullptr);
    // Sending a stop signal throws away a continue that is pending: with one sent since
    // the stop, none is sent, and the continue's handler takes the terminal up again as
    // soon as the mask is lifted. One sent after this look throws the stop away instead.
    if (::sigpending(&pending) != 0 || sigismember(&pending, SIGCONT) != 1) ::raise(sig);
  }
  ::sigprocmask(SIG_SETMASK, &previous, nullptr);  // the stop, if any, happens here
}

void on_stop_signal(int sig) {
  const int saved_errno = errno;
  if (!g_job.writing) {
    stop_now(sig, g_job.continues);
  } else {
    g_job.held_seen = g_job.continues;
    g_job.held_stop = sig;  // taken by the writer between its writes
  }
  errno = saved_errno;
}

void on_continue(int) {
  g_job.continues = g_job.continues + 1;
  const int saved_errno = errno;
  // A SIGCONT without our stop before it (after SIGSTOP, or sent on its own) finds the
  // terminal as the run left it, except for the mode of a read: a shell that took the
  // terminal in between put its own mode back.
  if (g_terminal.stopped == 0 && !g_job.put_back) {
    if (in_foreground()) keys_resume();
    errno = saved_errno;
    return;
  }
  if (g_terminal.stopped != 0) {
    set_action(g_terminal.stopped, on_stop_signal, nullptr, false);
    g_terminal.stopped = 0;
  }
  // Continued in the background (bg), the shell keeps the terminal: raw mode and the
  // prompt wait for a continue in the foreground (fg), or for the writer to find it so.
  if (in_foreground()) take_up_again();
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
    if (take_over(sig)) set_action(sig, on_stop_signal, nullptr, false);
  if (take_over(SIGCONT)) set_action(SIGCONT, on_continue, nullptr);
}

// Where the bytes written so far leave off: in text, or after which part of an escape
// sequence (ESC, then a CSI's parameters up to its final byte).
enum class SequenceAt { kText, kEscape, kCsi };

SequenceAt scan_sequences(SequenceAt at, const char* data, size_t n) {
  // Only the bytes from the last ESC on can leave a sequence open; without one, only a
  // sequence open before these bytes can still be.
  const char* p = data;
  if (const void* last = ::memrchr(data, 0x1B, n)) {
    p = static_cast<const char*>(last);
  } else if (at == SequenceAt::kText) {
    return at;
  }
  for (const char* end = data + n; p < end; ++p) {
    const unsigned char b = static_cast<unsigned char>(*p);
    if (b == 0x1B) {
      at = SequenceAt::kEscape;
    } else if (at == SequenceAt::kEscape) {
      at = b == '[' ? SequenceAt::kCsi : SequenceAt::kText;
    } else if (at == SequenceAt::kCsi && b >= 0x40 && b <= 0x7E) {
      at = SequenceAt::kText;
    }
  }
  return at;
}

// A stop held back by a write, taken now: the writer's mark is off while it runs, so
// that a second stop after the continue is handled as usual.
void take_held_stop() {
  g_job.writing = 0;
  const int sig = g_job.held_stop;
  g_job.held_stop = 0;
  // A continue since the stop came has undone it already.
  if (g_job.continues == g_job.held_seen) stop_now(sig, g_job.held_seen);
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

platform::WriteResult console_write(const char* data, size_t n) {
  if (!g_terminal.smart) return platform::output_write(platform::OutputStream::kStdout, data, n);
  SequenceAt at = SequenceAt::kText;
  g_job.writing = 1;
  // Continued in the background, then brought to the foreground without a continue.
  if (g_job.put_back && g_terminal.stopped == 0 && in_foreground()) take_up_again();
  while (n > 0) {
    const ssize_t put = ::write(STDOUT_FILENO, data, n);
    if (put > 0) {
      at = scan_sequences(at, data, static_cast<size_t>(put));
      data += put;
      n -= static_cast<size_t>(put);
    } else if (put == 0 || errno != EINTR) {
      break;  // the platform's writer waits on a non-blocking terminal, or tells the failure
    }
    // A background job that may not write (TOSTOP) makes no progress here: its stop is
    // taken even inside a sequence.
    if (g_job.held_stop != 0 && (at == SequenceAt::kText || g_job.held_stop == SIGTTOU)) {
      take_held_stop();
      g_job.writing = 1;
    }
  }
  g_job.writing = 0;
  if (g_job.held_stop != 0) take_held_stop();
  if (n == 0) return platform::WriteResult::kOk;
  return platform::output_write(platform::OutputStream::kStdout, data, n);
}

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
  g_prompt.drawn_in_foreground = in_foreground() ? 1 : 0;
  g_prompt.on_screen = 1;
  g_prompt.showing = 1;
}

void erase_prompt() {
  g_prompt.showing = 0;
  if (g_prompt.on_screen) erase_prompt_with(put_to_stream);
  g_prompt.on_screen = 0;
}

}  // namespace console
