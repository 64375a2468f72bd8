#include "dump/hex_simd.h"

#include <cstring>

#include "dump/char_row.h"

namespace dump {
namespace {

// "XX " for every byte value, padded to four so that one 32-bit copy writes a triplet;
// the pad byte is overwritten by the next triplet or lies in the row slack.
constexpr auto kHexTriplets = [] {
  struct Table {
    char text[256][4];
  } table{};
  constexpr char kDigits[] = "0123456789ABCDEF";
  for (int b = 0; b < 256; ++b) {
    table.text[b][0] = kDigits[b >> 4];
    table.text[b][1] = kDigits[b & 15];
    table.text[b][2] = ' ';
    table.text[b][3] = ' ';
  }
  return table;
}();

struct RowKernelState {
  ScanRanges ranges;
  RowKernelList list;
  const RowKernel* chosen = nullptr;
};
RowKernelState g_kernels;

void scan_row_portable(const uint8_t* bytes, RowScan* scan) {
  uint32_t lead = 0, trail = 0, glyph = 0, copy = 0;
  const uint8_t* table = g_kernels.ranges.table;
  for (uint32_t i = 0; i < 16; ++i) {
    const uint8_t c = table[bytes[i]];
    lead |= static_cast<uint32_t>(c & 1) << i;
    trail |= static_cast<uint32_t>((c >> 1) & 1) << i;
    copy |= static_cast<uint32_t>((c >> 2) & 1) << i;
    glyph |= static_cast<uint32_t>((c >> 3) & 1) << i;
  }
  scan->lead = lead;
  scan->trail = trail;
  scan->glyph = glyph;
  scan->copy = copy;
}

void format_row_portable(char* out, uint32_t address, const uint8_t* bytes, const RowScan& scan) {
  for (int shift = 24, i = 0; shift >= 0; shift -= 8, i += 2) {
    std::memcpy(out + i, kHexTriplets.text[(address >> shift) & 0xFF], 2);
  }
  std::memcpy(out + 8, "  ", 2);
  // Each copy writes four bytes, the fourth a blank that the next triplet overwrites;
  // the last one's blank is the first of the gap.
  for (int i = 0; i < 16; ++i) std::memcpy(out + 10 + 3 * i, kHexTriplets.text[bytes[i]], 4);
  out[59] = ' ';
  for (int i = 0; i < 16; ++i) {
    out[kCharColumnIndex + i] = (scan.copy >> i) & 1 ? static_cast<char>(bytes[i]) : '.';
  }
}

void select_row_portable(char* col, const uint8_t* row, uint32_t shown, bool blank_first) {
  for (int i = 0; i < 16; ++i) col[i] = (shown >> i) & 1 ? static_cast<char>(row[i]) : '.';
  if (blank_first) col[0] = ' ';
}

char* put_row_lines_portable(char* out, const char* limit, uint32_t address, const uint8_t* rows,
                             size_t count, int32_t last_look_ahead, RowLineFlags flags,
                             size_t* done) {
  return put_row_lines<scan_row_portable, format_row_portable, select_row_portable, put_word_row>(
      out, limit, address, rows, count, last_look_ahead, flags, done);
}

constexpr RowKernel kPortableKernel = {"portable", scan_row_portable, format_row_portable,
                                       select_row_portable, put_row_lines_portable};

// The ranges of one class, or false when it needs more than kMaxRanges.
bool to_ranges(const bool (&member)[256], ScanRanges::Class& out) {
  out.count = 0;
  for (int b = 0; b < 256;) {
    if (!member[b]) {
      ++b;
      continue;
    }
    int last = b;
    while (last + 1 < 256 && member[last + 1]) ++last;
    if (out.count == ScanRanges::kMaxRanges) return false;
    out.ranges[out.count++] = {static_cast<uint8_t>(b), static_cast<uint8_t>(last - b)};
    b = last + 1;
  }
  return true;
}

}  // namespace

void row_kernels_setup(const ScanClasses& classes) {
  ScanRanges& r = g_kernels.ranges;
  for (int b = 0; b < 256; ++b) {
    r.table[b] = static_cast<uint8_t>((classes.lead[b] ? 1 : 0) | (classes.trail[b] ? 2 : 0) |
                                      (classes.copy[b] ? 4 : 0) | (classes.glyph[b] ? 8 : 0));
  }
  r.fits = to_ranges(classes.lead, r.lead) && to_ranges(classes.trail, r.trail) &&
           to_ranges(classes.copy, r.copy) && to_ranges(classes.glyph, r.glyph);
  g_kernels.list = RowKernelList{};
  g_kernels.list.kernels[g_kernels.list.count++] = kPortableKernel;
  add_arch_row_kernels(g_kernels.list);
  g_kernels.chosen = &g_kernels.list.kernels[g_kernels.list.count - 1];
}

const RowKernelList& row_kernels() {
  return g_kernels.list;
}

const RowKernel& row_kernel() {
  return *g_kernels.chosen;
}

void use_row_kernel(const RowKernel& kernel) {
  for (int i = 0; i < g_kernels.list.count; ++i) {
    if (g_kernels.list.kernels[i].put_row_lines == kernel.put_row_lines) {
      g_kernels.chosen = &g_kernels.list.kernels[i];
    }
  }
}

const char* const* built_row_kernel_names() {
  static const auto kNames = [] {
    struct Names {
      const char* names[sizeof(RowKernelList::kernels) / sizeof(RowKernel) + 1] = {};
    } n;
    int count = 0;
    n.names[count++] = kPortableKernel.name;
    for (const char* const* arch = arch_row_kernel_names(); *arch != nullptr; ++arch) {
      n.names[count++] = *arch;
    }
    return n;
  }();
  return kNames.names;
}

int built_kernel_position(const char* name) {
  const char* const* built = built_row_kernel_names();
  for (int i = 0; built[i] != nullptr; ++i) {
    if (std::strcmp(built[i], name) == 0) return i;
  }
  return -1;
}

void cap_row_kernel(const char* name) {
  const int cap = built_kernel_position(name);
  if (cap < 0) return;
  const RowKernel* chosen = nullptr;
  for (int k = 0; k < g_kernels.list.count; ++k) {
    const int position = built_kernel_position(g_kernels.list.kernels[k].name);
    if (position >= 0 && position <= cap) chosen = &g_kernels.list.kernels[k];
  }
  if (chosen != nullptr) g_kernels.chosen = chosen;
}

bool solve_nibble_sums(const bool (&member)[256], const uint8_t (&want)[256], uint8_t* high,
                       uint8_t* low) {
  // Each member ties its high nibble's entry to its low nibble's: an entry becomes known
  // from one already known, and a group of nibbles tied to none known yet starts at 0.
  // (The members are listed first: this runs at every start, for a few dozen of them.)
  uint8_t members[256];
  int count = 0;
  for (int b = 0; b < 256; ++b) {
    if (member[b]) members[count++] = static_cast<uint8_t>(b);
  }
  bool high_known[16] = {}, low_known[16] = {};
  for (int i = 0; i < 16; ++i) high[i] = low[i] = 0;
  for (bool progress = true; progress;) {
    progress = false;
    int seed = -1;
    for (int m = 0; m < count; ++m) {
      const int b = members[m], h = b >> 4, l = b & 15;
      if (high_known[h] && !low_known[l]) {
        low[l] = static_cast<uint8_t>(want[b] - high[h]);
        low_known[l] = progress = true;
      } else if (!high_known[h] && low_known[l]) {
        high[h] = static_cast<uint8_t>(want[b] - low[l]);
        high_known[h] = progress = true;
      } else if (!high_known[h] && seed < 0) {
        seed = b;
      }
    }
    if (!progress && seed >= 0) high_known[seed >> 4] = progress = true;
  }
  for (int m = 0; m < count; ++m) {
    const int b = members[m];
    if (static_cast<uint8_t>(high[b >> 4] + low[b & 15]) != want[b]) return false;
  }
  return true;
}

const ScanRanges& scan_ranges() {
  return g_kernels.ranges;
}

}  // namespace dump
