// The terminal on the ways out that a shell's job control and failures take: a stop
// with Ctrl+Z or SIGTSTP and a return with fg (the program really stopped, in a process
// group of its own, as under an interactive shell), a failed read, and the pager's
// percentage for a file larger than 4 GiB.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "run_tovix.h"
#include "tmux_session.h"

namespace {

using tovix_test::counting_bytes;
using tovix_test::kEndMarker;
using tovix_test::ScreenRow;
using tovix_test::TmuxSession;

#define REQUIRE_TMUX() \
  if (!TmuxSession::available()) GTEST_SKIP() << "tmux is not installed"

// The command runs under job control, as a job of its own: a stop hands the terminal
// back to the shell, which reports it and waits for the file "go" before fg.
std::string as_job(const std::string& command) {
  return "set -m\n" + command +
         "\n"
         "echo \"STOPPED:$?\"\n"
         "while [ ! -e go ]; do sleep 0.05; done\n"
         "fg";
}

// The state letter of a process (R, S, T for stopped...), or 0 when it has gone.
char process_state(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(status, line);
  const size_t close_paren = line.rfind(')');
  return close_paren == std::string::npos || close_paren + 2 >= line.size() ? 0
                                                                            : line[close_paren + 2];
}

bool wait_for_state(int pid, char state) {
  for (int i = 0; i < 400; ++i) {
    if (process_state(pid) == state) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool is_dump_row(const ScreenRow& row) {
  return row.text.size() > 10 && row.text.compare(8, 2, "  ") == 0 &&
         row.text.find_first_not_of("0123456789ABCDEF") == 8;
}

// Text on the screen after needle was written in the terminal's default colours.
bool default_colours_at(const TmuxSession& s, const std::string& needle) {
  for (const ScreenRow& row : s.screen()) {
    const size_t at = row.text.find(needle);
    if (at == std::string::npos) continue;
    for (size_t i = at; i < at + needle.size(); ++i)
      if (row.fg[i] != 0 || row.bg[i] != 0) return false;
    return true;
  }
  return false;
}

// While stopped, the shell has the terminal as it was before the program: line mode,
// cursor shown, default colours.
void expect_handed_back(const TmuxSession& s, int pid) {
  ASSERT_TRUE(s.wait_for_text("STOPPED:148")) << s.text();
  EXPECT_EQ(process_state(pid), 'T') << "the program did not stop";
  EXPECT_TRUE(s.wait_for_line_mode());
  EXPECT_TRUE(s.cursor_visible());
  EXPECT_TRUE(default_colours_at(s, "STOPPED:148"));
}

void expect_restored_at_end(const TmuxSession& s) {
  EXPECT_TRUE(s.cursor_visible());
  EXPECT_TRUE(s.modes_restored());
  EXPECT_TRUE(default_colours_at(s, kEndMarker));
}

TEST(ReliabilityTerminal, CtrlZAndFgInTheMiddleOfAColouredDump) {
  REQUIRE_TMUX();
  TmuxSession s;
  ASSERT_TRUE(s.start(as_job("\"$TOVIX\" -p -kcdm /dev/zero"))) << s.error();
  ASSERT_TRUE(s.wait_for_screen([](const std::vector<ScreenRow>& rows) {
    return std::any_of(rows.begin(), rows.end(), is_dump_row);
  }));
  const int pid = s.program_pid();
  ASSERT_GT(pid, 0);
  EXPECT_FALSE(s.cursor_visible());
  s.send_keys({"C-z"});
  expect_handed_back(s, pid);

  s.write_file("go", "");
  ASSERT_TRUE(wait_for_state(pid, 'R') || wait_for_state(pid, 'S'));
  // Dumping again: the cursor hidden once more and new lines coming.
  EXPECT_TRUE(s.wait_for_screen([&](const auto&) { return !s.cursor_visible(); }));
  const std::string before = s.text();
  EXPECT_TRUE(s.wait_for_screen([&](const auto&) { return s.text() != before; }));
  ::kill(pid, SIGTERM);
  EXPECT_EQ(s.wait_for_exit(), 128 + SIGTERM);
  expect_restored_at_end(s);
}

TEST(ReliabilityTerminal, StopAndFgAtThePagerPrompt) {
  REQUIRE_TMUX();
  TmuxSession s;
  s.write_file("r", counting_bytes(1000));
  ASSERT_TRUE(s.start(as_job("\"$TOVIX\" -k r"))) << s.error();
  ASSERT_TRUE(s.wait_for_text("-- more(28%) --")) << s.text();
  ASSERT_TRUE(s.wait_for_key_read());
  const int pid = s.program_pid();
  ASSERT_GT(pid, 0);
  // At the prompt the terminal sends Ctrl+Z as a key: only a signal stops the program.
  ::kill(pid, SIGTSTP);
  expect_handed_back(s, pid);

  s.write_file("go", "");
  EXPECT_TRUE(s.wait_for_key_read()) << "the prompt no longer reads single keys";
  EXPECT_TRUE(s.wait_for_screen([&](const auto&) { return !s.cursor_visible(); }));
  s.send_keys({"Space"});
  ASSERT_TRUE(s.wait_for_text("-- more(65%) --")) << s.text();
  s.send_keys({"q"});
  EXPECT_EQ(s.wait_for_exit(), 0);
  expect_restored_at_end(s);
}

TEST(ReliabilityTerminal, ReadFailurePutsTheTerminalBack) {
  REQUIRE_TMUX();
  TmuxSession s;
  ASSERT_TRUE(s.start("\"$TOVIX\" -k /proc/self/mem")) << s.error();
  EXPECT_EQ(s.wait_for_exit(), 1);
  // "ファイル:/proc/self/memの読み込みに失敗しました", shown in UTF-8 here.
  EXPECT_TRUE(s.wait_for_text("/proc/self/mem\xE3\x81\xAE\xE8\xAA\xAD\xE3\x81\xBF")) << s.text();
  expect_restored_at_end(s);
}

TEST(ReliabilityTerminal, PercentageOfAFileBeyond4GiB) {
  // 5 GiB: its low 32 bits alone would make 1 GiB and a percentage of 200.
  REQUIRE_TMUX();
  TmuxSession s;
  const std::string sparse = s.dir() + "/sparse";
  const int fd = ::open(sparse.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, 5LL << 30), 0);
  ::close(fd);
  ASSERT_TRUE(s.start("\"$TOVIX\" -s 7FFFFFF0H sparse")) << s.error();
  // 25 rows: banner and header take 5, so the prompt follows the 18th line, when
  // 7FFFFFF0H + 18 * 16 bytes of 5 GiB are taken: 40 per cent.
  ASSERT_TRUE(s.wait_for_text("-- more(40%) --")) << s.text();
  EXPECT_NE(s.text().find("80000100  00 00"), std::string::npos) << s.text();
  ASSERT_TRUE(s.wait_for_key_read());
  s.send_keys({"q"});
  EXPECT_EQ(s.wait_for_exit(), 0);
  expect_restored_at_end(s);
}

}  // namespace
