// The console layer and the key input on a real console. Each test works on a screen
// buffer of its own, made the standard output for its length, and feeds keys through
// the console's input buffer. Without a console (wine under ctest has none) they are
// skipped, and the CI runs them again inside a terminal (tests/windows/e2e.sh).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console.h"
#include "console/console_event_test_helper.h"
#include "console/key_table.h"
#include "console/keys.h"
#include "console/output.h"

namespace {

bool have_console() {
  return GetConsoleWindow() != nullptr || GetConsoleCP() != 0;
}

class ConsoleLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!have_console()) GTEST_SKIP() << "no console";
    buffer_ =
        CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    if (buffer_ == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no console screen buffer";
    saved_ = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, buffer_);
  }
  void TearDown() override {
    if (buffer_ == INVALID_HANDLE_VALUE) return;
    SetStdHandle(STD_OUTPUT_HANDLE, saved_);
    CloseHandle(buffer_);
  }

  // Opens the layer on the buffer with attribute and the cursor at column 0, row 0.
  void open_with(WORD attribute) {
    SetConsoleTextAttribute(buffer_, attribute);
    SetConsoleCursorPosition(buffer_, {0, 0});
    console::console_open();
  }

  CONSOLE_SCREEN_BUFFER_INFO info() const {
    CONSOLE_SCREEN_BUFFER_INFO i{};
    GetConsoleScreenBufferInfo(buffer_, &i);
    return i;
  }
  CONSOLE_CURSOR_INFO cursor() const {
    CONSOLE_CURSOR_INFO c{};
    GetConsoleCursorInfo(buffer_, &c);
    return c;
  }
  std::vector<WORD> attributes(SHORT row, SHORT from, DWORD n) const {
    std::vector<WORD> a(n);
    DWORD got = 0;
    ReadConsoleOutputAttribute(buffer_, a.data(), n, {from, row}, &got);
    a.resize(got);
    return a;
  }
  std::string characters(SHORT row, SHORT from, DWORD n) const {
    std::string s(n, '\0');
    DWORD got = 0;
    ReadConsoleOutputCharacterA(buffer_, s.data(), n, {from, row}, &got);
    s.resize(got);
    return s;
  }

  HANDLE buffer_ = INVALID_HANDLE_VALUE;
  HANDLE saved_ = nullptr;
};

TEST_F(ConsoleLayer, ForegroundKeepsTheBackground) {
  open_with(0x17);  // light grey on blue
  EXPECT_EQ(console::set_foreground(12), 7);
  EXPECT_EQ(info().wAttributes, 0x1C);
  EXPECT_EQ(console::background_bits(), 0x10);
  EXPECT_EQ(console::set_foreground(7), 12);
  EXPECT_EQ(info().wAttributes, 0x17);
  console::console_close();
}

TEST_F(ConsoleLayer, CloseRestoresTheWholeSavedAttributeAndCursor) {
  CONSOLE_CURSOR_INFO small = {25, TRUE};
  SetConsoleCursorInfo(buffer_, &small);
  open_with(0x4017);  // a high bit (COMMON_LVB_REVERSE_VIDEO) that composing drops
  EXPECT_EQ(cursor().dwSize, 100u);
  console::set_foreground(11);
  EXPECT_EQ(info().wAttributes, 0x1B);
  console::set_cursor_visible(false);
  EXPECT_FALSE(cursor().bVisible);
  EXPECT_EQ(cursor().dwSize, 100u);  // hiding keeps the size
  console::console_close();
  EXPECT_EQ(info().wAttributes, 0x4017);
  EXPECT_EQ(cursor().dwSize, 25u);
  EXPECT_TRUE(cursor().bVisible);
}

// The colour must apply exactly from the first byte written after it: the text before
// the call is still in the output buffer and has to reach the console first.
TEST_F(ConsoleLayer, ColoursApplyExactlyBetweenWrites) {
  open_with(0x07);
  console::out_ascii("ab");
  const console::ConsoleColor previous = console::set_foreground(14);
  console::out_ascii("cd");
  console::set_foreground(previous);
  console::out_ascii("e\nf");
  console::out_flush();
  EXPECT_EQ(characters(0, 0, 5), "abcde");
  EXPECT_EQ(attributes(0, 0, 5), (std::vector<WORD>{0x07, 0x07, 0x0E, 0x0E, 0x07}));
  EXPECT_EQ(characters(1, 0, 1), "f");  // the line feed went out as CR LF
  console::console_close();
}

TEST_F(ConsoleLayer, HideRowPaintsTheWholeBufferRowInTheBackground) {
  const struct {
    WORD attribute;
    WORD hidden;
  } cases[] = {{0x07, 0x00}, {0x1F, 0x11}, {0x74, 0x77}};
  for (const auto& c : cases) {
    open_with(c.attribute);
    console::out_ascii("-- more(50%) --");
    console::out_flush();
    const COORD before = info().dwCursorPosition;
    console::hide_row();
    const CONSOLE_SCREEN_BUFFER_INFO after = info();
    EXPECT_EQ(after.dwCursorPosition.X, before.X);
    EXPECT_EQ(after.wAttributes, c.attribute);  // the text attribute is unchanged
    const std::vector<WORD> row = attributes(0, 0, static_cast<DWORD>(after.dwSize.X));
    EXPECT_EQ(row, std::vector<WORD>(static_cast<size_t>(after.dwSize.X), c.hidden));
    EXPECT_EQ(characters(0, 0, 15), "-- more(50%) --");  // the characters stay
    console::console_close();
  }
}

TEST_F(ConsoleLayer, SaveAndRestoreTheCursor) {
  open_with(0x07);
  console::out_ascii("abc");
  console::save_cursor();
  console::out_ascii("\nxy");
  console::save_cursor();  // replaces the first
  console::out_ascii("\n\n");
  console::restore_cursor();
  EXPECT_EQ(info().dwCursorPosition.X, 2);
  EXPECT_EQ(info().dwCursorPosition.Y, 1);
  console::console_close();
}

// Ctrl+Break or the console closing at the prompt: the prompt goes as an answered one
// does, and the console gets its attribute and cursor back; between prompts (a dump
// running) the screen is left as it is.
TEST_F(ConsoleLayer, ConsoleEventErasesThePromptAndPutsTheConsoleBack) {
  const struct {
    bool at_prompt;
    SHORT cursor_x;
    WORD row_attribute;
  } cases[] = {{true, 4, 0x11}, {false, 14, 0x17}};
  for (const auto& c : cases) {
    CONSOLE_CURSOR_INFO small = {25, TRUE};
    SetConsoleCursorInfo(buffer_, &small);
    open_with(0x17);
    console::set_cursor_visible(false);
    console::out_ascii("line");
    if (c.at_prompt) {
      console::show_prompt("-- more(7%) --", 14);
    } else {
      console::out_ascii("0123456789");
      console::out_flush();
    }
    console::console_event_for_test();
    EXPECT_EQ(info().dwCursorPosition.X, c.cursor_x);
    EXPECT_EQ(info().wAttributes, 0x17);
    EXPECT_EQ(attributes(0, 4, 1), std::vector<WORD>{c.row_attribute});
    EXPECT_TRUE(cursor().bVisible);
    EXPECT_EQ(cursor().dwSize, 25u);
    console::console_close();
  }
}

// Writes key events into the console's input buffer.
class ConsoleKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!have_console()) GTEST_SKIP() << "no console";
    input_ = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
    if (input_ == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no console input";
    FlushConsoleInputBuffer(input_);
  }
  void TearDown() override {
    if (input_ != INVALID_HANDLE_VALUE) CloseHandle(input_);
  }

  struct Key {
    char character;
    WORD scan_code;
    DWORD state;  // modifiers and ENHANCED_KEY
    bool down = true;
  };
  void type(const std::vector<Key>& keys) {
    std::vector<INPUT_RECORD> records;
    for (const Key& k : keys) {
      INPUT_RECORD r{};
      r.EventType = KEY_EVENT;
      r.Event.KeyEvent.bKeyDown = k.down;
      r.Event.KeyEvent.wRepeatCount = 1;
      r.Event.KeyEvent.wVirtualScanCode = k.scan_code;
      r.Event.KeyEvent.uChar.AsciiChar = k.character;
      r.Event.KeyEvent.dwControlKeyState = k.state;
      records.push_back(r);
    }
    DWORD put = 0;
    ASSERT_TRUE(
        WriteConsoleInputA(input_, records.data(), static_cast<DWORD>(records.size()), &put));
  }

  HANDLE input_ = INVALID_HANDLE_VALUE;
};

TEST_F(ConsoleKeys, CharactersComeAsTheirCodes) {
  SetConsoleMode(input_, 0);  // else the console takes the Ctrl+C below as it arrives
  type({{'q', 16, 0},
        {'q', 16, 0, false},  // a release is passed over
        {'\r', 28, 0},
        {3, 46, LEFT_CTRL_PRESSED},  // Ctrl+C is a key while a read runs
        {' ', 57, 0}});
  EXPECT_EQ(console::read_key(), 'q');
  EXPECT_EQ(console::read_key(), 13);
  EXPECT_EQ(console::read_key(), 3);
  EXPECT_EQ(console::read_key(), ' ');
}

TEST_F(ConsoleKeys, PairsComeAsTwoCodes) {
  type({{0, 72, ENHANCED_KEY},        // arrow up
        {0, 81, 0},                   // keypad 3, Num Lock off
        {0, 42, SHIFT_PRESSED},       // Shift alone: passed over
        {0, 65, LEFT_ALT_PRESSED}});  // Alt+F7
  const int expected[] = {0xE0, 72, 0, 81, 0, 110};
  for (int code : expected) EXPECT_EQ(console::read_console_code(), code);
}

// The pager takes read_key's codes as commands: the second code of a pair (Page Down is
// 0xE0, 'Q') must never reach it.
TEST_F(ConsoleKeys, ReadKeyPassesPairsOverWhole) {
  type({{0, 81, ENHANCED_KEY},       // Page Down: 0xE0, 81 ('Q')
        {0, 65, LEFT_ALT_PRESSED},   // Alt+F7: 0, 110 ('n')
        {0, 29, LEFT_CTRL_PRESSED},  // Ctrl alone
        {'n', 49, 0}});
  EXPECT_EQ(console::read_key(), 'n');
}

TEST_F(ConsoleKeys, EachReadRunsInModeZeroAndPutsTheModeBack) {
  const DWORD mode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;
  SetConsoleMode(input_, mode);
  type({{'x', 45, 0}});
  EXPECT_EQ(console::read_key(), 'x');
  DWORD now = 0;
  GetConsoleMode(input_, &now);
  EXPECT_EQ(now, mode);
}

TEST(ConsoleKeysWithoutConsole, ReadKeyGivesMinusOne) {
  if (have_console()) GTEST_SKIP() << "a console is attached";
  EXPECT_EQ(console::read_key(), -1);
  EXPECT_EQ(console::read_key(), -1);
}

}  // namespace
