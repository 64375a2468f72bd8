// The block reader on input whose read fails after some data: every line read before
// the failure is handed out, then the run ends with exit code 1.
#include "dump/block_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "console/dump_options.h"

namespace {

// A stream socket that yields `size` bytes and then fails with ECONNRESET: the peer
// closes while data sent to it is still unread.
int input_failing_after(size_t size) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return -1;
  fcntl(fds[1], F_SETFL, O_NONBLOCK);
  const std::string data(size, 'x');
  size_t sent = 0;
  while (sent < size) {
    const ssize_t n = write(fds[1], data.data() + sent, size - sent);
    if (n <= 0) return -1;
    sent += static_cast<size_t>(n);
  }
  if (write(fds[0], "z", 1) != 1) return -1;
  close(fds[1]);
  return fds[0];
}

// Reads lines until next_line ends the process, reporting on standard error each line
// that ends the input and every 1024th line, with its look-ahead.
[[noreturn]] void read_all_lines(int fd) {
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);  // the read-failure message is not what is checked here
  int lines = 0;
  for (bool reset = true; dump::next_line(fd, reset) == 0; reset = false) {
    ++lines;
    if (lines % 1024 == 0 || dump::g_look_ahead == -1)
      std::fprintf(stderr, "line %d look-ahead %d\n", lines, dump::g_look_ahead);
  }
  std::fprintf(stderr, "input ended without a failure\n");
  _exit(0);
}

TEST(BlockReaderDeathTest, FailureAfterAWholeBlockStillShowsItsLastLine) {
  struct Case {
    bool japanese_display;
    size_t size;
    const char* last_line;  // what the last line handed out reports, then the message
  } cases[] = {
      // The look-ahead read for the block's last line fails: the line is still shown,
      // as the end of the input, and the failure comes with the next call.
      {true, dump::kBlockSize, "line 4096 look-ahead -1\n[^\n]+\n$"},
      {false, dump::kBlockSize, "line 4096 look-ahead -1\n[^\n]+\n$"},
      // The failure ends a block part-way: its bytes come first.
      {true, dump::kBlockSize + 20, "line 4098 look-ahead -1\n[^\n]+\n$"},
      {true, 20, "line 2 look-ahead -1\n[^\n]+\n$"},
  };
  for (const Case& c : cases) {
    console::g_options.japanese_display = c.japanese_display;
    dump::g_look_ahead = -1;
    const int fd = input_failing_after(c.size);
    ASSERT_GE(fd, 0);
    EXPECT_EXIT(read_all_lines(fd), ::testing::ExitedWithCode(1), c.last_line) << c.size;
    close(fd);
  }
  console::g_options.japanese_display = true;
}

}  // namespace
