// The character column of a full row (sixteen valid bytes, no leading blanks) decided
// at once from the row's class masks: the same bytes and the same carry-over state as
// write_char_byte for each byte followed by finish_char_column, without a branch per
// byte. The row kernel has already written the plain column; only the positions that
// Japanese display or the display conversion changes are rewritten.
//
// put_char_row is inline so that each row kernel compiles it into its own line writer.
#pragma once

#include <cstdint>
#include <cstring>

#include "console/display_encoding.h"
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
/// of held lead bytes, blank_first whether position 0 was shown at the last line's end;
/// sets trail_shown when the line ends with a pair completed by look_ahead. Spells every
/// pair it shows that was not spelt yet.
char* put_glyph_row(char* p, const uint8_t* row, uint32_t held, uint32_t trail, bool blank_first,
                    int32_t look_ahead, bool& trail_shown);

/// Indexes in the column words (console::display_words) of spellings of the column's own:
/// bytes 0-255 as the plain rule shows them, then these.
inline constexpr uint32_t kTwoDotsWord = 256;  // a lead byte and a byte that is no trail byte
inline constexpr uint32_t kDotWord = 257;      // a lead byte at the line end left unpaired
inline constexpr uint32_t kBlankWord = 258;    // a byte shown at the last line's end
inline constexpr uint32_t kNothingWord = 259;  // 0: a byte taken by the held one before it

/// The column words, and whether every plain spelling fits in a word (learnt by
/// char_row_setup); when not, converted columns go glyph by glyph.
struct ColumnWords {
  const uint32_t* words = nullptr;
  const uint8_t* lengths = nullptr;  // console::display_word_lengths
  bool usable = false;
  // Every lead byte is 0x81 or above, so the rows of pairs led by 0x7F and 0x80 are free
  // and hold copies of the column's own spellings: kShortSpecials at 0x7F, 0-3, and byte
  // b at 0x80, b. From there every word the column shows is a 16-bit index away.
  bool short_indexes = false;
};

/// Where the short indexes of ColumnWords count from, and those of the column's own
/// spellings: the fixed ones (kTwoDotsWord, kDotWord, kBlankWord, kNothingWord in order)
/// and byte b as the plain rule shows it; pair lead, trail is at (lead << 8 | trail) less
/// 0x7F00.
inline constexpr uint32_t kShortBase = console::pair_word_index(0x7F, 0);
inline constexpr uint16_t kShortSpecials = 0;
inline constexpr uint16_t kShortBytes = 0x100;
extern ColumnWords g_column_words;

/// What each position of a converted column shows, as masks (bit j for position j): the
/// word of the pair of byte j and the byte after it (next15 after position 15), a fixed
/// spelling (kTwoDotsWord; kBlankWord at position 0 when blank_first; kDotWord at
/// position 15), nothing (the byte was taken by the held one before it), or else byte j
/// by the plain rule, which shows it as itself (copy), by another spelling (glyph) or as
/// a dot. Each mask overrides those before it in this list.
struct WordRow {
  uint32_t copy;
  uint32_t glyph;
  uint32_t specials;
  uint32_t pairs;
  uint32_t empty;
  uint32_t next15;
  bool blank_first;
  // The lead bytes under Japanese display (none without): every pair starts at one of
  // them, whatever the line before held.
  uint32_t lead;
};

/// The word index of each position that shows a fixed spelling, without and with a blank
/// first; rows of 64 bytes, so that a vector loads one whole.
struct SpecialWordIndexes {
  alignas(64) uint32_t index[2][16];
};
inline constexpr SpecialWordIndexes kSpecialWords = [] {
  SpecialWordIndexes s{};
  for (int k = 0; k < 2; ++k) {
    for (int j = 0; j < 16; ++j) s.index[k][j] = kTwoDotsWord;
    s.index[k][15] = kDotWord;
  }
  s.index[1][0] = kBlankWord;
  return s;
}();

/// Writes a converted column word by word. Returns its end, or nullptr when the word of
/// a pair it shows is 0 (not spelt yet, or too long for a word): put_glyph_row then
/// writes the column. May store up to 64 bytes at col.
using WordRowFn = char* (*)(char* col, const uint8_t* row, const WordRow& r);

/// Writes the words at the 16 indexes into words (lengths beside them): each stored
/// whole and the output advanced by its length, so that nothing branches on what a
/// position shows. Returns the end, or nullptr when a word has not been spelt (or is too
/// long for a word).
template <typename Index>
inline char* put_words_at(char* p, const uint32_t* words, const uint8_t* lengths,
                          const Index* index) {
  uint32_t spelt = console::kWordSpelt;
#pragma GCC unroll 16
  for (int j = 0; j < 16; ++j) {
    const uint32_t stored = console::word_in_memory_order(words[index[j]]);
    std::memcpy(p, &stored, sizeof stored);
    // The length from a table rather than from the word: no arithmetic on it, and the
    // next position's place does not wait for the word.
    const uint32_t length = lengths[index[j]];
    spelt &= length;
    p += length & 7;
  }
  return spelt != 0 ? p : nullptr;
}

/// put_words_at for indexes into the whole table of column words.
inline char* put_indexed_words(char* p, const uint32_t* index) {
  return put_words_at(p, g_column_words.words, g_column_words.lengths, index);
}

/// put_words_at for the 16-bit indexes of ColumnWords::short_indexes.
inline char* put_short_indexed_words(char* p, const uint16_t* index) {
  return put_words_at(p, g_column_words.words + kShortBase, g_column_words.lengths + kShortBase,
                      index);
}

/// The portable WordRowFn: the index of each position's word, then put_indexed_words.
inline char* put_word_row(char* p, const uint8_t* row, const WordRow& r) {
  const uint32_t* special = kSpecialWords.index[r.blank_first ? 1 : 0];
  uint32_t index[16];
  for (int j = 0; j < 16; ++j) {
    const uint32_t b = row[j];
    const uint32_t n = j < 15 ? row[j + 1] : r.next15;
    // Chosen with masks: the compiler turns conditionals here into branches, which
    // random data mispredicts.
    uint32_t i = b ^ ((console::pair_word_index(b, n) ^ b) & (0u - ((r.pairs >> j) & 1)));
    i ^= (special[j] ^ i) & (0u - ((r.specials >> j) & 1));
    i ^= (kNothingWord ^ i) & (0u - ((r.empty >> j) & 1));
    index[j] = i;
  }
  return put_indexed_words(p, index);
}

/// How a row's character column is written, decided from its masks alone: see
/// put_char_row, which it is the first half of.
struct CharRowPlan {
  uint32_t held;       // the held lead bytes
  uint32_t pair_last;  // 1 when position 15 pairs with the look-ahead byte
  int32_t look_ahead;  // as the converted column takes it (-1 without Japanese display)
  uint32_t ahead_is_trail;
  bool blank_first;
  bool converted;  // by put_converted_row
  bool japanese;
};

inline CharRowPlan plan_char_row(const RowScan& scan, RowLineFlags flags, int32_t look_ahead,
                                 uint32_t ahead_is_trail, bool& trail_shown) {
  if (!flags.japanese) return {0, 0, -1, 0, false, scan.glyph != 0, false};
  // Nothing is held between lines: finish_char_column resolved it at the last line end.
  // A byte shown at the last line's end is blank here and pairs with nothing, which
  // only changes the run of lead bytes that begins at position 0: its parity flips.
  // trail_shown carries from line to line, and with it where the next line begins, so
  // here it only selects, with arithmetic (a branch on it would be mispredicted often
  // on random data).
  const uint32_t held_fresh = held_leads(scan.lead);
  const uint32_t first_run = scan.lead & ~(scan.lead + 1);
  const bool blank_first = trail_shown;
  const uint32_t held = held_fresh ^ (first_run & (0u - static_cast<uint32_t>(blank_first)));
  // A lead byte at position 15 takes the look-ahead byte when that is a trail byte (the
  // pair then stands in positions 16 and 17); else it is a dot.
  const uint32_t pair_last = (held >> 15) & ahead_is_trail & 1;
  trail_shown = pair_last != 0;
  return {held,        pair_last,
          look_ahead,  ahead_is_trail,
          blank_first, scan.glyph != 0 || (held != 0 && !flags.raw),
          true};
}

/// What each position of a converted column shows (see WordRow).
inline WordRow word_row(const RowScan& scan, const CharRowPlan& plan) {
  constexpr uint32_t kPosition15 = 1u << 15;
  const uint32_t trail = scan.trail;
  const uint32_t inner = plan.held & ~kPosition15;
  const uint32_t held_last = (plan.held >> 15) & 1;
  return {scan.copy,
          scan.glyph,
          (inner & ~(trail >> 1)) | ((held_last & ~plan.ahead_is_trail) << 15) |
              static_cast<uint32_t>(plan.blank_first),
          (inner & (trail >> 1)) | (plan.pair_last << 15),
          inner << 1,
          static_cast<uint32_t>(plan.look_ahead) & 0xFF,
          plan.blank_first,
          plan.japanese ? scan.lead : 0};
}

/// A converted column glyph by glyph, where the words do not serve.
inline char* put_glyph_row(char* col, const uint8_t* row, const RowScan& scan, uint32_t held,
                           bool blank_first, int32_t look_ahead) {
  bool trail_shown = false;
  return put_glyph_row(col, row, held, scan.trail, blank_first, look_ahead, trail_shown);
}

/// A converted column: by words when they serve, else glyph by glyph.
template <WordRowFn Words>
inline char* put_converted_row(char* col, const uint8_t* row, const RowScan& scan,
                               const CharRowPlan& plan) {
  char* end = g_column_words.usable ? Words(col, row, word_row(scan, plan)) : nullptr;
  if (end != nullptr) return end;
  return put_glyph_row(col, row, scan, plan.held, plan.blank_first, plan.look_ahead);
}

/// The second half of put_char_row: writes the column as plan says.
template <SelectRowFn Select, WordRowFn Words>
inline char* put_planned_row(char* col, const uint8_t* row, const RowScan& scan,
                             const CharRowPlan& plan) {
  constexpr uint32_t kPosition15 = 1u << 15;
  if (plan.converted) {
    return put_converted_row<Words>(col, row, scan, plan);
  }
  if (!plan.japanese) return col + 16;
  // Unconverted, every position shows its own byte or a dot: a held lead byte and the
  // byte it takes both show themselves when they pair, both are dots when they do not;
  // every other byte keeps its plain form. All of it is mask arithmetic: on random data
  // each flag here is a coin toss, and a branch on it would often be mispredicted.
  const uint32_t inner = plan.held & ~kPosition15;
  const uint32_t paired = inner & (scan.trail >> 1);
  // No lead byte is ever shown as itself (char_row_setup makes sure), so only the bytes
  // that held ones take are struck from the plain ones.
  const uint32_t shown = (scan.copy & ~((inner << 1) | static_cast<uint32_t>(plan.blank_first))) |
                         (paired * 3) | (plan.pair_last << 15);
  Select(col, row, shown, plan.blank_first);
  col[16] = static_cast<char>(plan.look_ahead);  // past the column unless the pair stands there
  return col + 16 + plan.pair_last;
}

/// Completes the column whose plain form the row kernel wrote at col for row, and
/// returns its end; look_ahead is the byte after the row (-1 at the end of the input)
/// and ahead_is_trail whether it is a trail byte, trail_shown the carry-over from the
/// last line to the next. Select is the kernel's select_row, Words its converted column.
/// REQUIRES: room for 17 glyphs at col, and for 64 bytes.
template <SelectRowFn Select, WordRowFn Words>
inline char* put_char_row(char* col, const uint8_t* row, const RowScan& scan, RowLineFlags flags,
                          int32_t look_ahead, uint32_t ahead_is_trail, bool& trail_shown) {
  const CharRowPlan plan = plan_char_row(scan, flags, look_ahead, ahead_is_trail, trail_shown);
  return put_planned_row<Select, Words>(col, row, scan, plan);
}

/// Whether look_ahead (-1 at the end of the input) is a trail byte, as 1 or 0.
inline uint32_t trail_flag(int32_t look_ahead) {
  return look_ahead >= 0 && is_trail_byte(static_cast<uint8_t>(look_ahead)) ? 1 : 0;
}

/// count full lines through one kernel's pieces, each with its line end: see
/// PutRowLinesFn. The carry-over state stays in registers from line to line.
template <ScanRowFn Scan, FormatRowFn Format, SelectRowFn Select, WordRowFn Words>
inline char* put_row_lines(char* out, const char* limit, uint32_t address, const uint8_t* rows,
                           size_t count, int32_t last_look_ahead, RowLineFlags flags,
                           size_t* done) {
  bool trail_shown = g_char_column.trail_shown;
  // Each line's classes are taken one line ahead: the chain from a line's bytes through
  // its masks to its character column is long, and starting it early lets the next
  // line's work overlap this one's.
  RowScan next;
  if (count > 0) Scan(rows, &next);
  size_t i = 0;
  for (; i < count && out < limit; ++i, rows += 16, address += 16) {
    const RowScan scan = next;
    if (i + 1 < count) Scan(rows + 16, &next);
    Format(out, address, rows, scan);
    if (flags.hyphen) out[kHyphenIndex] = '-';
    // The byte after a line is the next line's first, whose class is known already.
    const bool last = i + 1 == count;
    const int32_t look_ahead = last ? last_look_ahead : rows[16];
    const uint32_t ahead_is_trail = last ? trail_flag(last_look_ahead) : next.trail & 1;
    out = put_char_row<Select, Words>(out + kCharColumnIndex, rows, scan, flags, look_ahead,
                                      ahead_is_trail, trail_shown);
    *out++ = '\n';
  }
  // Stored as its byte: GCC 12 otherwise stores the bool and masks it again in memory.
  const uint8_t flag = trail_shown ? 1 : 0;
  std::memcpy(&g_char_column.trail_shown, &flag, 1);
  *done = i;
  return out;
}

}  // namespace dump
