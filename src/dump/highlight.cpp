#include "dump/highlight.h"

#include <cstring>

#include "console/console.h"
#include "console/dump_options.h"
#include "console/output.h"
#include "dump/byte_class.h"

namespace dump {

HighlightState g_highlight;

namespace {

// "00" to "FF", two characters per byte value.
constexpr auto kHexPairs = [] {
  struct Table {
    char text[512];
  } table{};
  constexpr char kDigits[] = "0123456789ABCDEF";
  for (int b = 0; b < 256; ++b) {
    table.text[2 * b] = kDigits[b >> 4];
    table.text[2 * b + 1] = kDigits[b & 15];
  }
  return table;
}();

}  // namespace

char* put_hex_digits(char* p, uint8_t b) {
  std::memcpy(p, kHexPairs.text + 2 * b, 2);
  return p + 2;
}

namespace {

// The marker rule comes first: 0xFF and the code byte after it. Returns its colour, or
// -1 when the byte is no part of a marker.
int marker_color(uint8_t b) {
  if (!console::g_options.highlight_jpeg_marker) return -1;
  if (b == 0xFF) {
    g_highlight.after_marker = true;
    return console::kColorMarker;
  }
  if (g_highlight.after_marker) {
    g_highlight.after_marker = false;
    return console::kColorMarker;
  }
  return -1;
}

// Writes the digits of b in color (-1: the normal one).
void put_hex_byte_in(uint8_t b, int color) {
  if (color >= 0) console::set_foreground(color);
  char* p = console::out_reserve(2);
  console::out_commit(put_hex_digits(p, b));
  if (color >= 0) console::set_foreground(console::kColorNormal);
}

}  // namespace

int highlight_color(uint8_t b) {
  const int marker = marker_color(b);
  if (marker >= 0) return marker;
  const console::DumpOptions& o = console::g_options;
  if (o.highlight_lead && is_lead_byte(b)) return console::kColorLead;
  if (o.highlight_newline && (b == 0x0D || b == 0x0A)) return console::kColorNewline;
  if (o.highlight_control && is_control(b)) return console::kColorControl;
  return -1;
}

int highlight_color_classed(uint8_t b, bool lead, bool newline, bool control) {
  const int marker = marker_color(b);
  if (marker >= 0) return marker;
  const console::DumpOptions& o = console::g_options;
  if (o.highlight_lead && lead) return console::kColorLead;
  if (o.highlight_newline && newline) return console::kColorNewline;
  if (o.highlight_control && control) return console::kColorControl;
  return -1;
}

bool highlight_active() {
  const console::DumpOptions& o = console::g_options;
  return console::console_has_colour() && (o.highlight_jpeg_marker || o.highlight_lead ||
                                           o.highlight_newline || o.highlight_control);
}

void write_hex_byte(uint8_t b) {
  put_hex_byte_in(b, highlight_color(b));
}

void write_hex_byte_classed(uint8_t b, bool lead, bool newline, bool control) {
  put_hex_byte_in(b, highlight_color_classed(b, lead, newline, control));
}

}  // namespace dump
