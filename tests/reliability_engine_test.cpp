// The dump engine in-process where a run of the program would take too long: a window
// of a sparse file beyond 4 GiB, where offsets widen and the progress must stay 64-bit.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "console/output.h"
#include "console/pager.h"
#include "dump/block_reader.h"
#include "dump/japanese.h"
#include "dump/line_format.h"
#include "line_model.h"
#include "platform/file.h"
#include "raw_engine.h"
#include "run_tovix.h"

namespace {

constexpr uint64_t k4GiB = 1ull << 32;

// Marked bytes from 4 GiB - 40 to the end at 4 GiB + 48, the lead byte 82 cut by the line
// end at FFFFFFFF; zeros before them. The dump starts at 4 GiB - 48.
struct Beyond4GiB {
  std::string marks;
  std::string path;
};

Beyond4GiB make_sparse_file(const tovix_test::ScratchDir& dir) {
  Beyond4GiB f{tovix_test::counting_bytes(88), dir.path() + "/sparse"};
  f.marks[0x27] = '\x82';
  f.marks[0x28] = '\xA0';
  const int fd = ::open(f.path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::pwrite(fd, f.marks.data(), f.marks.size(), k4GiB - 40), 88);
  ::close(fd);
  return f;
}

// Dumps the file from 4 GiB - 48 as the per-file loop does, either one line per call or
// with the rest of each block in runs, and returns the output.
std::string dump_from(const std::string& path, uint64_t start, bool in_runs, int* percent_at_4GiB) {
  const platform::FileHandle file = platform::file_open(path.c_str());
  EXPECT_NE(file, platform::kInvalidFile);
  console::g_progress.file_size = platform::file_size(file);
  console::g_progress.bytes_consumed = dump::skip_bytes(file, start);
  dump::g_position.address = start;
  dump::g_position.leading_blanks = 0;
  dump::g_char_column = dump::CharColumnState{};
  dump::g_look_ahead = -1;
  console::g_output.used = 0;
  for (bool reset = true; dump::next_line(file, reset) == 0; reset = false) {
    EXPECT_EQ(dump::write_dump_line(), 0);
    if (console::g_progress.bytes_consumed == k4GiB) {
      *percent_at_4GiB = console::progress_percent(console::g_progress);
    }
    if (in_runs) dump::write_following_lines();
  }
  platform::file_close(file);
  std::string out(console::g_output.data, console::g_output.used);
  console::g_output.used = 0;
  return out;
}

TEST(ReliabilityEngine, OffsetsWidenAndProgressStaysRightBeyond4GiB) {
  tovix_test::ScratchDir dir;
  const Beyond4GiB f = make_sparse_file(dir);
  const tovix_test::RawEngine engine;

  const uint64_t start = k4GiB - 48;
  std::string window(96, '\0');
  window.replace(8, 88, f.marks);
  // Eight digits below 4 GiB; from there on the offset widens instead of wrapping.
  const char* addresses[] = {"FFFFFFD0  ",  "FFFFFFE0  ",  "FFFFFFF0  ",
                             "100000000  ", "100000010  ", "100000020  "};
  for (const bool in_runs : {false, true}) {
    int percent_at_4GiB = -1;
    const std::string out = dump_from(f.path, start, in_runs, &percent_at_4GiB);
    const char* how = in_runs ? "in runs" : "line by line";
    if (!in_runs) {
      EXPECT_EQ(percent_at_4GiB, 99) << how;  // 32 bits would give 0
    }
    EXPECT_EQ(console::g_progress.file_size, k4GiB + 48) << how;
    EXPECT_EQ(console::g_progress.bytes_consumed, k4GiB + 48) << how;
    EXPECT_EQ(console::progress_percent(console::g_progress), 100) << how;
    size_t pos = 0;
    bool trail = false;
    for (int n = 0; n < 6; ++n) {
      const size_t end = out.find('\n', pos);
      ASSERT_NE(end, std::string::npos) << how << "\n" << out;
      const std::string line = out.substr(pos, end - pos);
      EXPECT_EQ(line.rfind(addresses[n], 0), 0u) << how << ": " << line;
      line_model::ExpectedLine e;
      e.address = start + 16 * static_cast<uint64_t>(n);
      for (int i = 0; i < 16; ++i) e.bytes[i] = static_cast<uint8_t>(window[16 * n + i]);
      e.look_ahead = n < 5 ? static_cast<uint8_t>(window[16 * n + 16]) : -1;
      bool trail_out = false;
      EXPECT_EQ(line_model::check_line(line, e, {}, trail, &trail_out), "") << how << ": " << line;
      trail = trail_out;
      pos = end + 1;
    }
    EXPECT_EQ(pos, out.size()) << how;
  }
}

}  // namespace
