// The character column on a display whose charset is not the code page's own: every
// byte and pair is converted once, through the platform's converter (CP932 into UTF-8
// through the program's own table), into a table of Glyphs that the dump copies from; a
// pair is padded or replaced so that it always takes two cells, and the columns of the
// dump stay aligned.
#include "console/display_encoding.h"

#include <bit>
#include <cstring>
#include <string>

#include "console/display_message.h"
#include "console/display_width.h"
#include "encoding/text_encoding.h"
#include "platform/charset.h"
#include "platform/locale.h"

namespace console {
namespace {

// 〓 (geta mark): stands for a pair that has no two-cell character to show.
constexpr char32_t kGetaMark = 0x3013;
// Scratch room for one converted character, more than any Glyph holds.
constexpr size_t kScratchSize = 32;

// Spellings of the file's bytes in the character column. A Glyph of length 0 has not
// been built yet. A pair is spelt on first use, one at a time, so that start-up pays for
// none and a short dump only for the pairs it shows; its word is then non-zero unless the
// spelling does not fit in one, and the Glyph table holds only those that do not (its
// pages are never touched on most displays).
struct ColumnTables {
  Glyph single[256];
  alignas(64) uint32_t words[512 + 256 * 256];
  uint8_t lengths[512 + 256 * 256];  // kWordSpelt | the length of each spelt word, else 0
  uint64_t pair_spelt[256 * 256 / 64];
  bool row_touched[256];  // some pair of this lead byte has been spelt
  Glyph long_pair[256][256];
  Glyph no_pair;  // a pair without a two-cell character: the geta mark, or ".."
};
ColumnTables g_column;

struct Conversion {
  bool raw_column = true;
  bool to_utf8 = false;
  bool cp932_table = false;      // CP932 read through the program's own table, not the converter
  const char* source = nullptr;  // the code page's charset, as the converter names it
  platform::Converter decoder;   // source -> UCS-4LE, opened on first use
  bool decoder_tried = false;
  platform::Converter encoder;  // UCS-4LE -> display charset, when that is not UTF-8
  char display[64] = {};        // the display charset's name, for a report
};
Conversion g_conversion;

// File names reach the display as they are, in the display's charset (the code page's
// own when nothing is converted); they are read back only to find controls in them.
struct NameReading {
  char charset[64] = {};        // empty: UTF-8, or no converter known
  platform::Converter decoder;  // charset -> UCS-4LE, opened on first use
  bool decoder_tried = false;
  bool utf8 = false;
  int8_t leads[32] = {};  // bytes 0x80-0x9F: 0 not asked yet, 1 a lead byte, -1 a control
};
NameReading g_names;

void set_glyph(Glyph* g, const char* text, size_t n) {
  std::memset(g->text, ' ', sizeof g->text);
  std::memcpy(g->text, text, n);
  g->length = static_cast<uint8_t>(n);
}

// Spells cp in the display charset into out (kScratchSize bytes); 0 when it cannot.
size_t encode(char32_t cp, char* out) {
  if (g_conversion.to_utf8) return encoding::encode_utf8(cp, out);
  const char in[4] = {static_cast<char>(cp & 0xFF), static_cast<char>((cp >> 8) & 0xFF),
                      static_cast<char>((cp >> 16) & 0xFF), static_cast<char>(cp >> 24)};
  const platform::ConvertResult r =
      platform::charset_convert(g_conversion.encoder, in, sizeof in, out, kScratchSize);
  return r.status == platform::ConvertStatus::kDone ? r.produced : 0;
}

// The one character that bytes[0..n) stand for in the code page; false when they do not
// stand for exactly one character.
bool decode(const char* bytes, size_t n, char32_t* cp) {
  if (g_conversion.cp932_table) {
    const auto* b = reinterpret_cast<const uint8_t*>(bytes);
    *cp = n == 1 ? encoding::cp932_single_char(b[0]) : encoding::cp932_pair_char(b[0], b[1]);
    return *cp != 0;
  }
  if (!g_conversion.decoder_tried) {
    g_conversion.decoder_tried = true;
    if (g_conversion.source == nullptr ||
        !platform::charset_open(&g_conversion.decoder, "UCS-4LE", g_conversion.source)) {
      const Glyph& geta = g_column.no_pair;
      const std::string shown =
          "characters are shown as " + std::string(geta.text, geta.length) + " and .";
      report_unconvertible(g_conversion.source, g_conversion.display, shown.c_str());
    }
  }
  if (g_conversion.decoder.handle == nullptr) return false;
  unsigned char out[kScratchSize];
  const platform::ConvertResult r = platform::charset_convert(
      g_conversion.decoder, bytes, n, reinterpret_cast<char*>(out), sizeof out);
  if (r.status != platform::ConvertStatus::kDone || r.consumed != n || r.produced != 4)
    return false;
  *cp = static_cast<char32_t>(out[0]) | static_cast<char32_t>(out[1]) << 8 |
        static_cast<char32_t>(out[2]) << 16 | static_cast<char32_t>(out[3]) << 24;
  return true;
}

// A double-byte character keeps its two cells: a wide one as it is, one that most
// terminals draw in one cell followed by a blank, and one that has no cell of its own
// (private use, a mark) or cannot be spelled becomes the geta mark.
void build_pair_glyph(Glyph* g, const char bytes[2]) {
  char32_t cp = 0;
  char out[kScratchSize];
  if (decode(bytes, 2, &cp) && cell_width(cp) != CellWidth::kNone) {
    size_t n = encode(cp, out);
    if (n > 0 && cell_width(cp) != CellWidth::kWide) out[n++] = ' ';
    if (n > 0 && n <= sizeof g->text) {
      set_glyph(g, out, n);
      return;
    }
  }
  *g = g_column.no_pair;
}

void spell_pair(uint8_t lead, uint8_t trail) {
  const uint32_t i = (uint32_t{lead} << 8) | trail;
  Glyph g;
  const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  if (g_conversion.raw_column) {
    set_glyph(&g, bytes, 2);
  } else {
    build_pair_glyph(&g, bytes);
  }
  const uint32_t w = word_of_glyph(g);
  g_column.words[pair_word_index(lead, trail)] = w;
  if (w != 0) g_column.lengths[pair_word_index(lead, trail)] = kWordSpelt | word_length(w);
  if (w == 0) g_column.long_pair[lead][trail] = g;
  g_column.pair_spelt[i >> 6] |= uint64_t{1} << (i & 63);
  g_column.row_touched[lead] = true;
}

// A byte shown on its own is ASCII, or a character of the code page one cell wide
// (half-width kana); anything else has no single-cell spelling and shows as a dot.
void build_single_glyph(Glyph* g, uint8_t b) {
  const char byte = static_cast<char>(b);
  if (g_conversion.raw_column || b < 0x80) {
    set_glyph(g, &byte, 1);
    return;
  }
  char32_t cp = 0;
  char out[kScratchSize];
  size_t n = 0;
  if (decode(&byte, 1, &cp) && cell_width(cp) == CellWidth::kNarrow) n = encode(cp, out);
  if (n > 0 && n <= sizeof g->text) {
    set_glyph(g, out, n);
  } else {
    set_glyph(g, ".", 1);
  }
}

void build_no_pair_glyph() {
  char out[kScratchSize];
  const size_t n = encode(kGetaMark, out);
  if (n > 0 && n <= sizeof g_column.no_pair.text) {
    set_glyph(&g_column.no_pair, out, n);
  } else {
    set_glyph(&g_column.no_pair, "..", 2);
  }
}

// Every byte of the dump outside the character column, and of the messages, is ASCII
// written as it is: a display charset must spell each ASCII character as that one byte.
// UTF-16, UCS-4, UTF-7 ('+' begins a shifted run) and EBCDIC do not.
bool encoder_keeps_ascii() {
  for (char32_t cp = 0x01; cp < 0x80; ++cp) {
    char out[kScratchSize];
    if (encode(cp, out) != 1 || static_cast<unsigned char>(out[0]) != cp) return false;
  }
  return true;
}

void names_setup(const char* charset, bool utf8) {
  platform::charset_close(&g_names.decoder);
  g_names = NameReading{};
  g_names.utf8 = utf8;
  if (!utf8 && charset != nullptr && std::strlen(charset) < sizeof g_names.charset)
    std::strcpy(g_names.charset, charset);
}

// Characters that act on a terminal: C0, DEL and C1, and the controls of bidirectional
// text, which reorder what follows them on the row (LRM, RLM, ALM, the embeddings,
// overrides and isolates).
bool is_acting_character(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x061C || cp == 0x200E || cp == 0x200F ||
         (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

bool open_name_decoder() {
  if (!g_names.decoder_tried) {
    g_names.decoder_tried = true;
    if (g_names.charset[0] != '\0')
      platform::charset_open(&g_names.decoder, "UCS-4LE", g_names.charset);
  }
  return g_names.decoder.handle != nullptr;
}

// Whether byte b (0x80-0x9F) begins a character of more bytes in the names' charset
// (Shift_JIS, GBK, EUC's single shifts) rather than being a C1 control (ISO-8859, EUC's
// other bytes, a continuation byte of UTF-8).
bool begins_character(uint8_t b) {
  int8_t& known = g_names.leads[b - 0x80];
  if (known == 0) {
    known = -1;
    if (!g_names.utf8 && open_name_decoder()) {
      const char alone = static_cast<char>(b);
      char out[platform::kShiftRoom + 8];
      const platform::ConvertResult r =
          platform::charset_convert(g_names.decoder, &alone, 1, out, sizeof out);
      if (r.status == platform::ConvertStatus::kIncomplete) known = 1;
    }
  }
  return known == 1;
}

// A byte that is no part of a character read (a lead byte without its trail, a byte the
// charset does not know): a C0 control, DEL, or a C1 control where the charset has one,
// acts; anything else a terminal shows as some mark, or holds for a following byte.
bool is_acting_byte(uint8_t b) {
  return b < 0x20 || b == 0x7F || (b >= 0x80 && b <= 0x9F && !begins_character(b));
}

// The well-formed UTF-8 character at s (no overlong form, no surrogate, nothing past
// U+10FFFF): its length, 0 when s does not begin one.
size_t utf8_character(const unsigned char* s, size_t n, char32_t* cp) {
  const unsigned char b = s[0];
  size_t len;
  char32_t min;
  if (b < 0x80) {
    *cp = b;
    return 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    len = 2, min = 0x80, *cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3, min = 0x800, *cp = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4, min = 0x10000, *cp = b & 0x07;
  } else {
    return 0;
  }
  if (n < len) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    *cp = (*cp << 6) | (s[i] & 0x3F);
  }
  if (*cp < min || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) return 0;
  return len;
}

// The character at s in the names' charset, through the converter: its length, 0 when
// s does not begin one the converter knows.
size_t converted_character(const char* s, size_t n, char32_t* cp) {
  if (!open_name_decoder()) return 0;
  // Room for one character only: the converter stops after it.
  unsigned char out[platform::kShiftRoom + 4];
  const platform::ConvertResult r =
      platform::charset_convert(g_names.decoder, s, n, reinterpret_cast<char*>(out), sizeof out);
  if (r.produced != 4 || r.consumed == 0) return 0;
  *cp = static_cast<char32_t>(out[0]) | static_cast<char32_t>(out[1]) << 8 |
        static_cast<char32_t>(out[2]) << 16 | static_cast<char32_t>(out[3]) << 24;
  return r.consumed;
}

}  // namespace

std::string display_shown_name(const char* name, size_t n) {
  std::string shown;
  shown.reserve(n);
  const auto* s = reinterpret_cast<const unsigned char*>(name);
  for (size_t i = 0; i < n;) {
    char32_t cp = 0;
    size_t len = 0;
    if (s[i] < 0x80) {
      cp = s[i], len = 1;  // every display charset spells ASCII as itself
    } else if (g_names.utf8) {
      len = utf8_character(s + i, n - i, &cp);
    } else {
      len = converted_character(name + i, n - i, &cp);
    }
    if (len == 0) {
      shown += is_acting_byte(s[i]) ? '?' : name[i];
      ++i;
      continue;
    }
    if (is_acting_character(cp)) {
      shown += '?';
    } else {
      shown.append(name + i, len);
    }
    i += len;
  }
  return shown;
}

void display_setup(int code_page, const char* display_charset) {
  platform::charset_close(&g_conversion.decoder);
  platform::charset_close(&g_conversion.encoder);
  g_conversion = Conversion{};
  std::memset(g_column.single, 0, sizeof g_column.single);
  // Only the rows that were spelt are cleared, so that the rest stay untouched pages.
  for (int lead = 0; lead < 256; ++lead) {
    if (!g_column.row_touched[lead]) continue;
    std::memset(&g_column.words[pair_word_index(lead, 0)], 0, 256 * sizeof(uint32_t));
    std::memset(&g_column.lengths[pair_word_index(lead, 0)], 0, 256);
    std::memset(&g_column.pair_spelt[lead * 4], 0, 4 * sizeof(uint64_t));
    g_column.row_touched[lead] = false;
  }

  if (display_charset == nullptr || *display_charset == '\0') {
    name_display_setup(platform::name_charset(), platform::code_page_charset(code_page));
    names_setup(platform::code_page_charset(code_page), false);
    // The code page's own bytes go out. Messages too when the code page is theirs; under
    // another code page they are spelled in its charset.
    message_display_setup(code_page == kMessageCodePage ? nullptr
                                                        : platform::code_page_charset(code_page));
    return;
  }
  g_conversion.to_utf8 = encoding::is_utf8_name(display_charset);
  if (!g_conversion.to_utf8 &&
      !platform::charset_open(&g_conversion.encoder, display_charset, "UCS-4LE")) {
    // A charset the converter does not know: nothing better than the bytes themselves.
    name_display_setup(platform::name_charset(), nullptr);
    names_setup(nullptr, false);
    message_display_setup(nullptr);
    report_unconvertible(platform::code_page_charset(code_page), display_charset,
                         "the file's bytes are shown unconverted");
    return;
  }
  if (!g_conversion.to_utf8 && !encoder_keeps_ascii()) {
    // No real terminal runs in such a charset; the one in front of the user is almost
    // surely UTF-8, where the column and the messages keep every character.
    platform::charset_close(&g_conversion.encoder);
    display_charset = "UTF-8";
    g_conversion.to_utf8 = true;
  }
  name_display_setup(platform::name_charset(), display_charset);
  names_setup(display_charset, g_conversion.to_utf8);
  std::strncpy(g_conversion.display, display_charset, sizeof g_conversion.display - 1);
  g_conversion.raw_column = false;
  g_conversion.source = platform::code_page_charset(code_page);
  // Spelling CP932 in UTF-8 needs no converter: the program's own table knows every byte
  // and pair, and glibc's converter would add a tenth of a megabyte to the resident set.
  g_conversion.cp932_table = code_page == kMessageCodePage && g_conversion.to_utf8;
  message_display_setup(display_charset);
  build_no_pair_glyph();
}

bool display_is_raw() {
  return g_conversion.raw_column;
}

const Glyph& display_single(uint8_t b) {
  Glyph& g = g_column.single[b];
  if (g.length == 0) build_single_glyph(&g, b);
  return g;
}

Glyph display_pair(uint8_t lead, uint8_t trail) {
  const uint32_t i = (uint32_t{lead} << 8) | trail;
  if (((g_column.pair_spelt[i >> 6] >> (i & 63)) & 1) == 0) spell_pair(lead, trail);
  const uint32_t w = g_column.words[pair_word_index(lead, trail)];
  return w != 0 ? glyph_of_word(w) : g_column.long_pair[lead][trail];
}

uint32_t* display_words() {
  return g_column.words;
}

uint8_t* display_word_lengths() {
  return g_column.lengths;
}

Glyph glyph_of_word(uint32_t w) {
  Glyph g;
  std::memset(g.text, ' ', sizeof g.text);
  const uint32_t stored = word_in_memory_order(w);
  std::memcpy(g.text, &stored, sizeof stored);
  g.length = word_length(w);
  return g;
}

uint32_t word_of_glyph(const Glyph& g) {
  if (g.length > 4 || std::memchr(g.text, 0, g.length) != nullptr) return 0;
  uint32_t w = 0;
  std::memcpy(&w, g.text, g.length);
  return word_in_memory_order(w);
}

}  // namespace console
