// Splitting a Windows command line into arguments: the runtime's rules for blanks,
// quotes and backslashes, and Shift_JIS characters kept whole.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/arguments.h"
#include "dump/byte_class.h"

namespace {

using Args = std::vector<std::string>;

struct SplitCase {
  const char* line;
  Args expected;
};

// The split pairs lead bytes; each test sees code page 932 and puts the table back.
class SplitCommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(saved_, dump::g_multibyte_class, sizeof saved_);
    dump::build_byte_classes(932);
  }
  void TearDown() override { std::memcpy(dump::g_multibyte_class, saved_, sizeof saved_); }

  static void expect_splits(const std::vector<SplitCase>& cases) {
    for (const SplitCase& c : cases) {
      EXPECT_EQ(app::split_command_line(c.line), c.expected) << "line: " << c.line;
    }
  }

 private:
  uint8_t saved_[256];
};

TEST_F(SplitCommandLine, BlanksTabsAndQuotes) {
  expect_splits({
      {"tovix", {"tovix"}},
      {"", {""}},
      {"tovix -k a.bin", {"tovix", "-k", "a.bin"}},
      {"tovix   -k\t\ta.bin  ", {"tovix", "-k", "a.bin"}},
      {"tovix \"a b.bin\" c", {"tovix", "a b.bin", "c"}},
      {"tovix a\"b c\"d", {"tovix", "ab cd"}},  // quotes inside an argument group too
      {"tovix \"\"", {"tovix", ""}},            // an empty quoted argument is kept
      {"tovix \"a\"\"b\"", {"tovix", "a\"b"}},  // "" inside quotes is one quote
      {"tovix \"a\"\"\"", {"tovix", "a\""}},
      {"tovix \"unterminated x", {"tovix", "unterminated x"}},
  });
}

TEST_F(SplitCommandLine, BackslashesCountOnlyBeforeAQuote) {
  expect_splits({
      {"tovix sub\\a.bin", {"tovix", "sub\\a.bin"}},
      {"tovix \\\\server\\share\\", {"tovix", "\\\\server\\share\\"}},
      {"tovix a\\\"b", {"tovix", "a\"b"}},          // odd: a literal quote
      {"tovix a\\\\\"b c\"", {"tovix", "a\\b c"}},  // even: half, and the quote groups
      {"tovix a\\\\\\\"b", {"tovix", "a\\\"b"}},    // three: one, and a literal quote
      {"tovix \"C:\\dir\\\\\" x", {"tovix", "C:\\dir\\", "x"}},
  });
}

TEST_F(SplitCommandLine, ProgramNameTakesQuotesOnlyAsGrouping) {
  expect_splits({
      {"\"C:\\Program Files\\tovix.exe\" -k", {"C:\\Program Files\\tovix.exe", "-k"}},
      {"C:\\bin\\tovix.exe\t/p", {"C:\\bin\\tovix.exe", "/p"}},
      {"\"a\\\"b c", {"a\\b", "c"}},  // a backslash in the name never escapes
  });
}

// 表 is 0x95 0x5C and ソ is 0x83 0x5C: their second byte is a backslash.
TEST_F(SplitCommandLine, DoubleByteCharactersStayWhole) {
  expect_splits({
      {"tovix \x95\x5C*", {"tovix", "\x95\x5C*"}},
      // Read byte by byte, 0x5C before the quote would escape it and swallow " x".
      {"tovix \"\x95\x5C\" x", {"tovix", "\x95\x5C", "x"}},
      {"tovix \"a \x83\x5C\"", {"tovix", "a \x83\x5C"}},
      {"tovix \x83\x5C\\\"", {"tovix", "\x83\x5C\""}},  // a real backslash still escapes
      {"\"\x95\x5C\\t.exe\" a", {"\x95\x5C\\t.exe", "a"}},
      {"tovix \x95", {"tovix", "\x95"}},                     // a lead byte at the end stands alone
      {"tovix \xB1\x5C\"a b\"", {"tovix", "\xB1\"a", "b"}},  // kana is one byte
  });
}

TEST_F(SplitCommandLine, SingleByteCodePageReadsBytes) {
  dump::build_byte_classes(1252);
  expect_splits({
      {"tovix \"\x95\x5C\" x", {"tovix", "\x95\" x"}},
  });
}

}  // namespace
