// Block reader: turns an open file into dump lines of sixteen bytes, and tells which
// byte follows each line (the look-ahead), so that a double-byte character cut by the
// line end can be shown whole.
//
// Files on disk are read in blocks filled completely, so that lines fall at multiples
// of 16 from where reading began. Live input (a pipe, a FIFO, a device) is read as it
// arrives, and a line is handed out as soon as it is complete: when the input has
// nothing more to give for now, the lines known so far are written out before the
// reader waits. A partial line waits until it is full or the input ends, so the lines
// fall where they would in a file and the dump is the same byte for byte. The
// look-ahead byte is kept in memory, never read and stepped back, so input that cannot
// seek loses and repeats nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file.h"

namespace dump {

/// One line of the dump: slots 0 to last_index are valid.
struct DumpLine {
  uint8_t bytes[16];
  int32_t last_index = 15;
};

/// Bytes read from the file per block; a multiple of 4096, so that line boundaries and
/// the look-ahead are those of 4096-byte blocks.
inline constexpr size_t kBlockSize = 1 << 16;

/// No limit on the bytes one file gives.
inline constexpr uint64_t kNoLimit = UINT64_MAX;

extern DumpLine g_line;

/// The byte after the current line (0-255), or -1 when the line ends the input.
extern int32_t g_look_ahead;

/// Makes the next line ready in g_line, adding its byte count to bytes_consumed.
/// reset is true on the first call for a file. Returns 0, or -1 when no data is left.
/// A failed read writes the read-failure message and ends the run with exit code 1.
int next_line(platform::FileHandle file, bool reset);

/// Copies up to max of the bytes that follow the current line into out; returns how
/// many there are (fewer at the end of the input).
size_t look_ahead_bytes(uint8_t* out, size_t max);

/// Opens the reading of a file (as next_line with reset would) and, for a file on
/// disk, reads its first block, so that auto has chosen its encoding before the first
/// line; next_line then goes on from there without a reset.
void prime_file(platform::FileHandle file);

/// Hands out up to max further full lines straight from the current block, as that many
/// next_line calls would, taking only lines whose look-ahead byte is in the block too;
/// returns their bytes, 16 per line, and sets count (0 when next_line must go on).
/// g_line and g_look_ahead are left as after the last line handed out.
/// ahead is how many bytes after each line must be in the block (at least 1).
const uint8_t* take_full_lines(size_t max, size_t* count, size_t ahead = 1);

/// The full lines that take_full_lines could hand out now, left in the block: their
/// bytes, 16 per line, and their count.
const uint8_t* full_lines_ready(size_t* count, size_t ahead = 1);

/// Passes over count bytes at the start of the file (seeking where the file allows
/// it, else reading); returns how many the file held, at most count. A failed read ends
/// the run like one in next_line.
uint64_t skip_bytes(platform::FileHandle file, uint64_t count);

/// Makes the next file (from its next_line with reset) end after max bytes: no more is
/// read, and the last line's look-ahead is the end. Applies to that one file only.
void limit_next_input(uint64_t max);

/// Whether another line follows the one last handed out; may wait for live input.
/// A read that failed counts as more (the next next_line reports it).
bool more_lines();

/// Writes the read-failure message for the current file and ends the run with code 1.
[[noreturn]] void fail_read();

}  // namespace dump
