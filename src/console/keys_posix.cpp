// Keys from the controlling terminal (/dev/tty), so that a dump of standard input or of
// a file with standard input redirected still pages by the keyboard.
#include "console/keys.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace console {
namespace {

// Bytes of an escape sequence arrive together; a lone ESC is followed by nothing.
constexpr int kEscapeWaitMs = 50;

struct KeyInput {
  int fd = -1;
  bool open_failed = false;
  struct termios saved {};
  struct termios mode {};         // the mode a read runs in
  volatile sig_atomic_t raw = 0;  // the terminal is in our mode and must be put back
  volatile sig_atomic_t reading = 0;
};
KeyInput g_keys;

bool open_terminal() {
  if (g_keys.fd >= 0) return true;
  if (g_keys.open_failed) return false;
  g_keys.fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (g_keys.fd < 0) g_keys.open_failed = true;
  return g_keys.fd >= 0;
}

// One key without Enter or echo: Ctrl+C is the byte 3, Enter the byte 13. TCSANOW keeps
// keys typed while output ran; they are the answers to the next prompts.
bool enter_raw_mode() {
  // In the background the terminal is in the shell's mode, which is not the one to put
  // back: stop as a read would, and take the mode once brought to the foreground. (An
  // orphaned job is not stopped; its read then fails.)
  const pid_t group = ::tcgetpgrp(g_keys.fd);
  if (group > 0 && group != ::getpgrp()) ::raise(SIGTTIN);
  if (::tcgetattr(g_keys.fd, &g_keys.saved) != 0) return false;
  struct termios raw = g_keys.saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
  raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  g_keys.mode = raw;
  // Marked before the mode is set, so that a stop arriving in between is followed by the
  // raw mode again on continue (keys_resume), not by a read in line mode.
  g_keys.reading = 1;
  g_keys.raw = 1;
  int set;
  do {
    set = ::tcsetattr(g_keys.fd, TCSANOW, &raw);  // in the background, after a stop
  } while (set != 0 && errno == EINTR);
  if (set != 0) {
    g_keys.raw = 0;
    g_keys.reading = 0;
    return false;
  }
  return true;
}

// One byte, waiting at most timeout_ms (-1: for ever). -1 at end, on error or time-out.
int read_byte(int timeout_ms) {
  if (timeout_ms >= 0) {
    struct pollfd pfd {
      g_keys.fd, POLLIN, 0
    };
    int ready;
    do {
      ready = ::poll(&pfd, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return -1;
  }
  unsigned char byte;
  ssize_t got;
  do {
    got = ::read(g_keys.fd, &byte, 1);
  } while (got < 0 && errno == EINTR);
  return got == 1 ? byte : -1;
}

// Reads the rest of an escape sequence after ESC, so that none of its bytes is taken
// for a command: CSI (ESC [ ... final), SS3 (ESC O x), or Alt with a key (ESC x).
void skip_escape_sequence() {
  const int next = read_byte(kEscapeWaitMs);
  if (next == '[') {
    for (int i = 0; i < 32; ++i) {
      const int c = read_byte(kEscapeWaitMs);
      if (c < 0 || (c >= 0x40 && c <= 0x7E)) return;
    }
  } else if (next == 'O') {
    read_byte(kEscapeWaitMs);
  }
}

// The character that suspends a job in line mode (Ctrl+Z), when the terminal has one.
bool is_suspend_character(int c) {
  const cc_t suspend = g_keys.saved.c_cc[VSUSP];
  return (g_keys.saved.c_lflag & ISIG) != 0 && suspend != _POSIX_VDISABLE && c == suspend;
}

// Ctrl+Z at the prompt stops the process as it would while the output runs. The stop's
// handler puts the terminal back and the continue's takes the prompt up again. Where
// the stop cannot happen (a process group without a job-control shell drops it), the
// terminal is set up again at once, as after a continue.
void suspend() {
  ::raise(SIGTSTP);
  if (!g_keys.raw) ::kill(::getpid(), SIGCONT);
}

int read_one_key() {
  for (;;) {
    const int c = read_byte(-1);
    if (is_suspend_character(c)) {
      suspend();
      continue;
    }
    if (c != 0x1B) return c;
    skip_escape_sequence();
  }
}

}  // namespace

int read_key() {
  if (!open_terminal()) return -1;
  const bool raw = enter_raw_mode();
  const int code = read_one_key();
  g_keys.reading = 0;
  if (raw) keys_restore();
  return code;
}

bool keys_available() {
  return open_terminal();
}

void keys_restore() {
  if (g_keys.raw) {
    ::tcsetattr(g_keys.fd, TCSANOW, &g_keys.saved);
    g_keys.raw = 0;
  }
}

void keys_resume() {
  // After a stop the terminal was put back, or another job had it and set its own mode;
  // a read still waiting needs its mode again.
  if (g_keys.reading) {
    g_keys.raw = 1;
    ::tcsetattr(g_keys.fd, TCSANOW, &g_keys.mode);
  }
}

}  // namespace console
