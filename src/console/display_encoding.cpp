#include "console/display_encoding.h"

#include <algorithm>
#include <cstring>

#include "console/output.h"

namespace console {
namespace {

struct DisplayTables {
  Glyph single[256];
  Glyph pair;  // scratch for the raw spelling of a pair
};
DisplayTables g_display = [] {
  DisplayTables t{};
  for (int b = 0; b < 256; ++b) {
    t.single[b].length = 1;
    t.single[b].text[0] = static_cast<char>(b);
  }
  t.pair.length = 2;
  return t;
}();

}  // namespace

void display_setup(int, const char*) {}

bool display_is_raw() { return true; }

const Glyph& display_single(uint8_t b) { return g_display.single[b]; }

const Glyph& display_pair(uint8_t lead, uint8_t trail) {
  g_display.pair.text[0] = static_cast<char>(lead);
  g_display.pair.text[1] = static_cast<char>(trail);
  return g_display.pair;
}

void display_write_message(const char* text, size_t n) { out_raw(text, n); }

size_t display_convert_message_to(const char* text, size_t n, char* out, size_t cap) {
  const size_t len = std::min(n, cap);
  std::memcpy(out, text, len);
  return len;
}

}  // namespace console
