// The character column in a text encoding decoded character by character (EUC-JP,
// UTF-8, UTF-16): every character stands at its first byte's position and takes its
// cells there, the rest of its bytes are blanks, so the column keeps one position per
// byte. A character that begins near the line's end is shown whole there, through the
// look-ahead bytes, and the next line shows blanks for the bytes it took. Bytes that
// spell no character, and characters that must not reach the terminal as themselves
// (controls, format and zero-width characters, marks, the BOM), are a dot per byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "encoding/text_encoding.h"

namespace dump {

/// The encoding of the file being dumped, and the carry-over between its lines.
struct FileEncoding {
  encoding::TextEncoding encoding = encoding::TextEncoding::kCodePage;  ///< in force now
  bool decided = true;  ///< false while auto has met nothing but ASCII
  bool euc_jp = false;  ///< auto may choose EUC-JP (the code page is Japanese)
  int32_t carried = 0;  ///< positions at the next line's start shown at this line's end
};

extern FileEncoding g_file_encoding;

/// Per-file start: the encoding the option names, undecided under auto.
void begin_file_encoding();

/// Under auto, decides from bytes p[0..n) of the file when they hold a non-ASCII byte:
/// at_start when p is the file's first byte, more when bytes may follow them.
void note_file_bytes(const uint8_t* p, size_t n, bool at_start, bool more);

/// True when the file's column is decoded here rather than by the code page's classes.
inline bool file_is_decoded() {
  return g_file_encoding.encoding != encoding::TextEncoding::kCodePage &&
         g_file_encoding.encoding != encoding::TextEncoding::kAuto;
}

/// Bytes after a line that its last character may need (the look-ahead).
inline constexpr size_t kDecodeLookAhead = encoding::kMaxCharBytes - 1;

/// How many bytes after the full line row its last character may need, at most
/// kDecodeLookAhead: live input waits for them before the line is shown.
size_t look_ahead_wanted(const uint8_t* row);

/// Bit j set for position j: what the hex column's highlighting needs of a line.
struct DecodedClasses {
  uint32_t lead = 0;     ///< the first byte of a multibyte (UTF-16: non-ASCII) character
  uint32_t control = 0;  ///< a byte of a control code unit
  uint32_t newline = 0;  ///< a byte of a CR or LF code unit
};

/// True when the full line row is ASCII and nothing of it was shown at the last line's
/// end, in a byte-oriented encoding: then the plain column is the decoded one.
inline bool row_is_plain_ascii(const uint8_t* row) {
  if (g_file_encoding.carried != 0 ||
      g_file_encoding.encoding == encoding::TextEncoding::kUtf16Le ||
      g_file_encoding.encoding == encoding::TextEncoding::kUtf16Be) {
    return false;
  }
  uint64_t a, b;
  std::memcpy(&a, row, 8);
  std::memcpy(&b, row + 8, 8);
  return ((a | b) & 0x8080808080808080ull) == 0;
}

/// Room put_decoded_column may use: 17 positions of up to four bytes, or of a long
/// spelling (a Glyph) where the display charset needs one.
inline constexpr size_t kDecodedColumnRoom = 17 * 12 + 16;

/// Puts the character column of bytes[first..last] at p, reading a character that
/// begins near the end into the ahead_count bytes after last; returns the column's end.
/// Fills classes unless it is nullptr.
/// REQUIRES: kDecodedColumnRoom bytes at p; bytes[last + 1 .. last + ahead_count]
/// readable; ahead_count <= kDecodeLookAhead, and 0 unless last is 15.
char* put_decoded_column(char* p, const uint8_t* bytes, int first, int last, size_t ahead_count,
                         DecodedClasses* classes);

/// put_decoded_column of a full row without classes under Japanese display, for a row
/// the row writers (decoded_row.h) have left: the general column's own shortcuts only.
/// REQUIRES: as put_decoded_column, with first 0 and last 15.
char* put_full_row_column(char* p, const uint8_t* bytes, size_t ahead_count);

}  // namespace dump
