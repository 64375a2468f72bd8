// The pager's counting and its commands, with keys from a script instead of the
// terminal and standard output caught in a file.
#include "console/pager.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "console/console.h"
#include "console/dump_options.h"
#include "console/output.h"
#include "console/pager_test_helper.h"

namespace {

using console::count_rows;
using console::g_progress;
using console::g_screen;

struct ScriptEnded {};

// The keys the next prompts take, in order.
std::vector<int> g_script;
size_t g_keys_read = 0;

int scripted_key() {
  if (g_keys_read >= g_script.size()) throw ScriptEnded{};
  return g_script[g_keys_read++];
}

constexpr int kEnter = 13, kSpace = ' ';

class PagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    console::g_options = console::DumpOptions{};
    g_screen = {2, 23};  // after the banner, in a window of 25 rows
    g_progress = {};
    g_script.clear();
    g_keys_read = 0;
    console::pager_use_key_source(scripted_key);
    // The prompt goes to standard output: into a file, where the test can read it.
    std::fflush(stdout);
    saved_stdout_ = dup(STDOUT_FILENO);
    char name[] = "/tmp/tovix-pager-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    captured_ = name;
    dup2(fd, STDOUT_FILENO);
    close(fd);
  }

  void TearDown() override {
    console::out_drain();
    dup2(saved_stdout_, STDOUT_FILENO);
    close(saved_stdout_);
    std::remove(captured_.c_str());
    console::pager_use_key_source(nullptr);
    console::g_options = console::DumpOptions{};
    g_screen = {};
    g_progress = {};
  }

  // What the prompts wrote so far.
  std::string written() const {
    console::out_drain();
    std::ifstream in(captured_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Feeds counted output as the writers do: H a file header (3 rows), F an
  // open-failure message (2), L a dump line of 16 bytes (1). For each, '.' when no
  // prompt came, 'p' for a prompt that went on, 'n' for one that asked for the next file.
  static std::string run(const std::string& events) {
    std::string marks;
    for (char e : events) {
      const size_t before = g_keys_read;
      if (e == 'L') g_progress.bytes_consumed += 16;
      bool next_file = false;
      try {
        next_file = count_rows(e == 'H' ? 3 : e == 'F' ? 2 : 1);
      } catch (const ScriptEnded&) {
        return marks + "<no key left>";
      }
      marks += g_keys_read == before ? (next_file ? '!' : '.') : (next_file ? 'n' : 'p');
    }
    return marks;
  }

  int saved_stdout_ = -1;
  std::string captured_;
};

std::string dots(size_t n) {
  return std::string(n, '.');
}

struct CountCase {
  const char* name;
  int32_t start;  // rows on the screen before the events
  std::string events;
  std::vector<int> keys;
  std::string marks;
};

const std::vector<CountCase> kCountCases = {
    {"the 18th line after banner and header fills the page",
     2,
     "H" + std::string(19, 'L'),
     {kSpace},
     dots(18) + "p."},
    {"Enter at a line: one more line, then the prompt again",
     2,
     "H" + std::string(21, 'L'),
     {kEnter, kEnter, kSpace},
     dots(18) + "ppp."},
    {"Space: a whole page before the next prompt",
     2,
     "H" + std::string(42, 'L'),
     {kSpace, kSpace},
     dots(18) + "p" + dots(22) + "p."},
    {"Enter at a header: the first line prompts again", 20, "HLL", {kEnter, kSpace}, "pp."},
    {"N at a header asks for the next file", 20, "HL", {'N'}, "n."},
    {"n at a header asks for the next file", 20, "HL", {'n'}, "n."},
    {"N at a line asks for the next file; the count starts again", 22, "LHL", {'N'}, "n.."},
    {"the next header counts on from the lines before it", 19, "LH", {kSpace}, ".p"},
    {"an open-failure message counts two rows", 21, "F", {kSpace}, "p"},
    {"Enter typed ahead arrives as LF", 22, "LL", {10, kSpace}, "pp"},
    {"keys without a command are read past",
     22,
     "L",
     {0xE0, 72, 0, 59, 3, 'x', 0x1B, 'p', 255, kSpace},
     "p"},
};

TEST_F(PagerTest, PromptsWhenThePageIsFull) {
  for (const CountCase& c : kCountCases) {
    SCOPED_TRACE(c.name);
    g_screen.lines_on_screen = c.start;
    g_script = c.keys;
    g_keys_read = 0;
    EXPECT_EQ(run(c.events), c.marks);
    EXPECT_EQ(g_keys_read, c.keys.size()) << "keys left over";
  }
}

// Two rows go to the prompt and the row it stands on; the smallest window still has a
// page of one line, so that every prompt lets one more line through.
TEST_F(PagerTest, SmallWindowsKeepAPageOfOneLine) {
  const std::pair<int, int32_t> heights[] = {{25, 23}, {4, 2}, {3, 1}, {2, 1}, {1, 1}, {0, 1}};
  for (const auto& [rows, page] : heights) EXPECT_EQ(console::page_height_for_window(rows), page);
  g_screen.page_height = console::page_height_for_window(1);
  g_script = {kSpace, kEnter, kSpace, 'N'};
  EXPECT_EQ(run("HLLL"), "pppn");
}

TEST_F(PagerTest, NoPromptWithPausesOff) {
  console::g_options.pause = false;
  EXPECT_EQ(run("H" + std::string(100, 'L')), dots(101));
  EXPECT_EQ(g_screen.lines_on_screen, 2 + 3 + 100);
  EXPECT_EQ(written(), "");
}

// The count of a long run without pauses must not wrap round to a negative number, and
// output that is not a terminal (page height unlimited) never pauses, however long.
TEST_F(PagerTest, CountStaysBelowTheUnlimitedPage) {
  console::g_options.pause = false;
  g_screen.lines_on_screen = INT32_MAX - 1;
  EXPECT_EQ(run("LLH"), "...");
  EXPECT_GT(g_screen.lines_on_screen, g_screen.page_height);

  console::g_options.pause = true;
  g_screen.page_height = console::kUnlimitedHeight - 2;
  g_screen.lines_on_screen = g_screen.page_height - 2;
  EXPECT_EQ(run("LLLLH"), ".....");
  EXPECT_EQ(written(), "");
}

struct PercentCase {
  uint64_t consumed, size;
  int percent;
};

TEST(ProgressPercent, SixtyFourBitsWithoutOverflow) {
  const PercentCase cases[] = {
      {368, 1000, 36},
      {50'000'000, 100'000'000, 50},
      {1000, 1000, 100},
      {0, 1000, 0},
      {0, 0, 0},   // nothing opened yet, or an empty file
      {16, 0, 0},  // a pipe reports no size
      {999, 1000, 99},
      {1016, 1000, 101},                   // a file that grew while it was dumped
      {3ull << 30, 6ull << 30, 50},        // past 4 GiB
      {(1ull << 62) - 1, 1ull << 62, 99},  // where bytes * 100 overflows
      {UINT64_MAX / 2, UINT64_MAX, 49},
  };
  for (const PercentCase& c : cases) {
    EXPECT_EQ(console::progress_percent({c.consumed, c.size}), c.percent)
        << c.consumed << " of " << c.size;
  }
}

// Q, q, and a terminal that cannot be read end the run at once with exit code 0.
TEST_F(PagerTest, QuitEndsTheRun) {
  for (int key : {int{'Q'}, int{'q'}, -1}) {
    SCOPED_TRACE(key);
    g_screen.lines_on_screen = 22;
    g_script = {key, kSpace};
    g_keys_read = 0;
    EXPECT_EXIT(run("L"), ::testing::ExitedWithCode(0), "");
  }
}

}  // namespace
