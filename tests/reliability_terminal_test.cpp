// The terminal on the ways out that a shell's job control and failures take: a stop
// with Ctrl+Z or SIGTSTP and a return with fg (the program really stopped, in a process
// group of its own, as under an interactive shell), a background job at its first
// prompt, a signal while the terminal's output is paused, a failed read, a terminal that
// fails or is non-blocking under a write, and the pager's percentage for a file larger
// than 4 GiB.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "reliability_child.h"
#include "run_tovix.h"
#include "tmux_session.h"

namespace {

using tovix_test::Child;
using tovix_test::ChildEnd;
using tovix_test::counting_bytes;
using tovix_test::kEndMarker;
using tovix_test::Launch;
using tovix_test::ScratchDir;
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

// The row of the screen that holds needle, or -1.
int row_of(const TmuxSession& s, const std::string& needle) {
  const std::vector<ScreenRow> rows = s.screen();
  for (size_t r = 0; r < rows.size(); ++r)
    if (rows[r].text.find(needle) != std::string::npos) return static_cast<int>(r);
  return -1;
}

// After fg, the first prompt of "-k r" (1000 bytes) is back as it was: the cursor hidden,
// Space pages on, q ends the run with the terminal as it was found.
void expect_prompt_takes_keys_again(TmuxSession& s) {
  EXPECT_TRUE(s.wait_for_screen([&](const auto&) { return !s.cursor_visible(); }));
  s.send_keys({"Space"});
  ASSERT_TRUE(s.wait_for_text("-- more(65%) --")) << s.text();
  s.send_keys({"q"});
  EXPECT_EQ(s.wait_for_exit(), 0);
  expect_restored_at_end(s);
}

// A stop at the prompt, by a signal or by Ctrl+Z typed there, takes the prompt off for
// the shell; fg draws it again below what the shell wrote, and it takes keys as before.
TEST(ReliabilityTerminal, StopAndFgAtThePagerPrompt) {
  const struct {
    const char* name;
    bool by_key;
  } cases[] = {{"SIGTSTP", false}, {"Ctrl+Z", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    REQUIRE_TMUX();
    TmuxSession s;
    s.write_file("r", counting_bytes(1000));
    ASSERT_TRUE(s.start(as_job("\"$TOVIX\" -k r"))) << s.error();
    ASSERT_TRUE(s.wait_for_text("-- more(28%) --")) << s.text();
    ASSERT_TRUE(s.wait_for_key_read());
    const int pid = s.program_pid();
    ASSERT_GT(pid, 0);
    if (c.by_key) {
      s.send_keys({"C-z"});
    } else {
      ::kill(pid, SIGTSTP);
    }
    expect_handed_back(s, pid);
    EXPECT_EQ(row_of(s, "more("), -1) << s.text();

    s.write_file("go", "");
    EXPECT_TRUE(s.wait_for_key_read()) << "the prompt no longer reads single keys";
    EXPECT_TRUE(s.wait_for_screen([&](const auto&) {
      return row_of(s, "-- more(28%) --") > row_of(s, "STOPPED:148");
    })) << s.text();
    expect_prompt_takes_keys_again(s);
  }
}

// A job started in the background stops at its first prompt, when it takes the terminal
// for its keys (SIGTTOU), and leaves the terminal to the shell as it found it; fg brings
// the prompt back.
TEST(ReliabilityTerminal, BackgroundJobStopsAtThePromptWithTheTerminalPutBack) {
  REQUIRE_TMUX();
  TmuxSession s;
  s.write_file("r", counting_bytes(1000));
  ASSERT_TRUE(s.start("set -m\n\"$TOVIX\" -kc r &\nwhile [ ! -e go ]; do sleep 0.05; done\nfg"))
      << s.error();
  int pid = -1;
  for (int i = 0; i < 400 && pid <= 0; ++i) {
    const int found = s.program_pid();
    if (found > 0 && process_state(found) == 'T') pid = found;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_GT(pid, 0) << "the job did not stop: " << s.text();
  EXPECT_TRUE(s.wait_for_line_mode());
  EXPECT_TRUE(s.cursor_visible());
  EXPECT_EQ(row_of(s, "more("), -1) << s.text();

  s.write_file("go", "");
  ASSERT_TRUE(s.wait_for_text("-- more(28%) --")) << s.text();
  EXPECT_TRUE(s.wait_for_key_read());
  expect_prompt_takes_keys_again(s);
}

// The first escape sequence that another begins inside (an ESC before the one it
// follows has ended, as when a handler writes in the middle of an interrupted write),
// shown with the bytes around it; empty when there is none.
std::string split_sequence(const std::string& raw) {
  enum class At { kText, kEscape, kCsi } at = At::kText;
  for (size_t i = 0; i < raw.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(raw[i]);
    if (b == 0x1B) {
      if (at != At::kText) {
        std::string shown;
        for (size_t k = i < 24 ? 0 : i - 24; k < i + 24 && k < raw.size(); ++k)
          shown += raw[k] == '\x1B' ? std::string("ESC") : std::string(1, raw[k]);
        return shown;
      }
      at = At::kEscape;
    } else if (at == At::kEscape) {
      at = b == '[' ? At::kCsi : At::kText;
    } else if (at == At::kCsi && b >= 0x40 && b <= 0x7E) {
      at = At::kText;
    }
  }
  return "";
}

// Stops and continues sent back to back, as a supervisor or a script sends them: the
// continue often comes while the stop's handler still puts the terminal back. The job's
// shell (a child of the window's, which tmux would continue) is held stopped meanwhile,
// so that a stop it saw could not take the terminal from the program. No pair may
// leave the program stopped, and no handler's sequence may land inside one of the
// output's.
TEST(ReliabilityTerminal, StopAndContinueBackToBackLoseNothing) {
  const struct {
    const char* name;
    const char* command;
    bool at_prompt;
  } cases[] = {{"at the prompt", "\"$TOVIX\" -k r", true},
               {"during a coloured dump", "\"$TOVIX\" -p -kcdm /dev/zero", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    REQUIRE_TMUX();
    TmuxSession s;
    s.write_file("r", counting_bytes(1000));
    s.write_file("job.sh", "set -m\necho $$ > shell.pid\n" + std::string(c.command) +
                               " &\necho $! > program.pid\nfg\necho \"ENDED:$?\"\n");
    ASSERT_TRUE(s.start("while [ ! -e go ]; do sleep 0.05; done\nTOVIX=\"$TOVIX\" sh job.sh"))
        << s.error();
    s.pipe_output_to("raw");
    s.write_file("go", "");
    if (c.at_prompt) {
      ASSERT_TRUE(s.wait_for_text("-- more(28%) --")) << s.text();
      ASSERT_TRUE(s.wait_for_key_read());
    } else {
      ASSERT_TRUE(s.wait_for_screen([](const std::vector<ScreenRow>& rows) {
        return std::any_of(rows.begin(), rows.end(), is_dump_row);
      }));
    }
    const int pid = std::atoi(s.read_file("program.pid").c_str());
    const int shell = std::atoi(s.read_file("shell.pid").c_str());
    ASSERT_GT(pid, 0);
    ASSERT_GT(shell, 0);
    ::kill(shell, SIGSTOP);
    int stuck = 0;
    for (int i = 0; i < 50; ++i) {
      ::kill(pid, SIGTSTP);
      ::kill(pid, SIGCONT);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (process_state(pid) != 'T') continue;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      if (process_state(pid) != 'T') continue;
      ++stuck;
      ::kill(pid, SIGCONT);
    }
    ::kill(shell, SIGCONT);
    // One pair may be caught in the one window no handler can close: a continue that
    // comes between the handler's look at the pending signals and the stop it then sends
    // itself is thrown away by the kernel with that stop. Under load that happened about
    // once in 25 runs of 50 pairs; any fault of the program's own leaves more stopped.
    EXPECT_LE(stuck, 1) << "runs left stopped after a continue";
    if (c.at_prompt) {
      EXPECT_TRUE(s.wait_for_key_read());
      s.send_keys({"Space"});
      EXPECT_TRUE(s.wait_for_text("-- more(65%) --")) << s.text();
      s.send_keys({"q"});
      EXPECT_EQ(s.wait_for_exit(), 0);
    } else {
      ::kill(pid, SIGTERM);
      EXPECT_EQ(s.wait_for_exit(), 0);  // the job shell's status, after "ENDED:143"
      EXPECT_TRUE(s.wait_for_text("ENDED:143")) << s.text();
    }
    // Up to the reset of the ending signal's handler, which may follow a sequence cut
    // short: the rest of that sequence is never written, and the terminal drops it.
    std::string raw = s.read_file("raw");
    if (!c.at_prompt) raw.resize(std::min(raw.size(), raw.rfind("\x1b[39;49m\x1b[?25h")));
    EXPECT_GT(raw.size(), 1000u);
    EXPECT_EQ(split_sequence(raw), "");
  }
}

// A stop at the prompt (Ctrl+Z, or SIGSTOP, which no handler sees), then bg: the job goes
// on in the background and stops again at its read (SIGTTIN), leaving the terminal that
// the shell has now alone: its mode (the shell's own, here without echo) and the rows
// the shell writes stay as they are. fg brings the prompt back.
TEST(ReliabilityTerminal, BgAfterAStopLeavesTheShellsTerminalAlone) {
  const struct {
    const char* name;
    bool by_key;
  } cases[] = {{"Ctrl+Z", true}, {"SIGSTOP", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    REQUIRE_TMUX();
    TmuxSession s;
    s.write_file("r", counting_bytes(1000));
    ASSERT_TRUE(
        s.start("set -m\n\"$TOVIX\" -k r\necho \"STOPPED:$?\"\nstty -echo\n"
                "stty -g > modes.shell\nbg\nsleep 1\nstty -g > modes.bg\necho SHELL-ONE\n"
                "echo SHELL-TWO\nwhile [ ! -e go ]; do sleep 0.05; done\nstty echo\nfg"))
        << s.error();
    ASSERT_TRUE(s.wait_for_text("-- more(28%) --")) << s.text();
    ASSERT_TRUE(s.wait_for_key_read());
    const int pid = s.program_pid();
    ASSERT_GT(pid, 0);
    if (c.by_key) {
      s.send_keys({"C-z"});
    } else {
      ::kill(pid, SIGSTOP);
    }
    ASSERT_TRUE(s.wait_for_text("SHELL-TWO")) << s.text();
    EXPECT_EQ(s.read_file("modes.bg"), s.read_file("modes.shell"));
    EXPECT_EQ(process_state(pid), 'T') << "the background job did not stop at its read";
    const int one = row_of(s, "SHELL-ONE");
    EXPECT_GT(one, row_of(s, c.by_key ? "STOPPED:148" : "STOPPED:147")) << s.text();
    EXPECT_EQ(row_of(s, "SHELL-TWO"), one + 1) << s.text();
    // Ctrl+Z took the prompt off; after SIGSTOP it stays where the shell wrote below it.
    EXPECT_EQ(row_of(s, "more(") == -1, c.by_key) << s.text();

    s.write_file("go", "");
    EXPECT_TRUE(s.wait_for_key_read()) << "the prompt no longer reads single keys";
    // A prompt below what the shell wrote (the one from before SIGSTOP is still above).
    EXPECT_TRUE(s.wait_for_screen([&](const std::vector<ScreenRow>& rows) {
      const int two = row_of(s, "SHELL-TWO");
      return two >= 0 && std::any_of(rows.begin() + two, rows.end(), [](const ScreenRow& r) {
               return r.text.rfind("-- more(28%) --", 0) == 0;
             });
    })) << s.text();
    expect_prompt_takes_keys_again(s);
  }
}

// With the terminal's output paused (Ctrl+S) the program is stuck in a write; SIGTERM
// still ends it at once. What it has to put back cannot reach a paused terminal, so
// only the modes are checked, once the output goes on (Ctrl+Q).
TEST(ReliabilityTerminal, TermEndsTheRunWhileOutputIsPaused) {
  REQUIRE_TMUX();
  TmuxSession s;
  s.write_file("big", counting_bytes(16 << 20));
  ASSERT_TRUE(s.start("\"$TOVIX\" -p -kcdm big")) << s.error();
  ASSERT_TRUE(s.wait_for_screen([](const std::vector<ScreenRow>& rows) {
    return std::any_of(rows.begin(), rows.end(), is_dump_row);
  }));
  const int pid = s.program_pid();
  ASSERT_GT(pid, 0);
  s.send_keys({"C-s"});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the terminal fills up
  ::kill(pid, SIGTERM);
  EXPECT_TRUE(wait_for_state(pid, 0)) << "still running with the output paused";
  s.send_keys({"C-q"});
  EXPECT_EQ(s.wait_for_exit(), 128 + SIGTERM);
  EXPECT_TRUE(s.modes_restored());
}

// Standard output on a terminal of the test's own (a pseudo-terminal) that fails under
// the program. One that goes away (its other side closed) gets the write-failure
// message once and exit code 1; one that another program left non-blocking is waited
// for like any other, and the whole dump reaches it, the cursor shown at the end.
TEST(ReliabilityTerminal, WritesToATerminalThatFailsOrIsNonBlocking) {
  const struct {
    const char* name;
    bool non_blocking;
    bool hang_up;
    int exit_code;
    size_t messages;
  } cases[] = {{"the terminal goes away", false, true, 1, 1},
               {"the terminal is non-blocking", true, false, 0, 0}};
  ScratchDir dir;
  const std::string big = dir.write("big", counting_bytes(1 << 18));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const int slave = ::open(::ptsname(master),
                             O_RDWR | O_NOCTTY | O_CLOEXEC | (c.non_blocking ? O_NONBLOCK : 0));
    ASSERT_GE(slave, 0);
    Launch launch;
    launch.args = {"-p", big};
    launch.locale = "C.UTF-8";
    launch.env = {"TERM=xterm"};
    launch.stdout_fd = slave;
    Child child(launch);
    ::close(slave);
    std::string shown;
    char buf[65536];
    if (!c.hang_up) std::this_thread::sleep_for(std::chrono::milliseconds(300));  // fills up
    for (;;) {
      if (c.hang_up && shown.size() >= 65536) break;
      const ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;  // EIO once the program has closed its side
      shown.append(buf, static_cast<size_t>(n));
    }
    ::close(master);
    const ChildEnd end = child.wait();
    EXPECT_EQ(end.exit_code, c.exit_code);
    EXPECT_EQ(static_cast<size_t>(std::count(child.err().begin(), child.err().end(), '\n')),
              c.messages)
        << child.err();
    if (!c.hang_up) {
      EXPECT_NE(shown.find("0003FFF0  F0 F1"), std::string::npos);
      EXPECT_TRUE(shown.ends_with("\x1b[?25h")) << shown.substr(shown.size() - 40);
    }
  }
}

TEST(ReliabilityTerminal, ReadFailurePutsTheTerminalBack) {
  REQUIRE_TMUX();
  TmuxSession s;
  ASSERT_TRUE(s.start("\"$TOVIX\" -k /proc/self/mem")) << s.error();
  EXPECT_EQ(s.wait_for_exit(), 1);
  // "ファイル:/proc/self/memの読み込みに失敗しました", shown in UTF-8 here.
  EXPECT_TRUE(s.wait_for_text("/proc/self/mem\xE3\x81\xAE\xE8\xAA\xAD\xE3\x81\xBF")) << s.text();
  // The message ends its line: what the shell writes next starts a row of its own.
  bool end_marker_alone = false;
  for (const ScreenRow& row : s.screen())
    if (row.text.rfind(kEndMarker, 0) == 0) end_marker_alone = true;
  EXPECT_TRUE(end_marker_alone) << s.text();
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
