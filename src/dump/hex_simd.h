// Row kernels: the hot loop of the dump, one full row of sixteen bytes at a time.
//
// A kernel writes the plain form of a whole row, offset to character column, and
// classifies its bytes at the same time, so that the line layout only has to fix up the
// few positions that Japanese display changes. Every kernel gives the same bytes; they
// differ only in the instructions they use. The portable one works on any processor;
// an architecture may add faster ones in hex_simd_<arch>.cpp, which must provide
// add_arch_row_kernels (declared below) and may add nothing.
//
// Row layout written by format_row (76 bytes, no line end):
//   bytes 0-7    offset, eight upper-case hex digits
//   bytes 8-9    two blanks
//   bytes 10-57  sixteen "XX " triplets; every separator a blank (the caller sets the
//                hyphen at byte 33)
//   bytes 58-59  two blanks
//   bytes 60-75  character column: each byte as itself when it is shown as itself,
//                else "."
#pragma once

#include <cstddef>
#include <cstdint>

namespace dump {

/// Bytes format_row writes; a kernel may store up to kRowSlack bytes beyond them.
inline constexpr size_t kRowWidth = 76;
/// Room past kRowWidth that a kernel may scribble on.
inline constexpr size_t kRowSlack = 16;
/// Index in a row of the separator after position 7 (column 34).
inline constexpr size_t kHyphenIndex = 33;
/// Index in a row of the first character-column position.
inline constexpr size_t kCharColumnIndex = 60;

/// Bit i is set when byte i of the row belongs to the class.
struct RowScan {
  uint32_t lead = 0;   ///< lead bytes of double-byte characters
  uint32_t trail = 0;  ///< possible trail bytes
  uint32_t glyph = 0;  ///< shown, but spelt by a glyph other than the byte itself
};

/// The byte sets a row scan tells apart, one flag per byte value.
struct ScanClasses {
  bool lead[256];
  bool trail[256];
  bool copy[256];   ///< shown in the character column as the byte itself
  bool glyph[256];  ///< shown, spelt otherwise (a converted kana)
};

/// Writes the plain row of bytes at out (layout above) and classifies its bytes into
/// scan. REQUIRES: kRowWidth + kRowSlack bytes of room at out; 16 bytes at bytes.
using FormatRowFn = void (*)(char* out, uint32_t address, const uint8_t* bytes, RowScan* scan);

/// Overwrites the character column at col: the bytes of row at the bits of raw, "." at
/// the bits of dots. REQUIRES: 16 bytes at col; raw and dots below 1 << 16.
using BlendRowFn = void (*)(char* col, const uint8_t* row, uint32_t raw, uint32_t dots);

/// What a whole line depends on besides its bytes, fixed for the run.
struct RowLineFlags {
  bool hyphen;  ///< "-" after position 7
  bool raw;     ///< the character column goes out unconverted
};

/// Writes a full line without its line end: the row, the hyphen, and the character
/// column as put_char_row completes it; returns the end. REQUIRES: room for a line.
using PutRowLineFn = char* (*)(char* out, uint32_t address, const uint8_t* bytes,
                               RowLineFlags flags);

/// One way of doing the row work, with the name the benchmarks show.
struct RowKernel {
  const char* name;
  FormatRowFn format_row;
  BlendRowFn blend_row;
  PutRowLineFn put_row_line;
};

/// Kernels this processor can run, the portable one first and the fastest last.
struct RowKernelList {
  RowKernel kernels[8];
  int count = 0;
};

/// Fills list with what this processor can run (architecture-specific kernels only).
void add_arch_row_kernels(RowKernelList& list);

/// Learns the byte classes and picks the fastest kernel; call before formatting rows.
void row_kernels_setup(const ScanClasses& classes);

/// All kernels usable here, for tests and benchmarks (after row_kernels_setup).
const RowKernelList& row_kernels();

/// The kernel chosen by row_kernels_setup.
const RowKernel& row_kernel();

/// Makes kernel the one row_kernel returns (tests, benchmarks).
void use_row_kernel(const RowKernel& kernel);

/// The classes as ranges: at most kMaxRanges inclusive ranges per class, or, when a
/// class needs more, fits false (the kernels then classify through a table).
struct ScanRanges {
  static constexpr int kMaxRanges = 4;
  struct Range {
    uint8_t first, width;  ///< bytes first to first + width
  };
  struct Class {
    Range ranges[kMaxRanges];
    int count = 0;
  };
  Class lead, trail, copy, glyph;
  bool fits = true;
  uint8_t table[256];  ///< per byte: 1 lead, 2 trail, 4 copy, 8 glyph
};

/// The classes row_kernels_setup learnt.
const ScanRanges& scan_ranges();

}  // namespace dump
