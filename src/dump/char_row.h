// The character column of a full row (sixteen valid bytes, no leading blanks) decided
// at once from the row's class masks: the same bytes and the same carry-over state as
// write_char_byte for each byte followed by finish_char_column, without a branch per
// byte. The row kernel has already written the plain column; only the positions that
// Japanese display or the display conversion changes are rewritten.
//
// put_char_row is inline so that each row kernel compiles it into its own line writer.
#pragma once

#include <cstdint>

#include "console/dump_options.h"
#include "dump/block_reader.h"
#include "dump/byte_class.h"
#include "dump/hex_simd.h"
#include "dump/japanese.h"

namespace dump {

/// Learns the byte classes and spellings and sets up the row kernels; call after
/// char_column_setup.
void char_row_setup();

/// True when the character column goes out unconverted (learnt by char_row_setup).
bool char_row_is_raw();

/// Of the lead bytes at the bits of leads, those held for the byte after them: in each
/// run of consecutive lead bytes the first, the third, and so on.
inline uint32_t held_leads(uint32_t leads) {
  constexpr uint32_t kEven = 0x55555555, kOdd = 0xAAAAAAAA;
  const uint32_t starts = leads & ~(leads << 1);
  // Adding a run's lowest bit clears the run: what survives began at an odd position.
  const uint32_t odd_runs = (leads + (starts & kEven)) & leads;
  return ((leads & ~odd_runs) & kEven) | (odd_runs & kOdd);
}

/// Writes the column glyph by glyph from p, through the display tables: held is the set
/// of held lead bytes, blank_first whether position 0 was shown at the last line's end.
char* put_glyph_row(char* p, const uint8_t* row, uint32_t held, uint32_t trail, bool blank_first);

/// Completes the column whose plain form the row kernel wrote at col for row, and
/// returns its end; Blend is the kernel's blend_row. REQUIRES: room for 17 glyphs at col.
template <BlendRowFn Blend>
inline char* put_char_row(char* col, const uint8_t* row, const RowScan& scan, bool raw) {
  constexpr uint32_t kPosition15 = 1u << 15;
  if (!console::g_options.japanese_display) {
    return scan.glyph == 0 ? col + 16 : put_glyph_row(col, row, 0, 0, false);
  }
  // Nothing is held between lines: finish_char_column resolved it at the last line end.
  // A byte shown at the last line's end is blank here and pairs with nothing.
  const bool blank_first = g_char_column.trail_shown;
  const uint32_t held = held_leads(scan.lead & ~static_cast<uint32_t>(blank_first));
  if (scan.glyph != 0 || (held != 0 && !raw)) {
    g_char_column.trail_shown = false;
    return put_glyph_row(col, row, held, scan.trail, blank_first);
  }
  // Unconverted, a pair is its two bytes and a broken one two dots, in their positions.
  // The rest is decided without branches: the flags below are random on random data.
  const uint32_t inner = held & ~kPosition15;
  const uint32_t paired = inner & (scan.trail >> 1);
  const uint32_t broken = inner & ~paired;
  Blend(col, row, paired | (paired << 1), broken | (broken << 1));
  col[0] = blank_first ? ' ' : col[0];
  // A lead byte at position 15 takes the look-ahead byte when that is a trail byte
  // (the pair stands in positions 16 and 17), else it is a dot.
  const bool held_last = (held & kPosition15) != 0;
  const int32_t look_ahead = g_look_ahead;
  const bool ahead_is_trail = look_ahead >= 0 && is_trail_byte(static_cast<uint8_t>(look_ahead));
  const bool pair_last = held_last && ahead_is_trail;
  const char last = pair_last ? static_cast<char>(row[15]) : '.';
  col[15] = held_last ? last : col[15];
  col[16] = static_cast<char>(look_ahead);  // past the column unless the pair stands there
  g_char_column.trail_shown = pair_last;
  return col + 16 + (pair_last ? 1 : 0);
}

/// The rest of a full line after the row kernel: the hyphen and the character column.
template <BlendRowFn Blend>
inline char* finish_row_line(char* out, const uint8_t* bytes, const RowScan& scan,
                             RowLineFlags flags) {
  if (flags.hyphen) out[kHyphenIndex] = '-';
  return put_char_row<Blend>(out + kCharColumnIndex, bytes, scan, flags.raw);
}

}  // namespace dump
