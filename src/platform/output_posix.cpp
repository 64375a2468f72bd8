#include "platform/output.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace platform {
namespace {
int g_last_errno = 0;
}  // namespace

void output_prepare() {
  // Without this a closed pipe kills the process with SIGPIPE before it can end quietly
  // on its own terms; with it the write fails with EPIPE.
  std::signal(SIGPIPE, SIG_IGN);
}

WriteResult output_write(OutputStream stream, const char* data, size_t n) {
  const int fd = stream == OutputStream::kStdout ? STDOUT_FILENO : STDERR_FILENO;
  while (n > 0) {
    ssize_t put = ::write(fd, data, n);
    if (put < 0) {
      if (errno == EINTR) continue;
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

bool output_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }

bool output_terminal_is_dumb() {
  const char* term = std::getenv("TERM");
  return term == nullptr || *term == '\0' || std::strcmp(term, "dumb") == 0;
}

const char* output_last_error() { return std::strerror(g_last_errno); }

}  // namespace platform
