// Byte classes per code page, checked over all 256 byte values.
#include "dump/byte_class.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "platform/locale.h"

namespace {

struct Range {
  int first, last;
};
using Ranges = std::vector<Range>;

bool in(const Ranges& ranges, int b) {
  for (const Range& r : ranges)
    if (b >= r.first && b <= r.last) return true;
  return false;
}

struct CodePageCase {
  int code_page;
  Ranges lead, trail, kana;
};

// The double-byte code pages built in, and code pages that have no multibyte classes:
// single-byte ones the platform knows, and ones nothing knows.
const CodePageCase kCases[] = {
    {932, {{0x81, 0x9F}, {0xE0, 0xFC}}, {{0x40, 0x7E}, {0x80, 0xFC}}, {{0xA1, 0xDF}}},
    {936, {{0x81, 0xFE}}, {{0x40, 0xFE}}, {}},
    {949, {{0x81, 0xFE}}, {{0x41, 0xFE}}, {}},
    {950, {{0x81, 0xFE}}, {{0x40, 0x7E}, {0xA1, 0xFE}}, {}},
    {1361, {{0x81, 0xD3}, {0xD8, 0xDE}, {0xE0, 0xF9}}, {{0x31, 0x7E}, {0x81, 0xFE}}, {}},
    {1252, {}, {}, {}},
    {28591, {}, {}, {}},
    {20866, {}, {}, {}},
    {20127, {}, {}, {}},
    {65001, {}, {}, {}},
    {0, {}, {}, {}},
    {12345, {}, {}, {}},
};

class ByteClassTest : public ::testing::Test {
 protected:
  // Other tests in this program expect the home classes.
  void TearDown() override { dump::build_byte_classes(932); }
};

TEST_F(ByteClassTest, MultibyteClassesOfEachCodePage) {
  for (const CodePageCase& c : kCases) {
    // Built over a table full of another code page's classes: nothing may remain.
    dump::build_byte_classes(1361);
    dump::build_byte_classes(932);
    dump::build_byte_classes(c.code_page);
    for (int b = 0; b < 256; ++b) {
      const uint8_t byte = static_cast<uint8_t>(b);
      EXPECT_EQ(dump::is_lead_byte(byte), in(c.lead, b)) << c.code_page << " byte " << b;
      EXPECT_EQ(dump::is_trail_byte(byte), in(c.trail, b)) << c.code_page << " byte " << b;
      EXPECT_EQ(dump::is_kana_symbol(byte), in(c.kana, b)) << c.code_page << " byte " << b;
    }
  }
}

TEST_F(ByteClassTest, HomeCodePageFlagsAndOverlaps) {
  dump::build_byte_classes(932);
  struct Row {
    int byte;
    uint8_t flags;
  } rows[] = {
      {0x3F, 0},
      {0x40, dump::MB_TRAIL},  // printable and a trail byte
      {0x7E, dump::MB_TRAIL},
      {0x7F, 0},
      {0x80, dump::MB_TRAIL},  // a trail byte only
      {0x81, dump::MB_LEAD | dump::MB_TRAIL},
      {0x9F, dump::MB_LEAD | dump::MB_TRAIL},
      {0xA0, dump::MB_TRAIL},                   // neither lead nor kana: shown as a dot on its own
      {0xA1, dump::MB_PUNCT | dump::MB_TRAIL},  // kana are never lead bytes
      {0xA5, dump::MB_PUNCT | dump::MB_TRAIL},
      {0xA6, dump::MB_SYMBOL | dump::MB_TRAIL},
      {0xDF, dump::MB_SYMBOL | dump::MB_TRAIL},
      {0xE0, dump::MB_LEAD | dump::MB_TRAIL},
      {0xFC, dump::MB_LEAD | dump::MB_TRAIL},
      {0xFD, 0},
      {0xFF, 0},
  };
  for (const Row& r : rows) EXPECT_EQ(dump::g_multibyte_class[r.byte], r.flags) << r.byte;
}

TEST_F(ByteClassTest, PrintableAndControlAreTheSameUnderEveryCodePage) {
  for (const CodePageCase& c : kCases) {
    dump::build_byte_classes(c.code_page);
    for (int b = 0; b < 256; ++b) {
      const uint8_t byte = static_cast<uint8_t>(b);
      EXPECT_EQ(dump::is_printable(byte), b >= 0x20 && b <= 0x7E) << c.code_page << " " << b;
      EXPECT_EQ(dump::is_control(byte), b <= 0x1F || b == 0x7F) << c.code_page << " " << b;
    }
    for (int b : {0x09, 0x7F}) EXPECT_FALSE(dump::is_printable(static_cast<uint8_t>(b)));
  }
}

TEST_F(ByteClassTest, SingleByteLocalesGiveEmptyClasses) {
  for (const char* locale : {"de_DE.ISO-8859-1", "ru_RU.KOI8-R", "en_US.CP1252", "C.ASCII"}) {
    const int code_page = platform::code_page_from_locale(locale);
    platform::CodePageInfo info;
    ASSERT_TRUE(platform::code_page_info(code_page, &info)) << locale;
    EXPECT_EQ(info.max_char_size, 1) << locale;
    dump::build_byte_classes(code_page);
    for (int b = 0; b < 256; ++b) EXPECT_EQ(dump::g_multibyte_class[b], 0) << locale << b;
  }
}

}  // namespace
