// The character column of a full line in EUC-JP or UTF-16, on a display that takes
// UTF-8, written a word per position: each position's spelling (a character over its
// positions, a single byte, a blank, or nothing) is chosen with masks and stored whole,
// the output advancing by its length, so that nothing branches on what a byte is. On
// random bytes whether a position begins a character is a coin toss, and a branch on it
// is mispredicted half the time. A line these paths leave alone (one holding a JIS X
// 0212 character or a character past U+FFFF, or beginning inside one) is written by the
// general decoded column. UTF-8's row writers, built another way, are in utf8_row.h;
// this header chooses and calls the writers of every encoding.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/display_char.h"
#include "dump/decoded_column.h"
#include "dump/utf8_row.h"
#include "encoding/text_encoding.h"

namespace dump {

/// Writes at p the column of the full line row (its 16 bytes, and 3 after them), whose
/// first carried positions were shown at the last line's end; returns the column's end
/// and sets carried for the next line, or returns nullptr, carried untouched, when the
/// line needs the general column. REQUIRES: 64 bytes of room at p.
using DecodedRowFn = char* (*)(char* p, const uint8_t* row, int32_t* carried);

/// The row writers of each encoding for one instruction set; nullptr where there is none.
struct DecodedRowPaths {
  DecodedRowFn euc_jp = nullptr;
  DecodedRowFn utf16le = nullptr;
  DecodedRowFn utf16be = nullptr;
  PutUtf8RowFn utf8 = nullptr;  ///< from utf8_row.h, whose writers take any look-ahead
};

/// Chooses the row writers for the instruction set of the row kernel named kernel_name
/// (the fastest ones up to it), or none unless characters are spelled in UTF-8. Call
/// after display_char_setup.
void decoded_rows_setup(const char* kernel_name);

/// The row writers decoded_rows_setup chose.
extern DecodedRowPaths g_decoded_row_paths;

/// The column of a full line without classes in the file's encoding, as
/// put_decoded_column writes it, or nullptr when no row writer serves the line.
static_assert(kDecodedColumnRoom >= kUtf8RowRoom && kDecodedColumnRoom >= 64);
/// REQUIRES: row[16 .. 16 + ahead_count) readable; 64 bytes of room at p.
inline char* put_decoded_row_by_words(char* p, const uint8_t* row, size_t ahead_count) {
  DecodedRowFn put = nullptr;
  switch (g_file_encoding.encoding) {
    case encoding::TextEncoding::kEucJp:
      // The pairs at the line's end, and the JIS X 0212 test, read all three bytes after it.
      if (ahead_count == kDecodeLookAhead) put = g_decoded_row_paths.euc_jp;
      break;
    case encoding::TextEncoding::kUtf16Le:
      put = g_decoded_row_paths.utf16le;
      break;
    case encoding::TextEncoding::kUtf16Be:
      put = g_decoded_row_paths.utf16be;
      break;
    case encoding::TextEncoding::kUtf8:
      return g_decoded_row_paths.utf8 == nullptr
                 ? nullptr
                 : g_decoded_row_paths.utf8(p, row, ahead_count, &g_file_encoding.carried);
    default:
      break;
  }
  return put == nullptr ? nullptr : put(p, row, &g_file_encoding.carried);
}

// ---- For the row writers of each architecture.

/// Adds the architecture's row writers that the row kernel named may use to paths.
void add_arch_decoded_rows(const char* kernel_name, DecodedRowPaths& paths);

/// EUC-JP pairs of two high bytes, at euc_pair_index: the pair's spelling over its two
/// positions as a column word (its bytes from the lowest, 0 after them), kNoPair when
/// the two bytes begin no character, kGeneralPair for a character these writers leave
/// to the general column, 0 until build_euc_pair_word has seen the pair.
inline constexpr uint32_t kNoPair = 1;
inline constexpr uint32_t kGeneralPair = 2;
extern uint32_t g_euc_pair_words[128 * 128];

inline uint32_t euc_pair_index(uint32_t lead, uint32_t trail) {
  return (lead & 0x7F) << 7 | (trail & 0x7F);
}

/// Fills and returns the word of the pair lead, trail (both from 0x80 up).
uint32_t build_euc_pair_word(uint8_t lead, uint8_t trail);

/// A pair word as it stands at the line's last position, the rest of the character in
/// the look-ahead: one dot for two, and a one-cell character without its blank. Every
/// byte of a spelling in a pair word is from 0x80 up (build_euc_pair_word makes sure),
/// so the bytes below it after the first are the dot and the blank.
inline uint32_t last_position_word(uint32_t w) {
  return w & (((w & 0x80808000u) >> 7) * 0xFF | 0xFF);
}

/// The word of a UTF-16 code unit over its two positions from the code point's
/// console::char_word: the spelling and a blank for one cell, two dots when it is not
/// shown; its length in bytes in length. REQUIRES: w is not kCharWordLong.
inline uint32_t unit_word(uint32_t w, uint32_t* length) {
  const uint32_t cells = (w >> 27) & 3, bytes = (w >> 24) & 7;
  const uint32_t shown = 0u - static_cast<uint32_t>(cells != 0);
  const uint32_t one = cells == 1 ? 1 : 0;
  *length = ((bytes + one) & shown) | (2 & ~shown);
  return (((w & 0xFFFFFF) | (one * 0x20u) << (8 * bytes)) & shown) | (0x2E2E & ~shown);
}

}  // namespace dump
