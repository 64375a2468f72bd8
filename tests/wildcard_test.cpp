// The split of a file argument into drive, directory, name and extension, with and
// without pairing of Shift_JIS lead bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/wildcard.h"
#include "dump/byte_class.h"

namespace {

struct SplitCase {
  const char* argument;
  const char* drive;
  const char* directory;
  const char* name;
  const char* extension;
};

void expect_splits(const SplitCase* cases, size_t count, bool lead_byte_aware) {
  for (size_t i = 0; i < count; ++i) {
    const SplitCase& c = cases[i];
    const app::PathParts parts = app::split_path(c.argument, lead_byte_aware);
    const std::string where = std::string("argument '") + c.argument + "'";
    EXPECT_EQ(parts.drive, c.drive) << where;
    EXPECT_EQ(parts.directory, c.directory) << where;
    EXPECT_EQ(parts.name, c.name) << where;
    EXPECT_EQ(parts.extension, c.extension) << where;
  }
}

// The split reads the byte classes; each test sees code page 932 and puts the table back.
class SplitPath : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(saved_, dump::g_multibyte_class, sizeof saved_);
    dump::build_byte_classes(932);
  }
  void TearDown() override { std::memcpy(dump::g_multibyte_class, saved_, sizeof saved_); }

 private:
  uint8_t saved_[256];
};

TEST_F(SplitPath, PairsLeadBytesWhenNamesAreShiftJis) {
  const SplitCase cases[] = {
      {"a.bin", "", "", "a", ".bin"},
      {"*.bin", "", "", "*", ".bin"},
      {"sub\\*.bin", "", "sub\\", "*", ".bin"},
      {"sub/*.bin", "", "sub/", "*", ".bin"},
      {"a/b\\c/d", "", "a/b\\c/", "d", ""},
      {"C:*.bin", "C:", "", "*", ".bin"},
      {"C:\\dir\\x", "C:", "\\dir\\", "x", ""},
      {"x:", "x:", "", "", ""},
      {":a", "", "", ":a", ""},
      {"su*\\a.bin", "", "su*\\", "a", ".bin"},
      {"a.b/c", "", "a.b/", "c", ""},  // a point in the directory is no extension
      {"a.tar.gz", "", "", "a.tar", ".gz"},
      {".profile", "", "", "", ".profile"},
      {"sub/", "", "sub/", "", ""},
      {"", "", "", "", ""},
      // 表 is 95 5C: its second byte is no separator.
      {"\x95\x5C*", "", "", "\x95\x5C*", ""},
      {"*\x95\x5C.bin", "", "", "*\x95\x5C", ".bin"},
      {"d\\\x95\x5C\\\x95\x5C?.txt", "", "d\\\x95\x5C\\", "\x95\x5C?", ".txt"},
      // A lead byte swallows a following point; one at the very end stands alone.
      {"\x82.bin", "", "", "\x82.bin", ""},
      {"a\\\x95", "", "a\\", "\x95", ""},
      // Half-width kana are no lead bytes.
      {"\xB1\\x.y", "", "\xB1\\", "x", ".y"},
  };
  expect_splits(cases, std::size(cases), true);
}

TEST_F(SplitPath, SplitsBytewiseWhenNamesAreNotInTheCodePage) {
  const SplitCase cases[] = {
      {"sub/*.bin", "", "sub/", "*", ".bin"},
      // UTF-8 あ is E3 81 82: 82 would be a Shift_JIS lead byte and swallow the '/'.
      {"\xE3\x81\x82/*.bin", "", "\xE3\x81\x82/", "*", ".bin"},
      {"*\xE3\x81\x82/d", "", "*\xE3\x81\x82/", "d", ""},
      {"\xE3\x81\x82.bin", "", "", "\xE3\x81\x82", ".bin"},
      // EUC-JP 表 is C9 BD.
      {"\xC9\xBD/a\xC9\xBD.b", "", "\xC9\xBD/", "a\xC9\xBD", ".b"},
      // Taken bytewise, 95 5C splits.
      {"\x95\x5C*", "", "\x95\\", "*", ""},
      {"C:x", "C:", "", "x", ""},
  };
  expect_splits(cases, std::size(cases), false);
}

TEST(HasWildcard, FindsStarAndQuestionMark) {
  const struct {
    const char* text;
    bool wild;
  } cases[] = {
      {"*", true}, {"a?c", true}, {"abc*", true}, {"", false}, {"a.bin", false}, {"[a]", false},
  };
  for (const auto& c : cases) EXPECT_EQ(app::has_wildcard(c.text), c.wild) << c.text;
}

}  // namespace
