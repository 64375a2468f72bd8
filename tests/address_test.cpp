// Offsets from 4 GiB on: the address widens by as many digits as it needs, on every line
// path, instead of wrapping to 00000000. Runs in-process, so it runs on Windows too.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "console/output.h"
#include "dump/block_reader.h"
#include "dump/line_format.h"
#include "raw_engine.h"

namespace {

// The dump line of "ABCDEFGHIJKLMNOP" after its address.
const std::string kLineBody =
    "  41 42 43 44 45 46 47 48-49 4A 4B 4C 4D 4E 4F 50   ABCDEFGHIJKLMNOP\n";

TEST(Address, WidensFrom4GiBOnInsteadOfWrapping) {
  const tovix_test::RawEngine engine;
  struct Case {
    uint64_t address;
    const char* shown;
  } cases[] = {
      {0x00000000, "00000000"},           {0xFFFFFFF0, "FFFFFFF0"},
      {0x100000000, "100000000"},         {0x100000010, "100000010"},
      {0xABCDEF0123450, "ABCDEF0123450"}, {0xFFFFFFFFFFFFFFF0, "FFFFFFFFFFFFFFF0"},
  };
  for (const dump::LinePath path : {dump::LinePath::kRows, dump::LinePath::kPerByte}) {
    dump::use_line_path(path);
    for (const Case& c : cases) {
      std::memcpy(dump::g_line.bytes, "ABCDEFGHIJKLMNOP", 16);
      dump::g_line.last_index = 15;
      dump::g_look_ahead = -1;
      dump::g_position.address = c.address;
      dump::g_position.leading_blanks = 0;
      console::g_output.used = 0;
      EXPECT_EQ(dump::write_dump_line(), 0);
      const std::string out(console::g_output.data, console::g_output.used);
      console::g_output.used = 0;
      EXPECT_EQ(out, c.shown + kLineBody) << (path == dump::LinePath::kRows ? "rows" : "per byte");
      EXPECT_EQ(dump::g_position.address, c.address + 16);
    }
  }
  dump::use_line_path(dump::LinePath::kRows);
}

}  // namespace
