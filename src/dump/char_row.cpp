#include "dump/char_row.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "console/display_encoding.h"
#include "console/output.h"
#include "text/messages.h"

namespace dump {
namespace {

using console::Glyph;

struct CharRowTables {
  bool raw = true;   // a pair is spelt as its two bytes, every shown byte as itself
  Glyph plain[256];  // the byte as the plain rule spells it
};
CharRowTables g_char_row;

constexpr uint32_t kPosition15 = 1u << 15;
constexpr Glyph kDot = {1, {'.'}};
constexpr Glyph kTwoDots = {2, {'.', '.'}};

inline char* put_glyph(char* p, const Glyph& g) {
  std::memcpy(p, g.text, sizeof g.text);
  return p + g.length;
}

// The environment variable that caps the row kernel, for benchmarks and bug reports.
constexpr char kKernelCapVariable[] = "TOVIX_KERNEL";

struct KernelCapState {
  bool told = false;  // the cap that could not be met has been reported
};
KernelCapState g_kernel_cap;

// Caps the kernel as the environment asks; a name this processor does not run is
// reported once, with the kernel that runs instead and those it could have named.
void apply_kernel_cap() {
  const char* cap = std::getenv(kKernelCapVariable);
  if (cap == nullptr || *cap == '\0') return;
  cap_row_kernel(cap);
  if (std::strcmp(row_kernel().name, cap) == 0 || g_kernel_cap.told) return;
  g_kernel_cap.told = true;
  std::string detail;
  for (const char* c = cap; *c != '\0' && detail.size() < 32; ++c) {
    detail += *c > ' ' && *c < 0x7F ? *c : '?';
  }
  detail += " -> ";
  detail += row_kernel().name;
  detail += " (";
  const RowKernelList& runnable = row_kernels();
  for (int k = 0; k < runnable.count; ++k) {
    if (k > 0) detail += ' ';
    detail += runnable.kernels[k].name;
  }
  detail += ')';
  console::err_message(text::kKernelCapMessage, detail.c_str());
}

}  // namespace

ColumnWords g_column_words;

void char_row_setup() {
  ScanClasses classes{};
  g_char_row.raw = console::display_is_raw();
  for (int b = 0; b < 256; ++b) {
    const uint8_t byte = static_cast<uint8_t>(b);
    // The spelling comes from the per-byte writer itself, so both paths agree.
    char text[2 * sizeof(Glyph)];
    const size_t length = static_cast<size_t>(put_plain_char(text, byte) - text);
    Glyph& g = g_char_row.plain[b];
    g = Glyph{};
    g.length = static_cast<uint8_t>(length);
    std::memcpy(g.text, text, length);
    const bool shown = is_printable(byte) || is_kana_symbol(byte);
    classes.copy[b] = shown && length == 1 && text[0] == static_cast<char>(byte);
    classes.glyph[b] = shown && !classes.copy[b];
    classes.lead[b] = is_lead_byte(byte);
    classes.trail[b] = is_trail_byte(byte);
  }
  // The column's own spellings beside the pairs' words; a converted column goes word by
  // word only when every plain spelling fits in one.
  uint32_t* words = console::display_words();
  uint8_t* lengths = console::display_word_lengths();
  g_column_words = {words, lengths, true};
  for (int b = 0; b < 256; ++b) {
    words[b] = console::word_of_glyph(g_char_row.plain[b]);
    if (words[b] == 0) g_column_words.usable = false;
  }
  words[kTwoDotsWord] = console::word_of_glyph(kTwoDots);
  words[kDotWord] = console::word_of_glyph(kDot);
  words[kBlankWord] = ' ';
  words[kNothingWord] = 0;
  for (uint32_t i = 0; i <= kNothingWord; ++i) {
    lengths[i] = console::kWordSpelt | console::word_length(words[i]);
  }
  bool low_lead = false;
  for (int b = 0; b < 0x81; ++b) low_lead = low_lead || is_lead_byte(static_cast<uint8_t>(b));
  g_column_words.short_indexes = !low_lead;
  if (g_column_words.short_indexes) {
    for (uint32_t i = 0; i < 4; ++i) {
      words[kShortBase + kShortSpecials + i] = words[kTwoDotsWord + i];
      lengths[kShortBase + kShortSpecials + i] = lengths[kTwoDotsWord + i];
    }
    for (uint32_t b = 0; b < 256; ++b) {
      words[kShortBase + kShortBytes + b] = words[b];
      lengths[kShortBase + kShortBytes + b] = lengths[b];
    }
  }
  // The fast column relies on it: a lead byte is held, never shown by the plain rule.
  for (int b = 0; b < 256; ++b) classes.copy[b] = classes.copy[b] && !classes.lead[b];
  row_kernels_setup(classes);
  apply_kernel_cap();
}

bool char_row_is_raw() {
  return g_char_row.raw;
}

char* put_glyph_row(char* p, const uint8_t* row, uint32_t held, uint32_t trail, bool blank_first,
                    int32_t look_ahead, bool& trail_shown) {
  // Position by position: a held byte and the one it takes as one glyph (the pair, or
  // two dots), every other byte by the plain rule. Each glyph is copied whole and the
  // output advances by its length, so only the choice of glyph branches.
  const uint32_t inner = held & ~kPosition15;
  const int end = (held & kPosition15) != 0 ? 15 : 16;
  int j = 0;
  if (blank_first) {
    *p++ = ' ';
    j = 1;
  }
  while (j < end) {
    if (((inner >> j) & 1) == 0) {
      p = put_glyph(p, g_char_row.plain[row[j]]);
      ++j;
      continue;
    }
    p = (trail >> (j + 1)) & 1 ? put_glyph(p, console::display_pair(row[j], row[j + 1]))
                               : put_glyph(p, kTwoDots);
    j += 2;
  }
  if (end == 16) return p;
  // The lead byte at the line end takes the look-ahead byte, as finish_char_column does.
  if (look_ahead < 0 || !is_trail_byte(static_cast<uint8_t>(look_ahead))) {
    return put_glyph(p, kDot);
  }
  trail_shown = true;
  return put_glyph(p, console::display_pair(row[15], static_cast<uint8_t>(look_ahead)));
}

}  // namespace dump
