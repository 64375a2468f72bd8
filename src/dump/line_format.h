// Dump line layout: the offset, sixteen hex positions and the character column.
//
//   columns 1-8    offset, eight upper-case hex digits (from 4 GiB on, as many more
//                  as the offset needs, the rest of the line moved right by as many)
//   columns 9-10   two blanks
//   columns 11-58  hex column, three characters per position ("XX " or blank), with
//                  "-" as the third character of position 7 when hyphen is on
//   columns 59-60  two blanks
//   columns 61-76  character column, one position per byte (a pair cut by the line end
//                  adds a 77th)
#pragma once

#include <cstdint>

#include "dump/hex_simd.h"

namespace dump {

/// Where the next line starts, and how many of its first positions are shown blank.
struct LinePosition {
  uint64_t address = 0;        ///< offset printed at the start of the next line
  int32_t leading_blanks = 0;  ///< blank positions before the first byte after a skip
};

extern LinePosition g_position;

/// Carry-over state of -a: the last full line shown or passed over, and whether the "*"
/// for the run of lines equal to it has been written. Reset for every file.
struct SqueezeState {
  bool have_previous = false;  ///< previous holds a full line
  bool starred = false;        ///< the lines equal to previous are standing as "*"
  uint8_t previous[16] = {};
  /// The carry-over state that previous met (the character column's, the highlighter's
  /// and the look-ahead byte): an equal line that meets the same leaves it unchanged.
  bool trail_shown_before = false;
  bool after_marker_before = false;
  int32_t look_ahead_before = -1;
};

extern SqueezeState g_squeeze;

/// Chooses how lines are built for this run; call once after char_column_setup and
/// after the options and the terminal are known.
void line_format_setup();

/// How lines are built: full lines from row kernels, or every line byte by byte.
enum class LinePath { kRows, kPerByte };

/// Chooses how lines are built (the byte-by-byte way serves as the tests' reference).
void use_line_path(LinePath path);

/// Makes the full-line path use kernel (tests and benchmarks compare kernels).
void use_line_kernel(const RowKernel& kernel);

/// Writes the current line, counts it for the pager and may prompt. Returns 1 when the
/// pager asked for the next file, else 0. Under -a a full line equal to the full line
/// before it, and not the last of the file, is passed over: the first of such a run
/// writes "*" instead.
int write_dump_line();

/// Writes the full lines that follow in the current block exactly as next_line and
/// write_dump_line would one by one, as far as the pager lets them pass without a
/// prompt; call after write_dump_line returned 0 (it may write nothing).
void write_following_lines();

}  // namespace dump
