#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"
#include "console/dump_options.h"
#include "platform/file.h"

namespace {

// Reads args as the options of a fresh run.
app::ParsedOptions read_args(std::vector<std::string> args) {
  console::g_options = console::DumpOptions{};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return app::read_options(static_cast<int>(args.size()), argv.data());
}

// Decimal, hexadecimal with an 'H' after it or "0x" before it, 0 to 2^63-1; any other
// text is refused (-1), never read up to its first stray character.
TEST(ParseNumber, ReadsTheThreeFormsAndRefusesEverythingElse) {
  struct Case {
    const char* text;
    int64_t value;
  } cases[] = {
      {"1000", 1000},
      {"3E8H", 1000},
      {"3e8h", 1000},
      {"1AH", 26},
      {"0x10", 16},
      {"0x3e8", 1000},
      {"0x10H", 16},  // both marks: still hexadecimal
      {"0", 0},
      {"7FFFFFFFH", 2147483647},
      {"80000000H", 2147483648},  // past 2 GiB
      {"2147483648", 2147483648},
      {"4294967296", 4294967296},  // past 32 bits: the value itself, never wrapped
      {"9223372036854775807", INT64_MAX},
      {"7FFFFFFFFFFFFFFFH", INT64_MAX},
      {"9223372036854775808", -1},  // past 2^63-1
      {"8000000000000000H", -1},
      {"18446744073709551632", -1},  // 2^64 + 16: would wrap to 16
      {"99999999999999999999999", -1},
      {"1A", -1},  // a stray character after the digits
      {"1e3", -1},
      {"10k", -1},
      {"1,000", -1},
      {"0x", -1},
      {"0x-1", -1},
      {"  42", -1},  // blanks and signs are no part of a number
      {"+7", -1},
      {"-1", -1},
      {"-4294967295", -1},  // negated in 32 bits, this was a skip of 1
      {"", -1},
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
  app::UsageError error = app::UsageError::kNone;
};

console::DumpOptions with(void (*change)(console::DumpOptions&)) {
  console::DumpOptions o;
  change(o);
  return o;
}

TEST(ReadOptions, FollowsTheGroupingRules) {
  const console::DumpOptions defaults;
  const OptionCase cases[] = {
      {{}, true, 0, defaults, app::UsageError::kNoFile},
      {{"-k"}, true, 0, with([](auto& o) { o.highlight_lead = true; }), app::UsageError::kNoFile},
      {{"-s"}, true, 0, defaults, app::UsageError::kMissingNumber},
      {{"-n"}, true, 0, defaults, app::UsageError::kMissingNumber},
      // f is the number text; no file is left
      {{"-s", "f"}, true, 0, defaults, app::UsageError::kBadNumber},
      {{"-s", "-1", "f"}, true, 0, defaults, app::UsageError::kBadNumber},
      {{"-n", "-1", "f"}, true, 0, defaults, app::UsageError::kBadNumber},
      {{"-s", "80000000H", "f"}, false, 1, with([](auto& o) { o.skip = 0x80000000; })},
      {{"-s", "abc", "f"}, true, 0, defaults, app::UsageError::kBadNumber},
      {{"-s", "10H", "f"}, false, 1, with([](auto& o) { o.skip = 16; })},
      {{"-s", "0x10", "f"}, false, 1, with([](auto& o) { o.skip = 16; })},
      {{"-n", "0", "f"}, false, 1, with([](auto& o) { o.length = 0; })},
      {{"-s", "1", "-n", "0x20", "f"}, false, 1, with([](auto& o) {
         o.skip = 1;
         o.length = 32;
       })},
      {{"-pns", "5", "f"}, false, 1, with([](auto& o) {  // the group ends at the n
         o.pause = false;
         o.length = 5;
       })},
      {{"-a", "f"}, false, 1, with([](auto& o) { o.squeeze = true; })},
      {{"-ak", "f"}, false, 1, with([](auto& o) { o.squeeze = o.highlight_lead = true; })},
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
      {{"--", "f"}, true, 0, defaults, app::UsageError::kUnknownOption},
      {{"-x", "f"}, true, 0, defaults, app::UsageError::kUnknownOption},
      {{"-k1", "f"},
       true,
       0,
       with([](auto& o) { o.highlight_lead = true; }),
       app::UsageError::kUnknownOption},
      {{"f", "-k"}, false, 2, defaults},  // options end at the first file name
      {{"-", "f"}, false, 1, defaults},   // a lone '-' is an empty group
      {{"/", "f"}, false, 1, defaults},
      {{"-p", "a", "b", "c"}, false, 3, with([](auto& o) { o.pause = false; })},
  };
  for (const OptionCase& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += "'" + a + "' ";
    const app::ParsedOptions parsed = read_args(c.args);
    EXPECT_EQ(parsed.usage, c.usage) << shown;
    EXPECT_EQ(parsed.error, c.error) << shown;
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
    EXPECT_EQ(o.length, c.expected.length) << shown;
    EXPECT_EQ(o.squeeze, c.expected.squeeze) << shown;
  }
  console::g_options = console::DumpOptions{};
}

// --help and --version are answered where options are read; after the first file name
// they are names like any other.
TEST(ReadOptions, LongRequests) {
  struct Case {
    std::vector<std::string> args;
    app::Request request;
    bool usage;
  } cases[] = {
      {{"--help"}, app::Request::kHelp, false},
      {{"--version"}, app::Request::kVersion, false},
      {{"-k", "--help", "f"}, app::Request::kHelp, false},
      {{"f", "--help"}, app::Request::kDump, false},
      {{"--helpx", "f"}, app::Request::kDump, true},
  };
  for (const Case& c : cases) {
    const app::ParsedOptions parsed = read_args(c.args);
    EXPECT_EQ(parsed.request, c.request) << c.args[0];
    EXPECT_EQ(parsed.usage, c.usage) << c.args[0];
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
    const app::ParsedOptions parsed = read_args(c.args);
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
