#include "platform/output.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
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

// Writes all n bytes, retrying short writes; on failure *error is the reason.
WriteResult write_all(int fd, const char* data, size_t n, int* error) {
  while (n > 0) {
    ssize_t put = ::write(fd, data, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      if ((errno == EAGAIN || errno == EWOULDBLOCK) && wait_until_writable(fd)) continue;
      *error = errno;
      return errno == EPIPE ? WriteResult::kBrokenPipe : WriteResult::kFailed;
    }
    if (put == 0) {
      *error = EIO;
      return WriteResult::kFailed;
    }
    data += put;
    n -= static_cast<size_t>(put);
  }
  return WriteResult::kOk;
}

// The writer thread and the dump hand one buffer back and forth through `busy`: set by
// the dump when it hands a write over, cleared by the writer when the write is done.
//
// A side that waits spins a while before it sleeps: waking a sleeping thread costs tens
// of microseconds on a virtual machine, as long as a whole buffer takes to format. How
// long it spins adapts to how its waits turn out: the whole spin while they end within
// it, a short one after two in a row have not, so that a slow reader (`| gzip`) leaves
// the dump asleep instead of spinning through each of its long waits.
class Waiter {
 public:
  void wait_while(const std::atomic<uint32_t>& flag, uint32_t value) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    for (;;) {
      for (int i = 0; i < 16; ++i) {
        if (flag.load(std::memory_order_acquire) != value) {
          spin_ = kMostSpin;
          misses_ = 0;
          return;
        }
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__)
        asm volatile("yield");
#endif
      }
      if (Clock::now() - start > spin_) break;
    }
    if (++misses_ >= 2) spin_ = kLeastSpin;
    while (flag.load(std::memory_order_acquire) == value)
      flag.wait(value, std::memory_order_acquire);
  }

 private:
  static constexpr std::chrono::microseconds kLeastSpin{16};
  static constexpr std::chrono::microseconds kMostSpin{1024};
  std::chrono::microseconds spin_ = kMostSpin;
  int misses_ = 0;  // waits in a row that outlasted the spin
};

struct WriteBehind {
  std::atomic<uint32_t> busy{0};
  const char* data = nullptr;
  size_t size = 0;
  WriteResult result = WriteResult::kOk;
  int error = 0;        // the failed write's errno
  Waiter dump_waits;    // for the write to be done
  Waiter writer_waits;  // for the next buffer
};
WriteBehind* g_behind = nullptr;

void* write_behind_loop(void* arg) {
  auto* w = static_cast<WriteBehind*>(arg);
  for (;;) {
    w->writer_waits.wait_while(w->busy, 0);
    w->result = write_all(STDOUT_FILENO, w->data, w->size, &w->error);
    w->busy.store(0, std::memory_order_release);
    w->busy.notify_one();
  }
  return nullptr;
}

// Starts the writer thread; null when the system will not give the process one (the
// output is then written in place).
WriteBehind* start_write_behind() {
  auto* w = new WriteBehind;
  // Signals stay with the main thread, whose handlers expect them there.
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const bool started = pthread_create(&thread, &attr, write_behind_loop, w) == 0;
  pthread_attr_destroy(&attr);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  if (started) return w;
  delete w;
  return nullptr;
}

}  // namespace

bool output_writes_behind() {
  static const bool behind = [] {
    struct stat st;
    if (::isatty(STDOUT_FILENO) == 1 || ::fstat(STDOUT_FILENO, &st) != 0) return false;
    if (!S_ISFIFO(st.st_mode) && !S_ISREG(st.st_mode) && !S_ISSOCK(st.st_mode)) return false;
    g_behind = start_write_behind();
    return g_behind != nullptr;
  }();
  return behind;
}

void output_write_behind(const char* data, size_t n) {
  g_behind->data = data;
  g_behind->size = n;
  g_behind->busy.store(1, std::memory_order_release);
  g_behind->busy.notify_one();
}

WriteResult output_wait_written() {
  if (g_behind == nullptr) return WriteResult::kOk;
  g_behind->dump_waits.wait_while(g_behind->busy, 1);
  const WriteResult result = g_behind->result;
  if (result != WriteResult::kOk) g_last_errno = g_behind->error;
  g_behind->result = WriteResult::kOk;
  return result;
}

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
  return write_all(fd, data, n, &g_last_errno);
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
