#include "platform/output.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {
int g_last_errno = 0;

// A pipe of the default 64 KiB holds less than one output buffer, so writer and reader
// take turns every buffer; a larger one lets each run for longer stretches. Best
// effort: the system may refuse (a limit on pipe memory), and the pipe works either way.
constexpr int kPipeSize = 1 << 20;

#if defined(F_SETPIPE_SZ)
void enlarge_pipe(int fd) {
  (void)::fcntl(fd, F_SETPIPE_SZ, kPipeSize);
}
#else
void enlarge_pipe(int) {}
#endif

// A terminal or pipe that another program left non-blocking (the flag belongs to the
// open file shared with it) refuses a write while it is full instead of waiting: wait
// here as a blocking write would, then write on.
bool wait_until_writable(int fd) {
  struct pollfd pfd {
    fd, POLLOUT, 0
  };
  for (;;) {
    const int ready = ::poll(&pfd, 1, -1);
    if (ready > 0) return (pfd.revents & (POLLERR | POLLNVAL)) == 0;
    if (ready < 0 && errno != EINTR) return false;
  }
}

}  // namespace

void output_hold_standard_slots() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // open(2) takes the lowest free number, which is fd itself. Read-only: standard
    // input reads as empty, and a write to standard output or error fails as it did.
    const int held = ::open("/dev/null", O_RDONLY);
    if (held >= 0 && held != fd) ::close(held);
  }
}

void output_prepare() {
  // Without this a closed pipe kills the process with SIGPIPE before it can end quietly
  // on its own terms; with it the write fails with EPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  struct stat st;
  if (::fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode)) enlarge_pipe(STDOUT_FILENO);
}

WriteResult output_write(OutputStream stream, const char* data, size_t n) {
  const int fd = stream == OutputStream::kStdout ? STDOUT_FILENO : STDERR_FILENO;
  while (n > 0) {
    ssize_t put = ::write(fd, data, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      if ((errno == EAGAIN || errno == EWOULDBLOCK) && wait_until_writable(fd)) continue;
      g_last_errno = errno;
      return errno == EPIPE ? WriteResult::kBrokenPipe : WriteResult::kFailed;
    }
    if (put == 0) {
      g_last_errno = EIO;
      return WriteResult::kFailed;
    }
    data += put;
    n -= static_cast<size_t>(put);
  }
  return WriteResult::kOk;
}

bool output_is_terminal() {
  return ::isatty(STDOUT_FILENO) == 1;
}

bool output_terminal_is_dumb() {
  const char* term = std::getenv("TERM");
  return term == nullptr || *term == '\0' || std::strcmp(term, "dumb") == 0;
}

const char* output_last_error() {
  return std::strerror(g_last_errno);
}

}  // namespace platform
