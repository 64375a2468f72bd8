// End-to-end runs under UTF-8 and Shift_JIS locales: the program's texts and the
// character column are spelled for the display, the hex column and offsets never change.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "display_text.h"
#include "reliability_child.h"
#include "run_tovix.h"
#include "text/messages.h"

namespace {

using tovix_test::banner;
using tovix_test::cells;
using tovix_test::header;
using tovix_test::run_tovix;
using tovix_test::ScratchDir;

// 今日は良い天気です。明日も晴れ。: sixteen characters, 32 bytes, no blank among them.
const std::string kProse =
    "\x8D\xA1\x93\xFA\x82\xCD\x97\xC7\x82\xA2\x93\x56\x8B\x43\x82\xC5\x82\xB7\x81\x42"
    "\x96\xBE\x93\xFA\x82\xE0\x90\xB0\x82\xEA\x81\x42";

constexpr size_t kCharColumn = 60;  // offset, two blanks, 16 hex positions, two blanks

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The dump lines of a run (those that start with an eight-digit offset).
std::vector<std::string> dump_lines(const std::string& out) {
  std::vector<std::string> lines;
  for (const std::string& line : lines_of(out))
    if (line.size() > kCharColumn && line.find_first_not_of("0123456789ABCDEF") == 8)
      lines.push_back(line);
  return lines;
}

class Utf8Display : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  }
  void TearDown() override { std::setlocale(LC_CTYPE, "C"); }
};

TEST_F(Utf8Display, UsageTextIsItsUnicodeForm) {
  const std::string usage = tovix_test::kUsageUnicode;
  for (const char* locale : {"C.UTF-8", "en_US.UTF-8", "POSIX", ""})
    EXPECT_EQ(run_tovix({"--help"}, locale).out, banner() + usage) << locale;
  EXPECT_EQ(run_tovix({"--help"}, "ja_JP.SJIS").out, banner() + text::kUsageText);
}

TEST_F(Utf8Display, ProseShowsInTheCharacterColumn) {
  ScratchDir dir;
  struct Case {
    std::string data;
    std::vector<std::string> columns;
  };
  const Case cases[] = {
      {kProse, {"今日は良い天気で", "す。明日も晴れ。"}},
      // One byte ahead: each line ends with a pair across the line end, 17 cells wide.
      {"A" + kProse, {"A今日は良い天気で", " す。明日も晴れ。", ""}},
  };
  for (const Case& c : cases) {
    const std::string f = dir.write("prose", c.data);
    const std::vector<std::string> utf8 = dump_lines(run_tovix({"-p", f}, "C.UTF-8").out);
    const std::vector<std::string> sjis = dump_lines(run_tovix({"-p", f}, "ja_JP.SJIS").out);
    ASSERT_EQ(utf8.size(), c.columns.size());
    ASSERT_EQ(sjis.size(), c.columns.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
      EXPECT_EQ(utf8[i].substr(0, kCharColumn), sjis[i].substr(0, kCharColumn));
      const std::string column = utf8[i].substr(kCharColumn);
      EXPECT_EQ(column.substr(0, column.find_last_not_of(' ') + 1), c.columns[i]);
    }
  }
  // Aligned prose: the Shift_JIS run is the raw bytes, and converting it gives the UTF-8 run.
  const std::string f = dir.write("aligned", kProse);
  const std::string raw = run_tovix({"-p", f}, "ja_JP.SJIS").out;
  EXPECT_NE(raw.find(kProse.substr(0, 16)), std::string::npos);
  EXPECT_EQ(tovix_test::iconv_text(raw, "CP932", "UTF-8"), run_tovix({"-p", f}, "C.UTF-8").out);
}

// Every line's column is 16 cells, or 17 when it ends with a pair across the line end
// (then the next line starts with a blank), whatever the bytes.
TEST_F(Utf8Display, ColumnsStayAligned) {
  std::string pairs;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead == 0xA0) lead = 0xE0;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      pairs += static_cast<char>(lead);
      pairs += static_cast<char>(trail);
    }
  }
  std::string mixed;
  for (int i = 0; i < 4096; ++i) mixed += static_cast<char>((i * 131 + i / 7) & 0xFF);
  ScratchDir dir;
  for (const std::string& data : {pairs, "A" + pairs, mixed, "\xB1\xDE\x09" + pairs}) {
    const std::string f = dir.write("data", data);
    const auto r = run_tovix({"-p", f}, "C.UTF-8");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = dump_lines(r.out);
    ASSERT_EQ(lines.size(), (data.size() + 15) / 16);
    int bad = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
      const int w = cells(lines[i].substr(kCharColumn));
      const bool crosses = w == 17 && i + 1 < lines.size() && lines[i + 1][kCharColumn] == ' ';
      if (w != 16 && !crosses && ++bad <= 3) ADD_FAILURE() << w << ": " << lines[i];
    }
  }
  // Under Shift_JIS nothing is converted: each line of whole pairs shows its own 16 bytes.
  const std::vector<std::string> raw =
      dump_lines(run_tovix({"-p", dir.write("pairs", pairs)}, "ja_JP.SJIS").out);
  ASSERT_EQ(raw.size() * 16, pairs.size());
  for (size_t i = 0; i < raw.size(); ++i)
    ASSERT_EQ(raw[i].substr(kCharColumn), pairs.substr(i * 16, 16)) << raw[i];
  // The user-defined area shows the geta mark.
  const std::string uda = dir.write("uda", std::string("\xF0\x40\xF5\x9F\xF9\xFC") + "A");
  const std::vector<std::string> lines = dump_lines(run_tovix({"-p", uda}, "C.UTF-8").out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(kCharColumn), "〓〓〓A         ");
}

TEST_F(Utf8Display, MessagesConvertedNamesRaw) {
  ScratchDir dir;
  // A name in Shift_JIS (あ.bin) that does not exist: the name's bytes pass unchanged.
  const std::string name = dir.path() + "/\x82\xA0.bin";
  EXPECT_EQ(run_tovix({"-p", name}, "C.UTF-8").out,
            banner() + header(name) + "ファイル:" + name + "のオープンに失敗しました\n");
  // Standard error: the write failure on a full device.
  const std::string f = dir.write("f", "abc");
  const std::string err = dir.path() + "/err";
  const std::string command =
      "LC_ALL=C.UTF-8 " + std::string(TOVIX_BINARY) + " -p " + f + " >/dev/full 2>" + err;
  EXPECT_NE(std::system(command.c_str()), 0);
  std::ifstream in(err);
  const std::string written((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(written.rfind("標準出力への書き込みに失敗しました", 0), 0u) << written;
}

// A locale whose charset does not spell ASCII as itself (none is a real locale): the
// run shows what a UTF-8 display gets, column and messages alike, and never mixes
// another spelling (NUL bytes, EBCDIC) into the ASCII around them.
TEST_F(Utf8Display, CharsetsNotBuiltOnAsciiFallBackToUtf8) {
  ScratchDir dir;
  const std::string f = dir.write("f", kProse + "\xB1\x82");
  const std::string missing = dir.path() + "/missing";
  const std::string expected = run_tovix({"-p", f, missing}, "C.UTF-8").out;
  ASSERT_NE(expected.find("今日は"), std::string::npos);
  for (const char* locale : {"ja_JP.UTF-16", "ja_JP.UCS-2", "ja_JP.UCS-4", "ja_JP.UTF-32",
                             "ja_JP.UTF-7", "ja_JP.EBCDIC-JP-KANA"})
    EXPECT_EQ(run_tovix({"-p", f, missing}, locale).out, expected) << locale;
}

// A converter whose modules are listed but gone (a slimmed container, a cross-built
// program without the target's modules): the run says so once on standard error, with
// what it shows instead, and the dump goes on. A UTF-8 display needs no converter for
// CP932 (the program has its own table): the column reads as it always does, and
// nothing is reported.
TEST_F(Utf8Display, MissingConverterIsReportedOnce) {
  ScratchDir dir;
  dir.write("gconv-modules",
            "module CP932// INTERNAL CP932 1\nmodule INTERNAL CP932// CP932 1\n"
            "module EUC-JP// INTERNAL EUC-JP 1\nmodule INTERNAL EUC-JP// EUC-JP 1\n");
  const std::string f = dir.write("prose", "A" + kProse);
  const std::string ascii = dir.write("ascii", "plain text\n");
  const std::vector<std::string> usual = dump_lines(run_tovix({"-p", f}, "C.UTF-8").out);
  ASSERT_FALSE(usual.empty());
  struct Case {
    const char* locale;
    std::vector<std::string> args;
    std::string err;     // the one line on standard error, after the message
    std::string column;  // the first line's character column, or "" to leave it
  };
  const Case cases[] = {
      {"C.UTF-8", {"-p", f, ascii}, "", usual[0].substr(kCharColumn)},
      {"C.UTF-8", {"--help"}, "", ""},
      {"ja_JP.eucJP",
       {"-p", f},
       "CP932 -> eucJP; the file's bytes are shown unconverted\n",
       "A" + kProse.substr(0, 16)},
      {"ja_JP.SJIS", {"-p", f}, "", "A" + kProse.substr(0, 16)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locale);
    tovix_test::Launch launch;
    launch.args = c.args;
    launch.locale = c.locale;
    launch.env = {"GCONV_PATH=" + dir.path()};
    tovix_test::Child child(launch);
    EXPECT_EQ(child.wait().exit_code, 0);
    const size_t colon = child.err().find(": ");
    EXPECT_EQ(colon == std::string::npos ? child.err() : child.err().substr(colon + 2), c.err);
    if (!c.err.empty()) {
      EXPECT_EQ(child.err().find('\n'), child.err().size() - 1);  // one line
    }
    // The usage, all messages, reads as it does with the converter.
    if (c.args == std::vector<std::string>{"--help"}) {
      EXPECT_EQ(child.out(), run_tovix({"--help"}, c.locale).out);
    }
    const std::vector<std::string> lines = dump_lines(child.out());
    if (!c.column.empty()) {
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines[0].substr(kCharColumn), c.column);
    }
  }
}

// A real terminal: tmux draws the dump of the prose, and the columns line up on screen.
TEST_F(Utf8Display, TerminalShowsTheCharacters) {
  if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tmux";
  ScratchDir dir;
  const std::string f = dir.write("prose", "A" + kProse + kProse);
  // A server of its own, its socket inside the scratch directory so that nothing is left.
  const std::string tmux = "LC_ALL=C.UTF-8 tmux -u -f /dev/null -S " + dir.path() + "/tmux";
  const std::string start = tmux + " new-session -d -x 100 -y 30 'LC_ALL=C.UTF-8 " + TOVIX_BINARY +
                            " -p " + f + "; echo DONE; sleep 30'";
  ASSERT_EQ(std::system(start.c_str()), 0);
  std::string screen;
  for (int tries = 0; tries < 100 && screen.find("DONE") == std::string::npos; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    FILE* pipe = popen((tmux + " capture-pane -p").c_str(), "r");
    std::array<char, 4096> buf;
    screen.clear();
    for (size_t n; (n = fread(buf.data(), 1, buf.size(), pipe)) > 0;) screen.append(buf.data(), n);
    pclose(pipe);
  }
  std::system((tmux + " kill-server").c_str());
  EXPECT_NE(screen.find("A今日は良い天気で"), std::string::npos) << screen;
  EXPECT_NE(screen.find("\n00000040  42"), std::string::npos) << screen;
  // Four full lines, each ending with a pair across the line end: 60 + 17 cells.
  const std::vector<std::string> lines = dump_lines(screen);
  ASSERT_EQ(lines.size(), 4u) << screen;
  for (const std::string& line : lines) EXPECT_EQ(cells(line), 77) << line;
}

}  // namespace
