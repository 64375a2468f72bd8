// The highlighter's rules and their order, byte by byte, with the marker flag carried
// from one byte to the next.
#include "dump/highlight.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console/dump_options.h"
#include "console/output.h"
#include "dump/byte_class.h"

namespace {

constexpr int kNone = -1;

struct Options {
  bool lead, control, newline, marker;
};

struct HighlightCase {
  const char* name;
  Options options;
  std::vector<uint8_t> bytes;
  std::vector<int> colours;  // console colour indices, kNone where none applies
  bool marker_after;         // the flag after the last byte
};

constexpr Options kM{false, false, false, true};
constexpr Options kMK{true, false, false, true};
constexpr Options kKC{true, true, false, false};
constexpr Options kDC{false, true, true, false};
constexpr Options kC{false, true, false, false};
constexpr Options kD{false, false, true, false};
constexpr Options kK{true, false, false, false};
constexpr Options kAll{true, true, true, true};
constexpr Options kOff{false, false, false, false};

const HighlightCase kCases[] = {
    // The worked examples.
    {"marker, code byte, marker, code byte",
     kM,
     {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10},
     {12, 12, 12, 12, kNone, kNone},
     false},
    {"a run of FF and the byte after it",
     kM,
     {0xFF, 0xFF, 0xFF, 0x00, 0x41},
     {12, 12, 12, 12, kNone},
     false},
    {"the code byte takes the marker colour, not the lead colour",
     kMK,
     {0xFF, 0x82, 0xA0},
     {12, 12, kNone},
     false},
    {"lead byte, trail byte, control codes",
     kKC,
     {0x82, 0xA0, 0x1B, 0x7F, 0x41},
     {11, kNone, 13, 13, kNone},
     false},
    {"CR and LF before control codes", kDC, {0x0D, 0x0A, 0x09, 0x00}, {14, 14, 13, 13}, false},
    {"CR and LF as plain control codes", kC, {0x0D, 0x0A}, {13, 13}, false},
    {"no option", kOff, {0xFF, 0x82, 0x0D, 0x00, 0x7F}, {kNone, kNone, kNone, kNone, kNone}, false},
    // Around the edges of the rules.
    {"-d alone leaves other control codes",
     kD,
     {0x09, 0x00, 0x0D, 0x0A, 0x1F},
     {kNone, kNone, 14, 14, kNone},
     false},
    {"DEL is a control code, blank is not",
     kC,
     {0x7F, 0x20, 0x1F, 0x00, 0x80},
     {13, kNone, 13, 13, kNone},
     false},
    {"the code byte is coloured whatever it is",
     kAll,
     {0xFF, 0x0D, 0xFF, 0x00, 0xFF, 0x82},
     {12, 12, 12, 12, 12, 12},
     false},
    {"FF FF leaves the flag set", kM, {0xFF, 0xFF}, {12, 12}, true},
    {"-m off never sets the flag", kK, {0xFF, 0x00, 0x81}, {kNone, kNone, 11}, false},
    {"lead byte ranges",
     kK,
     {0x80, 0x81, 0x9F, 0xA0, 0xDF, 0xE0, 0xFC, 0xFD},
     {kNone, 11, 11, kNone, kNone, 11, 11, kNone},
     false},
    {"lead before newline before control",
     kAll,
     {0x88, 0x0A, 0x01, 0xE5, 0x0D},
     {11, 14, 13, 11, 14},
     false},
};

class HighlightTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dump::build_byte_classes(932);
    dump::g_highlight = dump::HighlightState{};
  }
  void TearDown() override {
    console::g_options = console::DumpOptions{};
    dump::g_highlight = dump::HighlightState{};
  }
  static void set_options(const Options& o) {
    console::g_options.highlight_lead = o.lead;
    console::g_options.highlight_control = o.control;
    console::g_options.highlight_newline = o.newline;
    console::g_options.highlight_jpeg_marker = o.marker;
  }
};

TEST_F(HighlightTest, RulesInOrder) {
  for (const HighlightCase& c : kCases) {
    SCOPED_TRACE(c.name);
    dump::g_highlight = dump::HighlightState{};
    set_options(c.options);
    std::vector<int> colours;
    for (uint8_t b : c.bytes) colours.push_back(dump::highlight_color(b));
    EXPECT_EQ(colours, c.colours);
    EXPECT_EQ(dump::g_highlight.after_marker, c.marker_after);
  }
}

// The flag lives for the whole run: nothing between lines or files clears it, so a
// file that ends in FF colours the first byte of the next.
TEST_F(HighlightTest, MarkerFlagCarriesOver) {
  set_options(kM);
  EXPECT_EQ(dump::highlight_color(0x41), kNone);
  EXPECT_EQ(dump::highlight_color(0xFF), 12);  // last byte of one line or file
  EXPECT_TRUE(dump::g_highlight.after_marker);
  EXPECT_EQ(dump::highlight_color(0x00), 12);  // first byte of the next
  EXPECT_FALSE(dump::g_highlight.after_marker);
  EXPECT_EQ(dump::highlight_color(0x00), kNone);
}

// Under a single-byte code page no byte is a lead byte, so -k colours nothing.
TEST_F(HighlightTest, NoLeadBytesWithoutDoubleByteCodePage) {
  dump::build_byte_classes(1252);
  set_options(kK);
  for (int b = 0; b < 256; ++b) EXPECT_EQ(dump::highlight_color(static_cast<uint8_t>(b)), kNone);
}

// Without a terminal the digits go out alone, as "%02X" gives them, with every option on.
TEST_F(HighlightTest, DigitsWithoutTerminalCarryNoEscapes) {
  set_options(kAll);
  console::out_flush();
  const size_t start = console::g_output.used;
  for (int b = 0; b < 256; ++b) dump::write_hex_byte(static_cast<uint8_t>(b));
  const std::string written(console::g_output.data + start, console::g_output.used - start);
  console::g_output.used = start;
  std::string expected;
  for (int b = 0; b < 256; ++b) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", b);
    expected += digits;
  }
  EXPECT_EQ(written, expected);
}

}  // namespace
