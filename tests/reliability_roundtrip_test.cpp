// The round-trip oracle: random files of many sizes, dumped with many skips and option
// sets; the hex column read back must give exactly the file's bytes from the skip on,
// and (where the character column is shown unconverted) every line must agree with
// the reference model of the line format.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "line_model.h"
#include "reliability_child.h"
#include "run_tovix.h"

namespace {

using tovix_test::banner;
using tovix_test::header;
using tovix_test::Launch;
using tovix_test::ScratchDir;

struct Rng {
  uint32_t x;
  uint32_t next() {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
  }
};

// Random bytes, half of them drawn from those that the character column treats
// specially, so that pairs, broken pairs and pairs cut by line ends are frequent.
std::string random_file(Rng& rng, size_t n) {
  static const uint8_t kSpecial[] = {0x81, 0x82, 0x9F, 0xE0, 0xFC, 0x40, 0x7E, 0x80, 0xA0,
                                     0xA1, 0xDF, 0x0D, 0x0A, 0xFF, 0xFD, 0x00, 0x20, 0x5C};
  std::string s(n, '\0');
  for (char& c : s) {
    const uint32_t r = rng.next();
    c = static_cast<char>((r & 1) != 0 ? kSpecial[(r >> 8) % sizeof kSpecial] : r >> 16);
  }
  return s;
}

struct DumpRun {
  uint64_t skip;
  bool japanese, hyphen;
  const char* locale;  // ja_JP.SJIS shows the file's bytes as they are; C.UTF-8 converts
};

TEST(ReliabilityRoundTrip, HexColumnGivesBackTheFile) {
  ScratchDir dir;
  Rng rng{0x9E3779B9u};
  std::vector<size_t> sizes = {0,    1,    15,   16,    17,    31,    33,
                               4095, 4096, 4097, 65535, 65536, 65537, 131079};
  for (int i = 0; i < 3; ++i) sizes.push_back(100 + rng.next() % 30000);
  std::vector<std::string> names, files;
  for (size_t size : sizes) {
    files.push_back(random_file(rng, size));
    names.push_back(dir.write("f" + std::to_string(names.size()), files.back()));
  }
  std::vector<DumpRun> runs;
  const uint64_t skips[] = {0, 1, 15, 16, 17, 4095, 4097, 65539, 65536 + 16, 131078};
  int k = 0;
  for (uint64_t skip : skips) {
    runs.push_back({skip, k % 2 == 0, k % 4 < 2, "ja_JP.SJIS"});
    ++k;
  }
  for (int i = 0; i < 4; ++i) runs.push_back({rng.next() % 70000, i % 2 == 0, i < 2, "ja_JP.SJIS"});
  for (uint64_t skip : {0ull, 37ull}) runs.push_back({skip, true, true, "C.UTF-8"});

  for (const DumpRun& run : runs) {
    Launch launch;
    launch.locale = run.locale;
    launch.args = {"-p", run.japanese ? "-J" : "-j", run.hyphen ? "-H" : "-h", "-s",
                   std::to_string(run.skip)};
    launch.args.insert(launch.args.end(), names.begin(), names.end());
    std::string out;
    const auto end = tovix_test::run_child(launch, &out);
    SCOPED_TRACE(std::string(run.locale) + " -s " + std::to_string(run.skip) +
                 (run.japanese ? " -J" : " -j") + (run.hyphen ? " -H" : " -h"));
    EXPECT_EQ(end.exit_code, 0);
    size_t pos = out.find(header(names[0]));
    // The banner is Shift_JIS-free ASCII in every locale.
    EXPECT_EQ(out.substr(0, pos), banner());
    for (size_t f = 0; f < names.size(); ++f) {
      SCOPED_TRACE(std::to_string(files[f].size()) + " bytes");
      ASSERT_EQ(out.compare(pos, header(names[f]).size(), header(names[f])), 0);
      pos += header(names[f]).size();
      const size_t next = f + 1 < names.size() ? out.find(header(names[f + 1]), pos) : out.size();
      ASSERT_NE(next, std::string::npos);
      const std::string lines = out.substr(pos, next - pos);
      pos = next;

      std::string bytes, error;
      uint32_t first = 0;
      ASSERT_TRUE(line_model::read_hex_column(lines, &bytes, &first, &error)) << error;
      const std::string want = run.skip < files[f].size() ? files[f].substr(run.skip) : "";
      EXPECT_EQ(bytes.size(), want.size());
      EXPECT_TRUE(bytes == want) << "the hex column differs from the file";
      if (!lines.empty()) {
        EXPECT_EQ(first, run.skip / 16 * 16);
      }
      if (std::string(run.locale) == "ja_JP.SJIS") {
        EXPECT_EQ(line_model::check_dump(lines, files[f], run.skip, {run.japanese, run.hyphen}),
                  "");
      }
    }
  }
}

}  // namespace
