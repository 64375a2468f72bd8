#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"
#include "console/dump_options.h"
#include "platform/file.h"

namespace {

TEST(ParseNumber, ReadsDecimalAndHexLikeScanf) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {
      {"1000", 1000},
      {"3E8H", 1000},
      {"3e8h", 1000},
      {"1AH", 26},
      {"1A", 1},      // decimal reading stops at 'A'
      {"0x10", 0},    // decimal reading stops at 'x'
      {"0x10H", 16},  // the hexadecimal reading takes the prefix
      {"0X10h", 16},
      {"10k", 10},
      {"  42", 42},  // leading white space is skipped
      {"+7", 7},
      {"-1", -1},
      {"-10H", -16},
      {"0", 0},
      {"7FFFFFFFH", 2147483647},
      {"80000000H", INT32_MIN},
      {"2147483648", INT32_MIN},
      {"4294967295", -1},
      {"4294967296", -1},  // more than 32 bits: refused, never wrapped to a small skip
      {"4294967312", -1},
      {"100000000H", -1},
      {"1FFFFFFFFH", -1},
      {"-4294967296", -1},
      {"99999999999999999999999", -1},
      {"FFFFFFFFH", -1},
      {"", -1},  // nothing to read
      {"H", -1},
      {"abc", -1},
      {"-", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(app::parse_number(c.text), c.value) << "text '" << c.text << "'";
  }
}

struct OptionCase {
  std::vector<std::string> args;
  bool usage;
  int file_count;
  console::DumpOptions expected;
};

console::DumpOptions with(void (*change)(console::DumpOptions&)) {
  console::DumpOptions o;
  change(o);
  return o;
}

TEST(ReadOptions, FollowsTheGroupingRules) {
  const console::DumpOptions defaults;
  const OptionCase cases[] = {
      {{}, true, 0, defaults},
      {{"-k"}, true, 0, with([](auto& o) { o.highlight_lead = true; })},
      {{"-s"}, true, 0, defaults},
      {{"-s", "f"}, true, 0, defaults},  // f is the number text; no file is left
      {{"-s", "-1", "f"}, true, 0, defaults},
      {{"-s", "80000000H", "f"}, true, 0, defaults},
      {{"-s", "abc", "f"}, true, 0, defaults},
      {{"-s", "10H", "f"}, false, 1, with([](auto& o) { o.skip = 16; })},
      {{"-s", "0x10", "f"}, false, 1, defaults},
      {{"-sk", "5", "f"}, false, 1, with([](auto& o) { o.skip = 5; })},
      {{"-ks", "5", "f"}, false, 1, with([](auto& o) {
         o.skip = 5;
         o.highlight_lead = true;
       })},
      {{"-kcd", "f"}, false, 1, with([](auto& o) {
         o.highlight_lead = o.highlight_control = o.highlight_newline = true;
       })},
      {{"-k", "-c", "-d", "f"}, false, 1, with([](auto& o) {
         o.highlight_lead = o.highlight_control = o.highlight_newline = true;
       })},
      {{"/k", "f"}, false, 1, with([](auto& o) { o.highlight_lead = true; })},
      {{"/ps", "3", "f"}, false, 1, with([](auto& o) {
         o.pause = false;
         o.skip = 3;
       })},
      {{"-J", "-j", "f"}, false, 1, with([](auto& o) { o.japanese_display = false; })},
      {{"-jJ", "f"}, false, 1, defaults},
      {{"-pP", "-hH", "f"}, false, 1, defaults},
      {{"-ph", "-m", "f"}, false, 1, with([](auto& o) {
         o.pause = false;
         o.hyphen = false;
         o.highlight_jpeg_marker = true;
       })},
      {{"--", "f"}, true, 0, defaults},
      {{"-x", "f"}, true, 0, defaults},
      {{"-k1", "f"}, true, 0, with([](auto& o) { o.highlight_lead = true; })},
      {{"f", "-k"}, false, 2, defaults},  // options end at the first file name
      {{"-", "f"}, false, 1, defaults},   // a lone '-' is an empty group
      {{"/", "f"}, false, 1, defaults},
      {{"-p", "a", "b", "c"}, false, 3, with([](auto& o) { o.pause = false; })},
  };
  for (const OptionCase& c : cases) {
    console::g_options = console::DumpOptions{};
    std::vector<char*> argv;
    std::vector<std::string> args = c.args;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string shown;
    for (const std::string& a : c.args) shown += "'" + a + "' ";
    const app::ParsedOptions parsed =
        app::read_options(static_cast<int>(c.args.size()), argv.data());
    EXPECT_EQ(parsed.usage, c.usage) << shown;
    if (c.usage) continue;
    EXPECT_EQ(parsed.file_count, c.file_count) << shown;
    const console::DumpOptions& o = console::g_options;
    EXPECT_EQ(o.japanese_display, c.expected.japanese_display) << shown;
    EXPECT_EQ(o.pause, c.expected.pause) << shown;
    EXPECT_EQ(o.hyphen, c.expected.hyphen) << shown;
    EXPECT_EQ(o.highlight_lead, c.expected.highlight_lead) << shown;
    EXPECT_EQ(o.highlight_control, c.expected.highlight_control) << shown;
    EXPECT_EQ(o.highlight_newline, c.expected.highlight_newline) << shown;
    EXPECT_EQ(o.highlight_jpeg_marker, c.expected.highlight_jpeg_marker) << shown;
    EXPECT_EQ(o.skip, c.expected.skip) << shown;
  }
  console::g_options = console::DumpOptions{};
}

// Where '/' is the root of absolute paths, an argument that cannot be a group of option
// letters is a file name; elsewhere '/' always begins a group, as '-' does.
TEST(ReadOptions, SlashBeginsAGroupOnlyWhereItCannotBeAPath) {
  const bool paths = platform::slash_is_path_root();
  struct Case {
    std::vector<std::string> args;
    bool usage_where_slash_is_an_option;
    int files_where_slash_is_a_root;
  } cases[] = {
      {{"/etc/passwd"}, true, 1},
      {{"/srv", "f"}, true, 2},
      {{"-p", "/tmp/a.bin"}, true, 1},
      {{"/pk", "f"}, false, 1},  // letters only: a group either way
  };
  for (const Case& c : cases) {
    console::g_options = console::DumpOptions{};
    std::vector<std::string> args = c.args;
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    const app::ParsedOptions parsed = app::read_options(static_cast<int>(args.size()), argv.data());
    if (paths) {
      EXPECT_FALSE(parsed.usage) << c.args[0];
      EXPECT_EQ(parsed.file_count, c.files_where_slash_is_a_root) << c.args[0];
    } else {
      EXPECT_EQ(parsed.usage, c.usage_where_slash_is_an_option) << c.args[0];
    }
  }
  console::g_options = console::DumpOptions{};
}

}  // namespace
