#include "dump/decoded_row.h"

#include <cstring>

#include "console/display_encoding.h"
#include "dump/decoded_column.h"
#include "dump/utf8_row.h"
#include "encoding/text_encoding.h"

namespace dump {

uint32_t g_euc_pair_words[128 * 128];
DecodedRowPaths g_decoded_row_paths;

namespace {

// Stores word w at p in memory order; returns p advanced by its length.
inline char* put_word(char* p, uint32_t w, uint32_t length) {
  const uint32_t stored = console::word_in_memory_order(w);
  std::memcpy(p, &stored, sizeof stored);
  return p + length;
}

// UTF-16: eight code units, each over its two positions. A surrogate pair (a character
// past U+FFFF), which may reach into the next line, and a line that begins inside one go
// to the general column; a lone surrogate is two dots, as its word says.
template <bool kBigEndian>
char* put_utf16_row(char* p, const uint8_t* row, int32_t* carried) {
  if (*carried != 0) return nullptr;
  // A row of ASCII code units, as text in UTF-16 mostly is: each is itself and a blank,
  // or two dots for a control code.
  uint32_t high_bytes = 0, low_bytes = 0;
  for (int i = 0; i < 8; ++i) {
    high_bytes |= row[2 * i + (kBigEndian ? 0 : 1)];
    low_bytes |= row[2 * i + (kBigEndian ? 1 : 0)];
  }
  if (high_bytes == 0 && low_bytes < 0x80) {
    for (int i = 0; i < 8; ++i) {
      const uint8_t c = row[2 * i + (kBigEndian ? 1 : 0)];
      const bool printable = c >= 0x20 && c < 0x7F;
      p[2 * i] = printable ? static_cast<char>(c) : '.';
      p[2 * i + 1] = printable ? ' ' : '.';
    }
    return p + 16;
  }
  uint32_t units[8], high = 0, low = 0;
  for (int i = 0; i < 8; ++i) {
    const uint32_t a = row[2 * i], b = row[2 * i + 1];
    const uint32_t u = kBigEndian ? a << 8 | b : b << 8 | a;
    units[i] = u;
    high |= static_cast<uint32_t>((u & 0xFC00) == 0xD800) << i;
    low |= static_cast<uint32_t>((u & 0xFC00) == 0xDC00) << i;
  }
  if ((high & ((low >> 1) | 0x80)) != 0) return nullptr;
  for (int i = 0; i < 8; ++i) {
    uint32_t w = console::g_char_words[units[i]];
    if (w == 0) w = console::build_char_word(units[i]);
    if ((w & console::kCharWordLong) != 0) return nullptr;
    uint32_t length;
    const uint32_t out = unit_word(w, &length);
    p = put_word(p, out, length);
  }
  return p;
}

}  // namespace

uint32_t build_euc_pair_word(uint8_t lead, uint8_t trail) {
  const uint8_t bytes[2] = {lead, trail};
  const encoding::Decoded d = encoding::decode_euc_jp(bytes, 2);
  uint32_t w = kNoPair;
  if (d.cp != encoding::kNoChar && d.length == 2) {
    const console::CharSpelling s = console::display_char(d.cp);
    w = kGeneralPair;
    if (s.cells == 0 || s.cells > 2) {
      w = '.' | '.' << 8;
    } else if (s.glyph.length + 2 - s.cells <= 4) {
      // Every byte of the spelling from 0x80 up, as last_position_word needs.
      uint32_t spelt = 0;
      bool high = true;
      for (int i = 0; i < s.glyph.length; ++i) {
        const uint8_t c = static_cast<uint8_t>(s.glyph.text[i]);
        high = high && c >= 0x80;
        spelt |= uint32_t{c} << (8 * i);
      }
      if (s.cells == 1) spelt |= uint32_t{' '} << (8 * s.glyph.length);
      if (high) w = spelt;
    }
  }
  g_euc_pair_words[euc_pair_index(lead, trail)] = w;
  return w;
}

void decoded_rows_setup(const char* kernel_name) {
  g_decoded_row_paths = {};
  if (!console::display_chars_are_utf8()) return;
  // EUC-JP has no portable writer: word by word in scalar code it is slower than the
  // general column, which decodes only the bytes that may begin a character.
  g_decoded_row_paths = {nullptr, put_utf16_row<false>, put_utf16_row<true>};
  add_arch_decoded_rows(kernel_name, g_decoded_row_paths);
  g_decoded_row_paths.utf8 = utf8_row_writer_up_to(kernel_name);
}

}  // namespace dump
