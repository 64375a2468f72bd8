// Read-copy-write baseline: reads a file in 64 KiB blocks as the dump does and writes as
// many bytes as the dump would (77 per 16 input bytes) in 256 KiB writes, as the dump
// writes into a pipe or a file (where it writes on a second thread), each line's 16
// bytes copied into a line of blanks, with no formatting at all; a pipe on standard
// output is enlarged as the dump enlarges it. What the dump reaches into a file or a
// pipe is measured against this.
//
//   copy_baseline FILE > OUT
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kBlockSize = 1 << 16;
constexpr size_t kLineWidth = 77;  // 76 characters and the line end
constexpr size_t kOutputSize = 1 << 18;

struct Baseline {
  unsigned char block[kBlockSize];
  char out[kOutputSize + kLineWidth];
  size_t used = 0;
};
Baseline g_baseline;

bool write_all(const char* p, size_t n) {
  while (n > 0) {
    const ssize_t put = ::write(STDOUT_FILENO, p, n);
    if (put <= 0) return false;
    p += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: copy_baseline FILE\n");
    return 2;
  }
  const int fd = ::open(argv[1], O_RDONLY);
  if (fd < 0) {
    std::perror(argv[1]);
    return 1;
  }
  struct stat st;
  if (::fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode)) {
    (void)::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1 << 20);
  }
  std::memset(g_baseline.out, ' ', sizeof g_baseline.out);
  for (;;) {
    const ssize_t got = ::read(fd, g_baseline.block, kBlockSize);
    if (got < 0) return 1;
    if (got == 0) break;
    for (size_t pos = 0; pos < static_cast<size_t>(got); pos += 16) {
      char* line = g_baseline.out + g_baseline.used;
      std::memcpy(line + 60, g_baseline.block + pos, 16);
      line[kLineWidth - 1] = '\n';
      g_baseline.used += kLineWidth;
      if (g_baseline.used >= kOutputSize) {
        if (!write_all(g_baseline.out, g_baseline.used)) return 1;
        g_baseline.used = 0;
      }
    }
  }
  return write_all(g_baseline.out, g_baseline.used) ? 0 : 1;
}
