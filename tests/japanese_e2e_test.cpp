// End-to-end runs of the character column with Shift_JIS pairing on (-J) and off (-j),
// compared byte for byte under a Shift_JIS locale, whose output goes out unconverted.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "run_tovix.h"

namespace {

using tovix_test::banner;
using tovix_test::header;
using tovix_test::run_tovix;
using tovix_test::ScratchDir;

// One dump line: the offset, the hex column of `bytes` (the first of them in position
// `first`) with the hyphen on, and the character column exactly as given.
std::string dump_line(uint32_t address, const std::string& bytes, const std::string& chars,
                      int first = 0) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X  ", address);
  std::string line = buf;
  const int last = first + static_cast<int>(bytes.size()) - 1;
  for (int i = 0; i < 16; ++i) {
    if (i < first || i > last) {
      line += "  ";
    } else {
      std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned char>(bytes[i - first]));
      line += buf;
    }
    line += i == 7 ? '-' : ' ';
  }
  return line + "  " + chars + "\n";
}

std::string blanks(size_t n) {
  return std::string(n, ' ');
}

// Output of one short file of one line under -J and under -j.
struct OneLineCase {
  std::string bytes, with_pairs, without_pairs;
};

TEST(JapaneseDisplay, WithinOneLine) {
  const OneLineCase cases[] = {
      {"\x41\x82\xA0\x42",
       "A\x82\xA0"
       "B" +
           blanks(12),
       "A..B" + blanks(12)},
      // The digit after a lead byte is swallowed into the two dots.
      {"\x82\x30\x31", "..1" + blanks(13), ".01" + blanks(13)},
      {"\x81\x81\x81\x41", "\x81\x81\x81\x41" + blanks(12), "...A" + blanks(12)},
      {"\xB1\xDE\x0D", "\xB1\xDE." + blanks(13), "\xB1\xDE." + blanks(13)},
      {std::string("\x09\x20\x7F\x80\xA0\xFD", 6), ". ...." + blanks(10), ". ...." + blanks(10)},
      // A pair, then a lead byte held at the end of the last line: its dot comes after
      // the blank fill.
      {"\x81\x81\x81", "\x81\x81" + blanks(13) + ".", "..." + blanks(13)},
      {"\x41\x82", "A" + blanks(14) + ".", "A." + blanks(14)},
      // Kana are never held; a kanji of two lead-and-trail bytes.
      {"\xB1\x88\x9F\xDF", "\xB1\x88\x9F\xDF" + blanks(12), "\xB1..\xDF" + blanks(12)},
      {std::string("\xE0\x40\xFC\xFC\x82\x00", 6), "\xE0\x40\xFC\xFC.." + blanks(10),
       ".@...." + blanks(10)},
  };
  ScratchDir dir;
  for (const OneLineCase& c : cases) {
    const std::string f = dir.write("f", c.bytes);
    const auto on = run_tovix({"-p", f});
    EXPECT_EQ(on.exit_code, 0);
    EXPECT_EQ(on.out, banner() + header(f) + dump_line(0, c.bytes, c.with_pairs));
    // The default (auto) reads these bytes as the code page's own, as -e sjis does.
    EXPECT_EQ(run_tovix({"-p", "-e", "sjis", f}).out, on.out);
    const auto off = run_tovix({"-pj", f});
    EXPECT_EQ(off.out, banner() + header(f) + dump_line(0, c.bytes, c.without_pairs));
  }
}

// A full line ending with the lead byte 82, then what follows it in the file.
struct LineEndCase {
  std::string next;          // the bytes after the first line
  std::string first_column;  // the first line's character column under -J
  std::string second_column;
};

TEST(JapaneseDisplay, LeadByteAtTheEndOfAFullLine) {
  const std::string line1 = std::string(15, 'x') + "\x82";
  const LineEndCase cases[] = {
      {"\xA0"
       "y",
       std::string(15, 'x') + "\x82\xA0", " y" + blanks(14)},
      // The second line holds only the trail byte: sixteen blanks, its digits shown.
      {"\xA0", std::string(15, 'x') + "\x82\xA0", blanks(16)},
      {"\x41"
       "y",
       std::string(15, 'x') + "\x82\x41", " y" + blanks(14)},
      // The look-ahead 82 completes the pair and is not held again in the next line.
      {"\x82\x41", std::string(15, 'x') + "\x82\x82", " A" + blanks(14)},
      {"\x0A"
       "y",
       std::string(15, 'x') + ".", ".y" + blanks(14)},
      {"", std::string(15, 'x') + ".", ""},
  };
  ScratchDir dir;
  for (const LineEndCase& c : cases) {
    const std::string f = dir.write("f", line1 + c.next);
    std::string expected = banner() + header(f) + dump_line(0, line1, c.first_column);
    if (!c.next.empty()) expected += dump_line(0x10, c.next, c.second_column);
    const auto on = run_tovix({"-p", f});
    EXPECT_EQ(on.exit_code, 0);
    EXPECT_EQ(on.out, expected) << "next " << c.next;

    std::string plain = banner() + header(f) + dump_line(0, line1, std::string(15, 'x') + ".");
    if (!c.next.empty()) {
      std::string column;
      for (char ch : c.next) column += ch >= 0x20 && ch <= 0x7E ? ch : '.';
      plain += dump_line(0x10, c.next, column + blanks(16 - c.next.size()));
    }
    EXPECT_EQ(run_tovix({"-pj", f}).out, plain) << "next " << c.next;
  }
}

TEST(JapaneseDisplay, SkipStartsFreshEvenOnATrailByte) {
  struct Case {
    std::string data, skip, shown, column;
    uint32_t address;
    int first;
  } cases[] = {
      // The lead byte 82 is skipped: A0 is shown by the plain rule.
      {"\x82\xA0\x41", "1", "\xA0\x41", " .A" + blanks(13), 0, 1},
      // The second 82 is a trail byte, but also a lead byte: held, and paired with 41.
      {"\x82\x82\x41", "1", "\x82\x41", " \x82\x41" + blanks(13), 0, 1},
      // The line that held the lead byte was never shown, so A0 is not a blank.
      {std::string(15, 'x') + "\x82\xA0"
                              "y",
       "16",
       "\xA0"
       "y",
       ".y" + blanks(14), 0x10, 0},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    const std::string f = dir.write("f", c.data);
    const auto r = run_tovix({"-p", "-s", c.skip, f});
    EXPECT_EQ(r.out, banner() + header(f) + dump_line(c.address, c.shown, c.column, c.first))
        << "-s " << c.skip;
  }
}

TEST(JapaneseDisplay, NextFileStartsWithNothingHeld) {
  ScratchDir dir;
  const std::string ends_with_lead = dir.write("a", "\x41\x82");
  const std::string ends_with_pair = dir.write("b", std::string(15, 'x') + "\x82\x41");
  const std::string starts_with_trail = dir.write("c", "\x41\x42");
  const auto r = run_tovix({"-p", ends_with_lead, ends_with_pair, starts_with_trail});
  EXPECT_EQ(r.out,
            banner() + header(ends_with_lead) + dump_line(0, "\x41\x82", "A" + blanks(14) + ".") +
                header(ends_with_pair) +
                dump_line(0, std::string(15, 'x') + "\x82", std::string(15, 'x') + "\x82\x41") +
                dump_line(0x10, "\x41", blanks(16)) + header(starts_with_trail) +
                dump_line(0, "\x41\x42", "AB" + blanks(14)));
}

// Printable filler whose hex column shows any byte lost or repeated, with pairs cut by
// the line end at the end of a 4096-byte and of a 65536-byte block.
std::string block_data(size_t size, const std::vector<size_t>& lead_positions) {
  std::string data(size, ' ');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(0x21 + i % 93);
  for (size_t p : lead_positions) {
    data[p] = '\x88';
    data[p + 1] = '\x9F';
  }
  return data;
}

// The expected lines of block_data: plain filler, and the pair at the end of its line.
std::string block_lines(const std::string& data, const std::vector<size_t>& lead_positions) {
  std::map<size_t, std::string> columns;
  for (size_t p : lead_positions) {
    const size_t line = p - p % 16;
    columns[line] = data.substr(line, 15) + "\x88\x9F";
    columns[line + 16] = " " + data.substr(line + 17, 15);
  }
  std::string out;
  for (size_t a = 0; a < data.size(); a += 16) {
    const std::string bytes = data.substr(a, 16);
    const auto it = columns.find(a);
    const std::string column = it != columns.end() ? it->second : bytes;
    out += dump_line(static_cast<uint32_t>(a), bytes, column + blanks(16 - bytes.size()));
  }
  return out;
}

TEST(JapaneseDisplay, PairsAcrossBlockBoundariesFromAFileAndAPipe) {
  const std::vector<size_t> leads = {4095, 65535, 2 * 65536 - 1};
  const std::string data = block_data(2 * 65536 + 40, leads);
  const std::string lines = block_lines(data, leads);
  ScratchDir dir;
  const std::string f = dir.write("blocks", data);
  const auto from_file = run_tovix({"-p", f});
  EXPECT_EQ(from_file.exit_code, 0);
  EXPECT_EQ(from_file.out, banner() + header(f) + lines);
  const auto from_pipe = run_tovix({"-p", "/dev/stdin"}, "ja_JP.SJIS", &data);
  EXPECT_EQ(from_pipe.exit_code, 0);
  EXPECT_EQ(from_pipe.out, banner() + header("/dev/stdin") + lines);
}

TEST(JapaneseDisplay, FileEndingAtABlockEndWithALeadByte) {
  std::string data = block_data(65536, {});
  data.back() = '\x88';
  std::string expected = block_lines(data.substr(0, 65536 - 16), {});
  expected += dump_line(65536 - 16, data.substr(65536 - 16), data.substr(65536 - 16, 15) + ".");
  ScratchDir dir;
  const std::string f = dir.write("f", data);
  EXPECT_EQ(run_tovix({"-p", f}).out, banner() + header(f) + expected);
  EXPECT_EQ(run_tovix({"-p", "/dev/stdin"}, "ja_JP.SJIS", &data).out,
            banner() + header("/dev/stdin") + expected);
}

TEST(JapaneseDisplay, LocaleChoosesTheClasses) {
  std::string all(256, '\0');
  for (int b = 0; b < 256; ++b) all[b] = static_cast<char>(b);
  ScratchDir dir;
  const std::string f = dir.write("all", all);
  // A single-byte code page: only 0x20 to 0x7E as themselves, no pairs, with -J too.
  std::string single_byte;
  for (int a = 0; a < 256; a += 16) {
    std::string column;
    for (int b = a; b < a + 16; ++b) column += b >= 0x20 && b <= 0x7E ? all[b] : '.';
    single_byte += dump_line(static_cast<uint32_t>(a), all.substr(a, 16), column);
  }
  for (const char* locale : {"de_DE.ISO-8859-1", "ru_RU.KOI8-R", "en_US.CP1252"}) {
    for (const char* option : {"-pJ", "-pj"}) {
      const auto r = run_tovix({option, f}, locale);
      EXPECT_EQ(r.out, banner() + header(f) + single_byte) << locale << " " << option;
    }
  }
  // Under code page 936 B1 DE is a pair, not two kana; without pairing, two dots.
  const std::string g = dir.write("g", "\xB1\xDE\x82\xA0");
  EXPECT_EQ(
      run_tovix({"-p", g}, "zh_CN.GBK").out,
      banner() + header(g) + dump_line(0, "\xB1\xDE\x82\xA0", "\xB1\xDE\x82\xA0" + blanks(12)));
  EXPECT_EQ(run_tovix({"-pj", g}, "zh_CN.GBK").out,
            banner() + header(g) + dump_line(0, "\xB1\xDE\x82\xA0", "...." + blanks(12)));
}

}  // namespace
