// The program in a real terminal (tmux, 100 x 25): the colours of the hex column and the
// banner, the terminal put back on every way out, output without escapes when
// redirected, and the pager's prompt and keys.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "run_tovix.h"
#include "tmux_session.h"

namespace {

using tovix_test::counting_bytes;
using tovix_test::kEndMarker;
using tovix_test::ScreenRow;
using tovix_test::TmuxSession;

// SGR foreground codes as the terminal reports them.
constexpr int kNone = 0, kCyan = 96, kRed = 91, kMagenta = 95, kYellow = 33;
constexpr int kPromptFg = 31, kPromptBg = 47;  // red on light grey

#define REQUIRE_TMUX() \
  if (!TmuxSession::available()) GTEST_SKIP() << "tmux is not installed"

bool is_dump_row(const ScreenRow& row) {
  if (row.text.size() < 10 || row.text.compare(8, 2, "  ") != 0) return false;
  for (int i = 0; i < 8; ++i)
    if (std::string("0123456789ABCDEF").find(row.text[i]) == std::string::npos) return false;
  return true;
}

// Cursor shown, terminal modes as before, and the text written after the program in the
// terminal's default colours.
void expect_terminal_restored(const TmuxSession& s) {
  EXPECT_TRUE(s.cursor_visible());
  EXPECT_TRUE(s.modes_restored());
  bool found = false;
  for (const ScreenRow& row : s.screen()) {
    const size_t at = row.text.find(kEndMarker);
    if (at == std::string::npos) continue;
    found = true;
    for (size_t i = at; i < at + std::string(kEndMarker).size(); ++i) {
      EXPECT_EQ(row.fg[i], kNone) << "foreground left changed";
      EXPECT_EQ(row.bg[i], kNone) << "background left changed";
    }
  }
  EXPECT_TRUE(found);
}

struct HighlightCase {
  const char* name;
  const char* options;
  std::vector<std::string> files;  // dumped in order, named a, b, ...
  std::vector<int> colours;        // foreground of the digits of every byte, in order
};

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

const std::vector<HighlightCase> kHighlightCases = {
    {"markers",
     "-m",
     {bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10})},
     {kRed, kRed, kRed, kRed, kNone, kNone}},
    {"run of FF", "-m", {bytes({0xFF, 0xFF, 0xFF, 0x00, 0x41})}, {kRed, kRed, kRed, kRed, kNone}},
    {"marker before a lead byte", "-m -k", {bytes({0xFF, 0x82, 0xA0})}, {kRed, kRed, kNone}},
    {"lead and control",
     "-k -c",
     {bytes({0x82, 0xA0, 0x1B, 0x7F, 0x41})},
     {kCyan, kNone, kMagenta, kMagenta, kNone}},
    {"newline before control",
     "-d -c",
     {bytes({0x0D, 0x0A, 0x09, 0x00})},
     {kYellow, kYellow, kMagenta, kMagenta}},
    {"CR LF as control codes",
     "-c",
     {bytes({0x0D, 0x0A, 0x7F, 0x20})},
     {kMagenta, kMagenta, kMagenta, kNone}},
    {"newline alone", "-d", {bytes({0x09, 0x00, 0x0D, 0x0A})}, {kNone, kNone, kYellow, kYellow}},
    {"no option", "", {bytes({0x82, 0xA0, 0x0D, 0xFF, 0x00})}, {kNone, kNone, kNone, kNone, kNone}},
    {"marker across lines",
     "-m",
     {std::string(15, 'A') + bytes({0xFF, 0x00, 0x41})},
     {kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone,
      kNone, kNone, kRed, kRed, kNone}},
    {"marker across files",
     "-m",
     {bytes({0x41, 0xFF}), bytes({0x00, 0x41})},
     {kNone, kRed, kRed, kNone}},
    {"all four",
     "-kcdm",
     {bytes({0x82, 0x0D, 0xFF, 0x0A, 0x7F, 0x88, 0x9F, 0xE0, 0xFC, 0xA0, 0x80, 0xFD})},
     {kCyan, kYellow, kRed, kRed, kMagenta, kCyan, kCyan, kCyan, kCyan, kNone, kNone, kNone}},
    // Other encodings: -k at the first byte of each multibyte character, -c and -d by
    // code unit (both bytes of one in UTF-16).
    // 00 0D in UTF-16LE is U+0D00, no line end.
    {"UTF-16LE code units",
     "-e utf16le -kcd",
     {bytes({0x41, 0x00, 0x0D, 0x00, 0x0A, 0x00, 0xE5, 0x65, 0x09, 0x00, 0x00, 0x0D})},
     {kNone, kNone, kYellow, kYellow, kYellow, kYellow, kCyan, kNone, kMagenta, kMagenta, kCyan,
      kNone}},
    {"UTF-8 lead bytes, not invalid ones",
     "-e utf8 -kc",
     {bytes({0xE6, 0x97, 0xA5, 0x41, 0xC0, 0xAF, 0x82, 0xA0, 0xC2, 0x85, 0x0D})},
     {kCyan, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kCyan, kNone, kMagenta}},
    {"EUC-JP lead bytes",
     "-e eucjp -kd",
     {bytes({0xC6, 0xFC, 0x8E, 0xB1, 0x8F, 0xB0, 0xA1, 0x0A, 0x82, 0xA1})},
     {kCyan, kNone, kCyan, kNone, kCyan, kNone, kNone, kYellow, kNone, kNone}},
    {"UTF-8 character across lines",
     "-e utf8 -k",
     {std::string(15, 'A') + bytes({0xE6, 0x97, 0xA5, 0xE6})},
     {kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone,
      kNone, kNone, kCyan, kNone, kNone, kNone}},
};

TEST(TerminalColours, HexDigitsOfChosenBytesAndNothingElse) {
  for (const HighlightCase& c : kHighlightCases) {
    SCOPED_TRACE(c.name);
    REQUIRE_TMUX();
    TmuxSession s;
    std::string command = std::string("\"$TOVIX\" -p ") + c.options;
    for (size_t i = 0; i < c.files.size(); ++i) {
      const std::string name(1, static_cast<char>('a' + i));
      s.write_file(name, c.files[i]);
      command += ' ';
      command += name;
    }
    ASSERT_TRUE(s.start(command)) << s.error();
    ASSERT_EQ(s.wait_for_exit(), 0);
    std::vector<int> seen;
    for (const ScreenRow& row : s.screen()) {
      if (!is_dump_row(row)) continue;
      for (size_t col = 0; col < row.text.size(); ++col) {
        const size_t pos = col >= 10 ? col - 10 : 0;
        const bool digit = col >= 10 && col < 58 && pos % 3 != 2 && row.text[col] != ' ';
        if (digit && pos % 3 == 0) seen.push_back(row.fg[col]);
        if (digit && pos % 3 == 1) {
          EXPECT_EQ(row.fg[col], row.fg[col - 1]) << "the two digits differ: " << row.text;
        }
        if (!digit) {
          EXPECT_EQ(row.fg[col], kNone) << "column " << col << " of " << row.text;
        }
        EXPECT_EQ(row.bg[col], kNone) << "column " << col << " of " << row.text;
      }
    }
    EXPECT_EQ(seen, c.colours);
    expect_terminal_restored(s);
  }
}

// The banner is bold in the terminal's own foreground, so it reads on light and dark
// themes; NO_COLOR set and not empty takes every colour away (the highlights too) and
// leaves the rest, the bold banner included.
TEST(TerminalColours, BannerIsBoldAndNoColourMeansNone) {
  REQUIRE_TMUX();
  struct Case {
    const char* command;
    bool highlights;  // the -kcdm bytes show in colour
  } cases[] = {
      {"\"$TOVIX\" -p f", false},
      {"NO_COLOR=1 \"$TOVIX\" -p -kcdm f", false},
      {"NO_COLOR= \"$TOVIX\" -p -kcdm f", true},  // empty: as if not set
  };
  for (const Case& c : cases) {
    TmuxSession s;
    std::string data = counting_bytes(40);
    data[2] = '\x81';
    data[3] = '\x0D';
    s.write_file("f", data);
    ASSERT_TRUE(s.start(c.command)) << s.error();
    ASSERT_EQ(s.wait_for_exit(), 0);
    int banners = 0;
    bool coloured = false;
    for (const ScreenRow& row : s.screen()) {
      const bool banner = row.text.rfind("Tovix ", 0) == 0;
      banners += banner ? 1 : 0;
      for (size_t i = 0; i < row.text.size(); ++i) {
        if (row.text.compare(i, std::string(kEndMarker).size(), kEndMarker) == 0) break;
        EXPECT_EQ(row.bold[i], banner) << c.command << ": column " << i << " of " << row.text;
        if (row.fg[i] != kNone) coloured = true;
        if (!c.highlights) {
          EXPECT_EQ(row.fg[i], kNone) << c.command << ": column " << i << " of " << row.text;
        }
        EXPECT_EQ(row.bg[i], kNone) << c.command << ": column " << i << " of " << row.text;
      }
    }
    EXPECT_EQ(coloured, c.highlights) << c.command;
    EXPECT_EQ(banners, 1) << c.command;
    expect_terminal_restored(s);
  }
}

// Redirected to a file or a pipe, the output is the same bytes whatever the colour
// options, with no escape sequence and no prompt, even well past a screenful.
TEST(TerminalColours, RedirectedOutputCarriesNoEscapes) {
  REQUIRE_TMUX();
  TmuxSession s;
  std::string data = counting_bytes(2000);
  data[15] = '\xFF';
  s.write_file("f", data);
  ASSERT_TRUE(
      s.start("\"$TOVIX\" -p f > plain.out; \"$TOVIX\" -p -kcdm f > colour.out; "
              "\"$TOVIX\" -kcdm f | cat > pipe.out"))
      << s.error();
  ASSERT_EQ(s.wait_for_exit(), 0);
  const std::string plain = s.read_file("plain.out");
  EXPECT_GT(plain.size(), 125u * 76u);
  EXPECT_EQ(plain.find('\x1b'), std::string::npos);
  EXPECT_EQ(s.read_file("colour.out"), plain);
  EXPECT_EQ(s.read_file("pipe.out"), plain);
}

// A file name is anybody's bytes: on a terminal its control characters show as '?'
// rather than act (here an ESC that would turn the rest of the screen red), while a
// redirected run keeps the name exactly as given.
// Bytes of a file decoded as UTF-8 that could act on the terminal or move what follows
// (escape sequences, right-to-left overrides, zero-width and combining characters, line
// separators): each shows as dots, the column keeps its place, the terminal its state.
TEST(TerminalColours, HostileTextInAFileDoesNotReachTheTerminal) {
  REQUIRE_TMUX();
  TmuxSession s;
  s.write_file("f",
               "\x1b[31m\xE2\x80\xAE"
               "ab\xE2\x80\x8B"
               "e\xCC\x81\xE2\x80\xA8\xC2\x9B"
               "1;1H\xEF\xBB\xBF");
  ASSERT_TRUE(s.start("\"$TOVIX\" -p -e utf8 f")) << s.error();
  ASSERT_EQ(s.wait_for_exit(), 0);
  bool row_seen = false;
  for (const ScreenRow& row : s.screen()) {
    if (row.text.rfind("00000010  ", 0) == 0) {
      row_seen = true;
      EXPECT_EQ(row.text.substr(60), ".....1;1H...")
          << row.text;  // the screen drops trailing blanks
    }
    if (row.text.rfind("00000000  ", 0) == 0) {
      EXPECT_EQ(row.text.substr(60), ".[31m...ab...e..") << row.text;
    }
    for (size_t i = 0; i < row.text.size(); ++i) {
      if (row.text.compare(i, std::string(kEndMarker).size(), kEndMarker) == 0) break;
      if (row.text.rfind("Tovix ", 0) != 0) {
        EXPECT_EQ(row.fg[i], kNone) << row.text;
      }
    }
  }
  EXPECT_TRUE(row_seen) << s.text();
  expect_terminal_restored(s);
}

TEST(TerminalColours, ControlCharactersInANameDoNotReachTheTerminal) {
  REQUIRE_TMUX();
  TmuxSession s;
  const std::string name = "a\x1b[31mb";
  s.write_file(name, "xy");
  ASSERT_TRUE(s.start("\"$TOVIX\" -p a*b; \"$TOVIX\" -p a*b > redirected.out")) << s.error();
  ASSERT_EQ(s.wait_for_exit(), 0);
  bool header_seen = false;
  for (const ScreenRow& row : s.screen()) {
    if (row.text == "[ a?[31mb ]") header_seen = true;
    for (size_t i = 0; i < row.text.size(); ++i) {
      if (row.text.compare(i, std::string(kEndMarker).size(), kEndMarker) == 0) break;
      if (row.text.rfind("Tovix ", 0) != 0) {
        EXPECT_EQ(row.fg[i], kNone) << row.text;
      }
    }
  }
  EXPECT_TRUE(header_seen) << s.text();
  EXPECT_NE(s.read_file("redirected.out").find("[ " + name + " ]"), std::string::npos);
}

struct SignalCase {
  const char* name;
  int signal;
  bool by_key;  // Ctrl+C typed in the terminal rather than sent with kill
};

// A signal in the middle of a large coloured dump ends the run with the signal's own
// status, and the terminal is as it was before: cursor shown, default colours, modes.
TEST(TerminalRestore, SignalInTheMiddleOfADump) {
  const SignalCase cases[] = {{"Ctrl+C", SIGINT, true},
                              {"SIGTERM", SIGTERM, false},
                              {"SIGHUP", SIGHUP, false},
                              {"SIGQUIT", SIGQUIT, false}};
  std::string big = counting_bytes(16 << 20);
  for (const SignalCase& c : cases) {
    SCOPED_TRACE(c.name);
    REQUIRE_TMUX();
    TmuxSession s;
    s.write_file("big", big);
    ASSERT_TRUE(s.start("\"$TOVIX\" -p -kcdm big")) << s.error();
    ASSERT_TRUE(s.wait_for_screen([](const std::vector<ScreenRow>& rows) {
      return std::any_of(rows.begin(), rows.end(), is_dump_row);
    }));
    EXPECT_FALSE(s.cursor_visible());
    if (c.by_key) {
      s.send_keys({"C-c"});
    } else {
      const int pid = s.program_pid();
      ASSERT_GT(pid, 0);
      kill(pid, c.signal);
    }
    EXPECT_EQ(s.wait_for_exit(), 128 + c.signal);
    expect_terminal_restored(s);
  }
}

// What the screen must show while the pager waits: one prompt, in its colours where the
// terminal takes them, at the start of the row after the dump line last_address.
struct PromptView {
  const char* prompt;        // nullptr: the run has ended
  const char* last_address;  // nullptr: the row above is not checked
};

void expect_prompt(const TmuxSession& s, const PromptView& view, bool colours) {
  ASSERT_TRUE(s.wait_for_text(view.prompt)) << s.text();
  ASSERT_TRUE(s.wait_for_key_read());
  const std::vector<ScreenRow> rows = s.screen();
  int prompts = 0;
  for (size_t r = 0; r < rows.size(); ++r) {
    if (rows[r].text.find("more(") == std::string::npos) continue;
    ++prompts;
    EXPECT_EQ(rows[r].text.rfind(view.prompt, 0), 0u) << rows[r].text;
    for (size_t i = 0; i < std::string(view.prompt).size() && colours; ++i) {
      EXPECT_EQ(rows[r].fg[i], kPromptFg);
      EXPECT_EQ(rows[r].bg[i], kPromptBg);
    }
    if (view.last_address != nullptr) {
      ASSERT_GT(r, 0u);
      EXPECT_EQ(rows[r - 1].text.substr(0, 8), view.last_address) << s.text();
    }
  }
  EXPECT_EQ(prompts, 1) << s.text();
  if (colours) {
    EXPECT_FALSE(s.cursor_visible());
  }
}

struct PagerStep {
  std::vector<std::string> keys;  // sent once the step before has been seen
  PromptView then;
  int rows = 0;  // when not 0, the window is made this high before the keys are sent
};

struct PagerCase {
  const char* name;
  const char* command;
  std::vector<std::string> typed_ahead;  // sent at once, while the output runs
  PromptView first;
  std::vector<PagerStep> steps;
  const char* end_text;  // what the screen shows at the end, or nullptr
  bool colours = true;
};

// r is 1000 bytes, 63 dump lines; b is three bytes; keys holds commands for a reader
// of standard input. Window 25 rows: page 23, the banner and the header take 5.
const std::vector<PagerCase> kPagerCases = {
    {"Enter one line, Space a page, the end",
     "\"$TOVIX\" r",
     {},
     {"-- more(28%) --", "00000110"},
     {{{"Enter"}, {"-- more(30%) --", "00000120"}},
      {{"Space"}, {"-- more(67%) --", "00000290"}},
      {{"Space"}, {nullptr, nullptr}}},
     "000003E0"},
    {"q ends the run",
     "\"$TOVIX\" r",
     {},
     {"-- more(28%) --", "00000110"},
     {{{"q"}, {nullptr, nullptr}}},
     nullptr},
    {"Q ends the run",
     "\"$TOVIX\" r",
     {},
     {"-- more(28%) --", "00000110"},
     {{{"Q"}, {nullptr, nullptr}}},
     nullptr},
    {"N at a dump line goes on with the next header",
     "\"$TOVIX\" r b",
     {},
     {"-- more(28%) --", "00000110"},
     {{{"N"}, {nullptr, nullptr}}},
     "00000110  10 11 12 13 14 15 16 17-18 19 1A 1B 1C 1D 1E 1F   ................\n\n"
     "[ b ]\n\n00000000  41 42 43"},
    {"keys without a command do nothing",
     "\"$TOVIX\" r b",
     {},
     {"-- more(28%) --", "00000110"},
     {{{"Up", "Down", "Left",  "Right", "F1",   "F2",  "F3",  "F4",  "F5",  "F6",  "F7", "F8",
        "F9", "F10",  "NPage", "PPage", "Home", "End", "M-n", "M-N", "M-q", "M-Q", "M- "},
       {"-- more(28%) --", "00000110"}},
      {{"C-c"}, {"-- more(28%) --", "00000110"}},
      {{"Enter"}, {"-- more(30%) --", "00000120"}},
      {{"q"}, {nullptr, nullptr}}},
     nullptr},
    {"the next page fits the window as it is after a resize",
     "\"$TOVIX\" r",
     {},
     {"-- more(28%) --", "00000110"},
     {{{"Space"}, {"-- more(49%) --", "000001E0"}, 15},  // a page of 13 lines
      {{"Space"}, {"-- more(78%) --", "00000300"}, 20},  // and 18 lines
      {{"q"}, {nullptr, nullptr}}},
     nullptr},
    {"with -n the percentage counts the bytes that will be shown",
     "\"$TOVIX\" -s 0x100 -n 0x200 r",
     {},
     {"-- more(56%) --", "00000210"},
     {{{"Space"}, {nullptr, nullptr}}},
     "000002F0  F0 F1 F2 F3 F4 F5 F6 F7-F8 F9 FA FB FC FD FE FF   \xE3\x80\x93"},
    {"a pipe on standard input is dumped, and keys still come from the terminal",
     "cat r | \"$TOVIX\"",
     {},
     {"-- more(0%) --", "00000110"},
     {{{"Enter"}, {"-- more(0%) --", "00000120"}}, {{"q"}, {nullptr, nullptr}}},
     nullptr},
    {"standard input does not feed the prompt",
     "\"$TOVIX\" r < keys",
     {},
     {"-- more(28%) --", "00000110"},
     {{{"Enter"}, {"-- more(30%) --", "00000120"}}, {{"q"}, {nullptr, nullptr}}},
     nullptr},
    {"keys typed ahead are taken in order",
     "\"$TOVIX\" r",
     {"Enter", "Enter", "Space"},
     {"-- more(68%) --", "000002A0"},
     {{{"q"}, {nullptr, nullptr}}},
     nullptr},
    {"no terminal to read keys from: no pauses, every file shown",
     "setsid -w \"$TOVIX\" r b",
     {},
     {nullptr, nullptr},
     {},
     "[ b ]\n\n00000000  41 42 43"},
    {"a dumb terminal pages without escapes",
     "TERM=dumb \"$TOVIX\" -kcdm r",
     {},
     {"-- more(28%) --", "00000110"},
     {{{"Enter"}, {"-- more(30%) --", "00000120"}}, {{"q"}, {nullptr, nullptr}}},
     nullptr,
     false},
};

TEST(TerminalPager, KeysAtThePrompt) {
  for (const PagerCase& c : kPagerCases) {
    SCOPED_TRACE(c.name);
    REQUIRE_TMUX();
    TmuxSession s;
    s.write_file("r", counting_bytes(1000));
    s.write_file("b", "ABC");
    s.write_file("keys", "q\nq\n n\n");
    ASSERT_TRUE(s.start(c.command)) << s.error();
    if (!c.typed_ahead.empty()) s.send_keys(c.typed_ahead);
    std::vector<PromptView> views{c.first};
    for (const PagerStep& step : c.steps) views.push_back(step.then);
    for (size_t i = 0; i < views.size(); ++i) {
      if (i > 0 && c.steps[i - 1].rows != 0) s.resize(100, c.steps[i - 1].rows);
      if (i > 0) s.send_keys(c.steps[i - 1].keys);
      if (views[i].prompt == nullptr) break;
      expect_prompt(s, views[i], c.colours);
      if (HasFatalFailure()) return;
    }
    ASSERT_EQ(s.wait_for_exit(), 0) << s.text();
    const std::string screen = s.text();
    EXPECT_EQ(screen.find("more("), std::string::npos) << screen;
    if (c.end_text != nullptr) {
      EXPECT_NE(screen.find(c.end_text), std::string::npos) << screen;
    }
    if (!c.colours) {
      EXPECT_EQ(s.capture().find("\x1b["), std::string::npos);
    }
    expect_terminal_restored(s);
  }
}

// A window made smaller while the output waits for live input: the first prompt comes
// when the smaller window is full, not at the page the run began with.
TEST(TerminalPager, PageFollowsAResizeBeforeThePrompt) {
  REQUIRE_TMUX();
  TmuxSession s;
  s.write_file("r", counting_bytes(1000));
  ASSERT_TRUE(s.start("(head -c 64 r; sleep 3; cat r) | \"$TOVIX\"")) << s.error();
  ASSERT_TRUE(s.wait_for_text("00000030  30 31")) << s.text();
  s.resize(100, 12);  // a page of 10 rows: banner, header and 4 lines take 9
  expect_prompt(s, {"-- more(0%) --", "00000040"}, true);
  s.send_keys({"q"});
  EXPECT_EQ(s.wait_for_exit(), 0);
}

// N at a prompt raised by a header passes that file over without opening it: a missing
// file then gets no open-failure message. Space there shows the message.
TEST(TerminalPager, NextFileAtAHeaderDoesNotOpenIt) {
  const struct {
    const char* key;
    size_t mentions;  // of the missing name: its header, and the message
    int exit_code;    // 1 once the missing name has been tried
  } cases[] = {{"N", 1, 0}, {"n", 1, 0}, {"Space", 2, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    REQUIRE_TMUX();
    TmuxSession s;
    s.write_file("a", counting_bytes(38 * 16));
    s.write_file("b", "ABC");
    ASSERT_TRUE(s.start("\"$TOVIX\" a missing b")) << s.error();
    expect_prompt(s, {"-- more(47%) --", "00000110"}, true);
    s.send_keys({"Space"});
    // 20 more lines and the header: the prompt shows how far the last file got.
    expect_prompt(s, {"-- more(100%) --", nullptr}, true);
    s.send_keys({c.key});
    ASSERT_EQ(s.wait_for_exit(), c.exit_code);
    const std::string screen = s.text();
    size_t mentions = 0;
    for (size_t at = screen.find("missing"); at != std::string::npos;
         at = screen.find("missing", at + 1))
      ++mentions;
    EXPECT_EQ(mentions, c.mentions) << screen;
    EXPECT_NE(screen.find("[ b ]\n\n00000000  41 42 43"), std::string::npos) << screen;
    expect_terminal_restored(s);
  }
}

// Runs "-k r" on 1000 bytes up to its first prompt, after the 18th line; returns the
// program's process id, or -1 when it did not start.
int start_at_first_prompt(TmuxSession& s) {
  s.write_file("r", counting_bytes(1000));
  if (!s.start("\"$TOVIX\" -k r")) {
    ADD_FAILURE() << s.error();
    return -1;
  }
  expect_prompt(s, {"-- more(28%) --", "00000110"}, true);
  return s.program_pid();
}

// A stop puts the terminal back for the shell; continuing takes the prompt up again.
TEST(TerminalRestore, StopAndContinueAtThePrompt) {
  REQUIRE_TMUX();
  TmuxSession s;
  const int pid = start_at_first_prompt(s);
  ASSERT_GT(pid, 0);
  kill(pid, SIGTSTP);
  EXPECT_TRUE(s.wait_for_line_mode());
  EXPECT_TRUE(s.wait_for_screen([&](const auto&) { return s.cursor_visible(); }));
  kill(pid, SIGCONT);
  EXPECT_TRUE(s.wait_for_key_read());
  EXPECT_TRUE(s.wait_for_screen([&](const auto&) { return !s.cursor_visible(); }));
  s.send_keys({"Enter"});
  expect_prompt(s, {"-- more(30%) --", "00000120"}, true);
  s.send_keys({"q"});
  ASSERT_EQ(s.wait_for_exit(), 0);
  expect_terminal_restored(s);
}

// Every signal whose default action ends the process, sent while the pager waits: the
// run ends with the signal's own status, the prompt is taken off, and the terminal is
// as it was before (cursor, colours, modes). The faults (SEGV, BUS, ILL, FPE, ABRT) die
// of their own signal too.
void expect_restored_after_signals(const std::vector<int>& signals) {
  for (const int sig : signals) {
    SCOPED_TRACE(strsignal(sig));
    REQUIRE_TMUX();
    TmuxSession s;
    const int pid = start_at_first_prompt(s);
    ASSERT_GT(pid, 0);
    kill(pid, sig);
    EXPECT_EQ(s.wait_for_exit(), 128 + sig);
    expect_terminal_restored(s);
    EXPECT_EQ(s.text().find("more("), std::string::npos) << s.text();
  }
}

TEST(TerminalRestore, SignalAtThePrompt) {
  expect_restored_after_signals({SIGHUP,    SIGINT,  SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM,
                                 SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ, SIGPWR,  SIGPOLL, SIGSTKFLT,
                                 SIGSYS,    SIGTRAP, SIGSEGV, SIGBUS,  SIGILL,  SIGFPE,  SIGABRT});
}

TEST(TerminalRestore, RealTimeSignalAtThePrompt) {
  // qemu-user keeps real-time signals of the host for itself and numbers the program's
  // own otherwise: the number sent here is not the one the program would receive.
  if (TOVIX_EMULATED) GTEST_SKIP() << "real-time signals are renumbered under the emulator";
  expect_restored_after_signals({SIGRTMIN, SIGRTMAX});
}

// How many prompts the screen shows, by their beginning "-- mo", whatever the width.
size_t prompt_pieces(const std::string& screen) {
  size_t pieces = 0;
  for (size_t at = screen.find("-- mo"); at != std::string::npos; at = screen.find("-- mo", at + 1))
    ++pieces;
  return pieces;
}

// A terminal narrower than the prompt: a smart one wraps it and has every row of it
// erased after the key, also when the wrap scrolled the screen; a dumb one, which cannot
// go back up a row, gets as much of the prompt as fits in one row.
TEST(TerminalPager, NarrowTerminalLeavesNoPieceOfThePrompt) {
  const struct {
    const char* term;
    int width, height;
    const char* first;  // the first prompt's text as far as it shows in one row
  } cases[] = {{"xterm", 10, 8, "-- more(1%"},
               {"dumb", 10, 8, "-- more(1"},
               {"xterm", 12, 4, "-- more(0%)"},
               {"dumb", 14, 4, "-- more(0%) -"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.term) + " " + std::to_string(c.width) + "x" +
                 std::to_string(c.height));
    REQUIRE_TMUX();
    TmuxSession s(c.width, c.height);
    s.write_file("r", counting_bytes(1000));
    ASSERT_TRUE(s.start("TERM=" + std::string(c.term) + " \"$TOVIX\" r")) << s.error();
    ASSERT_TRUE(s.wait_for_text(c.first)) << s.text();
    ASSERT_TRUE(s.wait_for_key_read());
    EXPECT_EQ(prompt_pieces(s.text()), 1u) << s.text();
    // Enter: one more line, and a prompt further on; the first one is gone entirely.
    const std::string before = s.text();
    s.send_keys({"Enter"});
    ASSERT_TRUE(s.wait_for_screen([&](const auto&) {
      const std::string now = s.text();
      return now != before && prompt_pieces(now) == 1;
    })) << s.text();
    EXPECT_EQ(s.text().find(c.first), std::string::npos) << s.text();
    s.send_keys({"q"});
    ASSERT_EQ(s.wait_for_exit(), 0);
    const std::string screen = s.text();
    EXPECT_EQ(screen.find("more"), std::string::npos) << screen;
    EXPECT_EQ(screen.find(") --"), std::string::npos) << screen;
    expect_terminal_restored(s);
  }
}

// A window of one or two rows has room for the prompt and at most one dump line: every
// Space shows the next line, and the percentage moves on by one line each time.
TEST(TerminalPager, ShortWindowShowsALineBetweenPrompts) {
  for (const int height : {2, 1}) {
    SCOPED_TRACE(height);
    REQUIRE_TMUX();
    TmuxSession s(100, height);
    s.write_file("r", counting_bytes(1000));
    ASSERT_TRUE(s.start("\"$TOVIX\" r")) << s.error();
    // The header's prompt, then one per line: 16, 32, 48 of 1000 bytes.
    const std::vector<std::pair<const char*, const char*>> views = {{"-- more(0%) --", nullptr},
                                                                    {"-- more(1%) --", "00000000"},
                                                                    {"-- more(3%) --", "00000010"},
                                                                    {"-- more(4%) --", "00000020"}};
    for (size_t i = 0; i < views.size(); ++i) {
      if (i > 0) s.send_keys({"Space"});
      ASSERT_TRUE(s.wait_for_text(views[i].first)) << s.text();
      ASSERT_TRUE(s.wait_for_key_read());
      const std::vector<ScreenRow> rows = s.screen();
      if (height == 2 && views[i].second != nullptr) {
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows[0].text.substr(0, 8), views[i].second) << s.text();
      }
    }
    s.send_keys({"q"});
    ASSERT_EQ(s.wait_for_exit(), 0);
    expect_terminal_restored(s);
  }
}

}  // namespace
