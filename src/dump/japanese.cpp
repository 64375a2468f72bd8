#include "dump/japanese.h"

#include <cstring>

#include "console/display_encoding.h"
#include "console/dump_options.h"
#include "console/output.h"
#include "dump/block_reader.h"
#include "dump/byte_class.h"

namespace dump {

CharColumnState g_char_column;

namespace {

console::Glyph g_plain_glyph[256];
constexpr console::Glyph kDot = {1, {'.'}};
constexpr console::Glyph kBlank = {1, {' '}};

// Copies the whole fixed-size spelling and advances by its length: no branch on length.
inline char* put_glyph(char* p, const console::Glyph& g) {
  std::memcpy(p, g.text, sizeof g.text);
  return p + g.length;
}

inline char* put_pair(char* p, uint8_t lead, uint8_t trail) {
  return put_glyph(p, console::display_pair(lead, trail));
}

}  // namespace

void char_column_setup() {
  for (int b = 0; b < 256; ++b) {
    const uint8_t byte = static_cast<uint8_t>(b);
    g_plain_glyph[b] =
        is_printable(byte) || is_kana_symbol(byte) ? console::display_single(byte) : kDot;
  }
}

char* put_plain_char(char* p, uint8_t b) {
  return put_glyph(p, g_plain_glyph[b]);
}

char* put_char_byte(char* p, uint8_t b) {
  if (!console::g_options.japanese_display) return put_plain_char(p, b);
  if (g_char_column.trail_shown) {
    // b is the trail byte already written at the end of the previous line.
    g_char_column.trail_shown = false;
    return put_glyph(p, kBlank);
  }
  if (g_char_column.pending_lead != 0) {
    const uint8_t lead = g_char_column.pending_lead;
    g_char_column.pending_lead = 0;
    // The byte after a held lead byte is always taken by it: a pair, or two dots.
    if (is_trail_byte(b)) return put_pair(p, lead, b);
    p = put_glyph(p, kDot);
    return put_glyph(p, kDot);
  }
  if (is_lead_byte(b)) {
    g_char_column.pending_lead = b;
    return p;
  }
  return put_plain_char(p, b);
}

char* put_finish_char_column(char* p) {
  if (!console::g_options.japanese_display || g_char_column.pending_lead == 0) return p;
  const uint8_t lead = g_char_column.pending_lead;
  g_char_column.pending_lead = 0;
  if (g_look_ahead >= 0 && is_trail_byte(static_cast<uint8_t>(g_look_ahead))) {
    // The pair stands in positions 16 and 17; the next line shows a blank for its trail.
    g_char_column.trail_shown = true;
    return put_pair(p, lead, static_cast<uint8_t>(g_look_ahead));
  }
  return put_glyph(p, kDot);
}

void write_char_byte(uint8_t b) {
  char* p = console::out_reserve(2 * sizeof(console::Glyph));
  console::out_commit(put_char_byte(p, b));
}

void finish_char_column() {
  char* p = console::out_reserve(2 * sizeof(console::Glyph));
  console::out_commit(put_finish_char_column(p));
}

}  // namespace dump
