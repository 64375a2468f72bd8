// The dump engine in-process where a run of the program would take too long: a window
// of a sparse file beyond 4 GiB, where offsets wrap and the progress must stay 64-bit.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "console/display_encoding.h"
#include "console/dump_options.h"
#include "console/output.h"
#include "console/pager.h"
#include "dump/block_reader.h"
#include "dump/byte_class.h"
#include "dump/japanese.h"
#include "dump/line_format.h"
#include "line_model.h"
#include "platform/file.h"
#include "run_tovix.h"

namespace {

constexpr uint64_t k4GiB = 1ull << 32;

TEST(ReliabilityEngine, OffsetsWrapAndProgressStaysRightBeyond4GiB) {
  tovix_test::ScratchDir dir;
  const std::string path = dir.path() + "/sparse";
  // Marked bytes from 4 GiB - 40 to 4 GiB + 40, the lead byte 82 cut by the line end
  // at FFFFFFFF; zeros around them.
  std::string marks = tovix_test::counting_bytes(80);
  marks[0x27] = '\x82';
  marks[0x28] = '\xA0';
  {
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 5 * (1ll << 30)), 0);
    ASSERT_EQ(::pwrite(fd, marks.data(), marks.size(), k4GiB - 40), 80);
    ::close(fd);
  }
  dump::build_byte_classes(932);
  console::display_setup(932, "");
  dump::char_column_setup();
  dump::line_format_setup();
  const console::DumpOptions saved_options = console::g_options;
  console::g_options = console::DumpOptions{};
  console::g_options.pause = false;

  // What the per-file loop does with a skip, from 4 GiB - 48 on.
  const uint64_t start = k4GiB - 48;
  const platform::FileHandle file = platform::file_open(path.c_str());
  ASSERT_NE(file, platform::kInvalidFile);
  console::g_progress.file_size = platform::file_size(file);
  console::g_progress.bytes_consumed = dump::skip_bytes(file, start);
  dump::g_position.address = static_cast<uint32_t>(start);
  dump::g_position.leading_blanks = 0;
  dump::g_char_column = dump::CharColumnState{};
  dump::g_look_ahead = -1;
  console::g_output.used = 0;
  for (int n = 0; n < 6; ++n) {
    ASSERT_EQ(dump::next_line(file, n == 0), 0);
    EXPECT_EQ(dump::write_dump_line(), 0);
  }
  platform::file_close(file);
  const std::string out(console::g_output.data, console::g_output.used);
  console::g_output.used = 0;

  EXPECT_EQ(console::g_progress.file_size, 5 * (1ull << 30));
  EXPECT_EQ(console::g_progress.bytes_consumed, k4GiB + 48);
  EXPECT_EQ(console::progress_percent(console::g_progress), 80);  // 32 bits would give 0

  // The six lines from FFFFFFD0 wrap to 00000000 after FFFFFFF0.
  std::string window(96, '\0');
  window.replace(8, 80, marks);
  const char* addresses[] = {"FFFFFFD0", "FFFFFFE0", "FFFFFFF0",
                             "00000000", "00000010", "00000020"};
  size_t pos = 0;
  bool trail = false;
  for (int n = 0; n < 6; ++n) {
    const size_t end = out.find('\n', pos);
    ASSERT_NE(end, std::string::npos) << out;
    const std::string line = out.substr(pos, end - pos);
    EXPECT_EQ(line.substr(0, 8), addresses[n]);
    line_model::ExpectedLine e;
    e.address = static_cast<uint32_t>(start + 16 * static_cast<uint64_t>(n));
    for (int i = 0; i < 16; ++i) e.bytes[i] = static_cast<uint8_t>(window[16 * n + i]);
    e.look_ahead = n < 5 ? static_cast<uint8_t>(window[16 * n + 16]) : 0;
    bool trail_out = false;
    EXPECT_EQ(line_model::check_line(line, e, {}, trail, &trail_out), "") << line;
    trail = trail_out;
    pos = end + 1;
  }
  console::g_options = saved_options;
}

}  // namespace
