#include "platform/file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace platform {

FileHandle file_open(const char* name, OpenAs as) {
  // A match is opened non-blocking, so that a FIFO put in its place does not wait for a
  // writer; what it is then is asked of the open descriptor, not of the name again.
  const int no_wait = as == OpenAs::kFileOnly ? O_NONBLOCK : 0;
  int fd;
  do {
    fd = ::open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY | no_wait);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kInvalidFile;
  struct stat st;
  const bool known = ::fstat(fd, &st) == 0;
  if (as == OpenAs::kFileOnly) {
    if (!known || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return kNotAFile;
    }
    // Reads of the file wait as reads of any file do.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
  }
  // The home platform cannot open a directory as a file; read(2) on one fails with
  // EISDIR only later, so refuse it here where the open-failure message belongs.
  if (known && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return kInvalidFile;
  }
  return fd;
}

bool file_open_may_wait(const char* name) {
  // stat(2) follows links and opens nothing, so it never waits itself.
  struct stat st;
  return ::stat(name, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode));
}

ptrdiff_t file_read(FileHandle file, void* buffer, size_t n) {
  ssize_t got;
  do {
    got = ::read(static_cast<int>(file), buffer, n);
  } while (got < 0 && errno == EINTR);
  return got;
}

uint64_t file_size(FileHandle file) {
  struct stat st;
  if (::fstat(static_cast<int>(file), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<uint64_t>(st.st_size);
}

bool file_seek_forward(FileHandle file, uint64_t n) {
  struct stat st;
  // Only regular files seek reliably: lseek on a pipe fails, and on some character
  // devices it "succeeds" without moving.
  if (::fstat(static_cast<int>(file), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return ::lseek(static_cast<int>(file), static_cast<off_t>(n), SEEK_CUR) != static_cast<off_t>(-1);
}

bool file_is_output(FileHandle file) {
  struct stat out, in;
  if (::fstat(STDOUT_FILENO, &out) != 0 || !S_ISREG(out.st_mode)) return false;
  if (::fstat(static_cast<int>(file), &in) != 0) return false;
  return in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

bool file_is_live(FileHandle file) {
  struct stat st;
  // /proc and /sys files are regular too: they read like files, with a position.
  return ::fstat(static_cast<int>(file), &st) != 0 || !S_ISREG(st.st_mode);
}

bool file_read_ready(FileHandle file) {
  pollfd p{static_cast<int>(file), POLLIN, 0};
  int r;
  do {
    r = ::poll(&p, 1, 0);
  } while (r < 0 && errno == EINTR);
  // POLLHUP (the writer has gone) and POLLERR count too: the read returns at once.
  return r > 0;
}

void file_close(FileHandle file) {
  ::close(static_cast<int>(file));
}

}  // namespace platform

namespace platform {

bool slash_is_path_root() {
  return true;
}

FileHandle file_open_standard_input() {
  // A descriptor of its own, so that closing it after the dump leaves descriptor 0 be.
  const int fd = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
  return fd < 0 ? kInvalidFile : fd;
}

bool standard_input_is_terminal() {
  return ::isatty(STDIN_FILENO) == 1;
}

}  // namespace platform
