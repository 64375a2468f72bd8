// The display conversion: how each byte and double-byte character of a code page is
// spelled for a UTF-8 or EUC-JP display, its cells counted by the C library's wcwidth.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <utility>

#include "console/display_encoding.h"
#include "console/output.h"
#include "display_text.h"
#include "dump/byte_class.h"
#include "encoding/text_encoding.h"

namespace {

using tovix_test::cells;
using tovix_test::iconv_text;

std::string text_of(const console::Glyph& g) {
  return std::string(g.text, g.length);
}

// The one character the system's converter makes of CP932 bytes, 0 when it makes none or
// more than one.
char32_t iconv_cp932_char(const std::string& bytes) {
  const std::string ucs4 = iconv_text(bytes, "CP932", "UCS-4LE");
  if (ucs4.size() != 4) return 0;
  char32_t cp = 0;
  for (int i = 3; i >= 0; --i) cp = cp << 8 | static_cast<uint8_t>(ucs4[i]);
  return cp;
}

class DisplayEncoding : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  }
  void TearDown() override {
    std::setlocale(LC_CTYPE, "C");
    console::display_setup(932, "");
    console::g_output.used = 0;
  }
};

TEST_F(DisplayEncoding, Cp932SpellingsOnUtf8) {
  console::display_setup(932, "UTF-8");
  EXPECT_FALSE(console::display_is_raw());
  struct Case {
    int lead, trail;
    const char* shown;
  };
  const Case pairs[] = {
      {0x82, 0xA0, "あ"}, {0x81, 0x40, "　"}, {0xFC, 0x4B, "黑"},  // last IBM extension
      {0x81, 0x60, "～"}, {0x81, 0x7C, "－"}, {0x81, 0x5F, "＼"},  // CP932, not JIS X 0208
      {0x83, 0x9F, "Α "}, {0x84, 0x40, "А "}, {0x81, 0x7E, "× "},  // ambiguous: one cell + blank
      {0x87, 0x40, "① "}, {0x81, 0xA6, "※ "}, {0x81, 0xA8, "→ "},
      {0xF0, 0x40, "〓"}, {0xF9, 0xFC, "〓"}, {0x85, 0x40, "〓"},  // user-defined, unassigned
      {0xFC, 0x4C, "〓"}, {0x82, 0x30, "〓"}, {0x82, 0x7F, "〓"},  // not a character
  };
  for (const Case& c : pairs)
    EXPECT_EQ(text_of(console::display_pair(c.lead, c.trail)), c.shown)
        << std::hex << c.lead << " " << c.trail;
  const Case singles[] = {{0x41, 0, "A"}, {0x5C, 0, "\\"}, {0x7E, 0, "~"},
                          {0xA1, 0, "｡"}, {0xB1, 0, "ｱ"},  {0xDF, 0, "ﾟ"}};
  for (const Case& c : singles)
    EXPECT_EQ(text_of(console::display_single(static_cast<uint8_t>(c.lead))), c.shown);
}

// Every pair of every double-byte code page is two cells wide, and a pair that is not the
// geta mark is exactly what the system's converter makes of it; the program's own CP932
// table, which spells code page 932 without the converter, knows each byte and pair as
// the converter does.
TEST_F(DisplayEncoding, EveryPairOfEveryCodePageIsTwoCells) {
  struct Page {
    int code_page;
    const char* charset;
    int min_characters;
  };
  for (const Page& page :
       {Page{932, "CP932", 7000}, Page{936, "CP936", 20000}, Page{949, "CP949", 15000},
        Page{950, "CP950", 13000}, Page{1361, "JOHAB", 15000}}) {
    dump::build_byte_classes(page.code_page);
    console::display_setup(page.code_page, "UTF-8");
    int characters = 0, failures = 0;
    for (int lead = 0; lead < 256; ++lead) {
      if (!dump::is_lead_byte(static_cast<uint8_t>(lead))) continue;
      for (int trail = 0; trail < 256; ++trail) {
        if (!dump::is_trail_byte(static_cast<uint8_t>(trail))) continue;
        const console::Glyph& g =
            console::display_pair(static_cast<uint8_t>(lead), static_cast<uint8_t>(trail));
        const std::string shown = text_of(g);
        const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
        const std::string direct = iconv_text(bytes, page.charset, "UTF-8");
        // Beside its word, the length a column writer reads, and that it is spelt.
        const uint32_t index = console::pair_word_index(lead, trail);
        const uint8_t length = console::display_word_lengths()[index];
        const bool noted = console::display_words()[index] != 0
                               ? length == (console::kWordSpelt | g.length)
                               : length == 0;
        const bool ok = g.length <= sizeof g.text && cells(shown) == 2 &&
                        (shown == "〓" || shown == direct || shown == direct + " ") && noted;
        const bool same_as_table =
            page.code_page != 932 ||
            encoding::cp932_pair_char(static_cast<uint8_t>(lead), static_cast<uint8_t>(trail)) ==
                iconv_cp932_char(bytes);
        if ((!ok || !same_as_table) && ++failures <= 5)
          ADD_FAILURE() << page.charset << " " << std::hex << lead << " " << trail << ": " << shown;
        if (shown != "〓") ++characters;
      }
    }
    for (int b = 0; b < 256 && page.code_page == 932; ++b) {
      const std::string byte(1, static_cast<char>(b));
      EXPECT_EQ(encoding::cp932_single_char(static_cast<uint8_t>(b)),
                b == 0 ? 0 : iconv_cp932_char(byte))
          << std::hex << b;
    }
    EXPECT_EQ(failures, 0) << page.charset;
    EXPECT_GE(characters, page.min_characters) << page.charset;
    // A new display forgets them: the first pair is not spelt any more.
    console::display_setup(page.code_page, "UTF-8");
    int unspelt = 0;
    for (int lead = 0x81; lead < 256; ++lead) {
      unspelt += console::display_word_lengths()[console::pair_word_index(lead, 0x80)] == 0;
    }
    EXPECT_EQ(unspelt, 256 - 0x81) << page.charset;
  }
  dump::build_byte_classes(932);
}

TEST_F(DisplayEncoding, EucJpAndRawDisplays) {
  console::display_setup(932, "EUC-JP");
  EXPECT_EQ(text_of(console::display_pair(0x82, 0xA0)), "\xA4\xA2");  // あ
  EXPECT_EQ(text_of(console::display_pair(0xF0, 0x40)), "\xA2\xAE");  // 〓
  EXPECT_EQ(text_of(console::display_pair(0x87, 0x40)), "\xA2\xAE");  // ① has no EUC-JP form
  EXPECT_EQ(text_of(console::display_single(0xB1)), "\x8E\xB1");      // ｱ
  console::display_setup(932, "");
  EXPECT_TRUE(console::display_is_raw());
  EXPECT_EQ(text_of(console::display_pair(0xF0, 0x40)), "\xF0\x40");
  EXPECT_EQ(text_of(console::display_single(0xB1)), "\xB1");
  console::display_setup(932, "NO-SUCH-CHARSET");
  EXPECT_TRUE(console::display_is_raw());
}

TEST_F(DisplayEncoding, MessagesAreConvertedFromCp932) {
  // ファイル:あ\n
  const std::string message =
      "\x83t\x83@\x83"
      "C\x83\x8B:\x82\xA0\n";
  struct Case {
    int code_page;
    const char* charset;
    std::string expected;
  };
  const Case cases[] = {
      {932, "UTF-8", "ファイル:あ\n"},
      {932, "", message},                                        // Shift_JIS display: unchanged
      {936, "", "\xA5\xD5\xA5\xA1\xA5\xA4\xA5\xEB:\xA4\xA2\n"},  // GBK display
  };
  for (const Case& c : cases) {
    console::display_setup(c.code_page, c.charset);
    char out[64];
    EXPECT_EQ(std::string(out, console::display_convert_message_to(message.data(), message.size(),
                                                                   out, sizeof out)),
              c.expected);
    // Written in pieces cut between a lead byte and its trail byte: the same text.
    console::g_output.used = 0;
    for (const auto& [from, to] : {std::pair{0, 1}, std::pair{1, 10}, std::pair{10, 12}})
      console::display_write_message(message.data() + from, static_cast<size_t>(to - from));
    EXPECT_EQ(std::string(console::g_output.data, console::g_output.used), c.expected);
  }
  // Room for only part of the text: whole characters, never half of one.
  console::display_setup(932, "UTF-8");
  char small[16];
  const size_t n =
      console::display_convert_message_to(message.data(), message.size(), small, sizeof small);
  EXPECT_EQ(std::string(small, n), std::string("ファイル:あ\n").substr(0, n));
  EXPECT_GE(cells(std::string(small, n)), 0);
  // Bytes that are no character: a '?' each, a lead byte taking its trail byte along.
  const std::pair<std::string, std::string> refused[] = {
      {"\x85\x40!", "?!"},  // an unassigned pair
      {"\x80\xA0\xFD\xB1", "???ｱ"},
      {"\x82\x20!", "? !"},  // a lead byte before a byte that is no trail byte
      {std::string("A\0\x82\xA0", 4), std::string("A\0あ", 5)},
  };
  for (const auto& [text, expected] : refused) {
    char out[64];
    EXPECT_EQ(std::string(out, console::display_convert_message_to(text.data(), text.size(), out,
                                                                   sizeof out)),
              expected)
        << testing::PrintToString(text);
  }
}

}  // namespace
