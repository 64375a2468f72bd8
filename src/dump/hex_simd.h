// Row kernels: the hot loop of the dump, one full row of sixteen bytes at a time.
//
// A kernel classifies the bytes of a row (scan_row), writes the plain form of the whole
// row from offset to character column (format_row), and writes a character column
// from a mask of the positions that show their own byte (select_row); put_row_lines
// strings these together with the Japanese display's mending (dump/char_row.h) over
// many lines. Every kernel gives the same bytes; they differ only in the instructions
// they use. The portable one works on any processor; an architecture may add faster
// ones in hex_simd_<arch>.cpp, which must provide add_arch_row_kernels (declared
// below) and may add nothing.
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
  uint32_t copy = 0;   ///< shown as the byte itself
};

/// The byte sets a row scan tells apart, one flag per byte value.
struct ScanClasses {
  bool lead[256];
  bool trail[256];
  bool copy[256];   ///< shown in the character column as the byte itself
  bool glyph[256];  ///< shown, spelt otherwise (a converted kana)
};

/// Classifies the 16 bytes at bytes into scan.
using ScanRowFn = void (*)(const uint8_t* bytes, RowScan* scan);

/// Writes the plain row of bytes at out (layout above), scan being their classes.
/// REQUIRES: kRowWidth + kRowSlack bytes of room at out.
using FormatRowFn = void (*)(char* out, uint32_t address, const uint8_t* bytes,
                             const RowScan& scan);

/// Writes the character column at col: the byte of row at the bits of shown, "."
/// elsewhere, and " " at position 0 when blank_first. REQUIRES: 16 bytes at col.
using SelectRowFn = void (*)(char* col, const uint8_t* row, uint32_t shown, bool blank_first);

/// What a whole line depends on besides its bytes, fixed for the run.
struct RowLineFlags {
  bool hyphen;    ///< "-" after position 7
  bool raw;       ///< the character column goes out unconverted
  bool japanese;  ///< Shift_JIS pairs shown whole
};

/// Writes count full lines from rows (16 bytes each, the first at address), each with
/// its line end, carrying the Japanese display's state from line to line; the byte
/// after line i is the first of line i + 1, and last_look_ahead after the last (-1 at
/// the end of the input). Stops early, after a whole line, once out reaches limit.
/// Returns the output end and sets done to the lines written. REQUIRES: room for a
/// line beyond limit.
using PutRowLinesFn = char* (*)(char* out, const char* limit, uint32_t address, const uint8_t* rows,
                                size_t count, int32_t last_look_ahead, RowLineFlags flags,
                                size_t* done);

/// One way of doing the row work, with the name the benchmarks show.
struct RowKernel {
  const char* name;
  ScanRowFn scan_row;
  FormatRowFn format_row;
  SelectRowFn select_row;
  PutRowLinesFn put_row_lines;
};

/// Kernels this processor can run, the portable one first and the fastest last.
struct RowKernelList {
  RowKernel kernels[8];
  int count = 0;
};

/// Fills list with what this processor can run (architecture-specific kernels only).
void add_arch_row_kernels(RowKernelList& list);

/// The names of the architecture's kernels in this build, in the order add_arch_row_kernels
/// adds them, whether or not this processor can run them; ends with nullptr.
const char* const* arch_row_kernel_names();

/// The names of every kernel in this build, the portable one first and the fastest last,
/// whether or not this processor can run them; ends with nullptr.
const char* const* built_row_kernel_names();

/// The place of the kernel named in built_row_kernel_names, -1 when the build has none
/// so named.
int built_kernel_position(const char* name);

/// Learns the byte classes and picks the fastest kernel; call before formatting rows.
void row_kernels_setup(const ScanClasses& classes);

/// All kernels usable here, for tests and benchmarks (after row_kernels_setup).
const RowKernelList& row_kernels();

/// The kernel chosen by row_kernels_setup.
const RowKernel& row_kernel();

/// Makes kernel the one row_kernel returns (tests, benchmarks).
void use_row_kernel(const RowKernel& kernel);

/// Caps the kernel at the one named, for benchmarks and bug reports: row_kernel becomes
/// the fastest this processor runs among that kernel and those before it in the build's
/// order, or the fastest of all when name is no kernel of this build. The caller
/// compares row_kernel's name with name to learn whether the cap was met.
void cap_row_kernel(const char* name);

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

/// Finds tables with high[b >> 4] + low[b & 15] == want[b] (mod 256) for every byte b
/// that member holds, so that a kernel can spell those bytes with two 16-entry lookups;
/// false when there are none.
bool solve_nibble_sums(const bool (&member)[256], const uint8_t (&want)[256], uint8_t* high,
                       uint8_t* low);

/// The classes row_kernels_setup learnt.
const ScanRanges& scan_ranges();

}  // namespace dump
