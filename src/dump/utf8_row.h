// The character column of a full row of a UTF-8 file on a UTF-8 display, written in
// vectors: every position's output (its byte, a dot, a character's spelling, the blanks
// after a character) is worked out for the sixteen positions at once from bit masks of
// the row's byte classes, and the pieces squeezed together, with no branch on what each
// byte turns out to be.
//
// A writer may leave a row to the general column (it then returns nullptr and writes
// nothing that counts): a row with a character beyond the Basic Multilingual Plane, or
// with a character whose spelling has not been built yet. The writers are per
// architecture (utf8_row_<arch>.cpp, which provides add_arch_utf8_row_writers and may
// add none); each is named after the row kernel of its instruction set, so that the
// kernel cap caps it too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dump {

/// Room a writer may use at its output: a whole vector, past the column's end too.
inline constexpr size_t kUtf8RowRoom = 64;

/// Writes at p the column of the full row (16 bytes, then ahead bytes after them) that
/// the decoded column would write with carried positions shown at the last line's end;
/// returns the column's end and sets carried for the next line, or returns nullptr and
/// leaves carried alone. REQUIRES: kUtf8RowRoom bytes at p; ahead <= 3; carried <= 3.
using PutUtf8RowFn = char* (*)(char* p, const uint8_t* row, size_t ahead, int32_t* carried);

/// One way of writing the column, named after the row kernel of its instruction set.
struct Utf8RowWriter {
  const char* name;
  PutUtf8RowFn put;
};

/// Writers this processor runs, the fastest last; there may be none.
struct Utf8RowWriters {
  Utf8RowWriter writers[4];
  int count = 0;
};

/// Adds the architecture's writers this processor runs.
void add_arch_utf8_row_writers(Utf8RowWriters& list);

/// The fastest writer whose row kernel is at or below kernel_name's in the build's
/// order, nullptr when there is none.
PutUtf8RowFn utf8_row_writer_up_to(const char* kernel_name);

/// Every writer this processor runs (tests compare them with the general column).
const Utf8RowWriters& utf8_row_writers();

}  // namespace dump
