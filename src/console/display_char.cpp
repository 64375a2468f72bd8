// Spellings are cached per code point of the Basic Multilingual Plane, a word each, so
// that a dump pays for the width lookup and the conversion once per character it meets;
// the table's pages are touched only where characters are.
#include "console/display_char.h"

#include <cstring>

#include "console/display_width.h"
#include "encoding/text_encoding.h"
#include "platform/charset.h"

namespace console {

uint32_t g_char_words[0x10000];

namespace {

constexpr char32_t kGetaMark = 0x3013;

struct CharTables {
  bool to_utf8 = false;
  bool cells_by_length = false;  // a double-byte code page: each byte takes a cell
  bool cp932 = false;            // the display is CP932: spelt from the program's table
  platform::Converter encoder;   // UCS-4LE -> the display charset, unless UTF-8
  CharSpelling geta{};
  bool words_spelt = false;  // a word of g_char_words has been filled since the setup
};
CharTables g_chars;

// Spells cp through the converter (CP932: the program's own table) into g; false when
// the display charset lacks it.
bool convert(char32_t cp, Glyph* g) {
  if (g_chars.cp932) {
    const uint16_t bytes = cp < 0x80 ? static_cast<uint16_t>(cp) : encoding::cp932_bytes(cp);
    if (bytes == 0 && cp != 0) return false;
    std::memset(g->text, ' ', sizeof g->text);
    g->length = bytes > 0xFF ? 2 : 1;
    g->text[0] = static_cast<char>(bytes > 0xFF ? bytes >> 8 : bytes);
    g->text[1] = bytes > 0xFF ? static_cast<char>(bytes & 0xFF) : ' ';
    return true;
  }
  if (g_chars.encoder.handle == nullptr) return false;
  const char in[4] = {static_cast<char>(cp & 0xFF), static_cast<char>((cp >> 8) & 0xFF),
                      static_cast<char>((cp >> 16) & 0xFF), static_cast<char>(cp >> 24)};
  char out[32];
  const platform::ConvertResult r =
      platform::charset_convert(g_chars.encoder, in, sizeof in, out, sizeof out);
  if (r.status != platform::ConvertStatus::kDone || r.produced == 0 ||
      r.produced > sizeof g->text) {
    return false;
  }
  std::memset(g->text, ' ', sizeof g->text);
  std::memcpy(g->text, out, r.produced);
  g->length = static_cast<uint8_t>(r.produced);
  return true;
}

CharSpelling build(char32_t cp) {
  CharSpelling s{};
  const CellWidth width = cell_width(cp);
  if (width == CellWidth::kNone) return s;
  std::memset(s.glyph.text, ' ', sizeof s.glyph.text);
  s.cells = width == CellWidth::kWide ? 2 : 1;
  if (g_chars.to_utf8) {
    s.glyph.length = static_cast<uint8_t>(encoding::encode_utf8(cp, s.glyph.text));
    return s;
  }
  if (!convert(cp, &s.glyph)) return g_chars.geta;
  // In a double-byte code page a character takes as many cells as it has bytes,
  // whatever its width elsewhere.
  if (g_chars.cells_by_length) s.cells = s.glyph.length > 1 ? 2 : 1;
  return s;
}

}  // namespace

void display_char_setup(int code_page, const char* display_charset) {
  platform::charset_close(&g_chars.encoder);
  g_chars.to_utf8 = false;
  g_chars.cells_by_length = false;
  g_chars.cp932 = false;
  // Cleared only when spelt into: the words of a run that shows no character of another
  // encoding stay untouched pages, which a run never reads or brings into memory.
  if (g_chars.words_spelt) std::memset(g_char_words, 0, sizeof g_char_words);
  g_chars.words_spelt = false;
  const bool own = display_is_raw() || display_charset == nullptr || *display_charset == '\0';
  if (!own && encoding::is_utf8_name(display_charset)) {
    g_chars.to_utf8 = true;
  } else {
    // CP932, the home code page, from the program's own table: the same everywhere, and
    // where the platform has no converter (Windows) too.
    g_chars.cp932 = own && code_page == 932;
    const char* target = own ? platform::code_page_charset(code_page) : display_charset;
    if (target != nullptr && !g_chars.cp932) {
      platform::charset_open(&g_chars.encoder, target, "UCS-4LE");
    }
    g_chars.cells_by_length = own;
  }
  g_chars.geta = CharSpelling{};
  std::memset(g_chars.geta.glyph.text, ' ', sizeof g_chars.geta.glyph.text);
  if (g_chars.to_utf8 || convert(kGetaMark, &g_chars.geta.glyph)) {
    if (g_chars.to_utf8) {
      g_chars.geta.glyph.length =
          static_cast<uint8_t>(encoding::encode_utf8(kGetaMark, g_chars.geta.glyph.text));
    }
    g_chars.geta.cells = 2;
  } else {
    g_chars.geta.glyph.length = 2;
    g_chars.geta.glyph.text[0] = '.';
    g_chars.geta.glyph.text[1] = '.';
    g_chars.geta.cells = 2;
  }
}

uint32_t build_char_word(char32_t cp) {
  const CharSpelling s = build(cp);
  if (s.glyph.length > 3) return kCharWordBuilt | kCharWordLong | uint32_t{s.cells} << 27;
  uint32_t w = kCharWordBuilt | uint32_t{s.cells} << 27 | uint32_t{s.glyph.length} << 24;
  for (int i = 0; i < s.glyph.length; ++i) {
    w |= uint32_t{static_cast<uint8_t>(s.glyph.text[i])} << (8 * i);
  }
  if (cp < 0x10000) {
    g_char_words[cp] = w;
    g_chars.words_spelt = true;
  }
  return w;
}

CharSpelling display_char(char32_t cp) {
  return build(cp);
}

bool display_chars_are_utf8() {
  return g_chars.to_utf8;
}

}  // namespace console
