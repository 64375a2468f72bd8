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

int highlight_color(uint8_t b) {
  return highlight_color_classed(b, is_lead_byte(b), b == 0x0D || b == 0x0A, is_control(b));
}

int highlight_color_classed(uint8_t b, bool lead, bool newline, bool control) {
  const console::DumpOptions& o = console::g_options;
  if (o.highlight_jpeg_marker) {
    if (b == 0xFF) {
      g_highlight.after_marker = true;
      return console::kColorMarker;
    }
    if (g_highlight.after_marker) {
      g_highlight.after_marker = false;
      return console::kColorMarker;
    }
  }
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
  const bool newline = b == 0x0D || b == 0x0A;
  write_hex_byte_classed(b, is_lead_byte(b), newline, is_control(b));
}

void write_hex_byte_classed(uint8_t b, bool lead, bool newline, bool control) {
  const int color = highlight_color_classed(b, lead, newline, control);
  if (color >= 0) console::set_foreground(color);
  char* p = console::out_reserve(2);
  console::out_commit(put_hex_digits(p, b));
  if (color >= 0) console::set_foreground(console::kColorNormal);
}

}  // namespace dump
