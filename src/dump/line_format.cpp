#include "dump/line_format.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "console/display_encoding.h"
#include "console/dump_options.h"
#include "console/output.h"
#include "console/pager.h"
#include "dump/block_reader.h"
#include "dump/char_row.h"
#include "dump/decoded_column.h"
#include "dump/decoded_row.h"
#include "dump/hex_simd.h"
#include "dump/highlight.h"
#include "dump/japanese.h"

namespace dump {

LinePosition g_position;
SqueezeState g_squeeze;

namespace {

// Room for the widest line: offset and hex column (60), the character column with
// every position a converted glyph, the 17th position, and the line end.
constexpr size_t kLineRoom = 8 + 60 + 18 * 2 * sizeof(console::Glyph) + 2;
static_assert(kLineRoom >= kRowWidth + kRowSlack + 1);
static_assert(kLineRoom <= console::kMaxReserve);
static_assert(kLineRoom >= 8 + kCharColumnIndex + kDecodedColumnRoom + 1);

// How lines are built, decided once before the first file.
struct LineFormat {
  LinePath path = LinePath::kRows;
  PutRowLinesFn put_row_lines = nullptr;
  bool raw = true;
};
LineFormat g_format;

inline char separator(int i) {
  return i == 7 && console::g_options.hyphen ? '-' : ' ';
}

// A blank hex position: "   ", or "  -" in position 7 with the hyphen on.
inline char* put_blank_hex(char* p, int i) {
  p[0] = ' ';
  p[1] = ' ';
  p[2] = separator(i);
  return p + 3;
}

// Offsets below 4 GiB are eight digits, as the row kernels write them.
constexpr uint64_t kWideAddress = 1ull << 32;

// The digits of an offset of 4 GiB or more that stand before its low eight, without
// leading zeros: written first, they make the kernels' eight digits the full offset.
// REQUIRES: 8 bytes of room.
char* put_high_digits(char* p, uint64_t address) {
  const uint32_t high = static_cast<uint32_t>(address >> 32);
  int shift = 28;
  while (shift > 0 && (high >> shift) == 0) shift -= 4;
  for (; shift >= 0; shift -= 4) *p++ = "0123456789ABCDEF"[(high >> shift) & 15];
  return p;
}

// Begins a line of the row kernels at p: the high digits of an offset from 4 GiB on go
// first, and limit then lets the kernel write that one line wherever the digits end.
char* begin_kernel_line(char* p, uint64_t address, const char** limit) {
  if (address < kWideAddress) return p;
  p = put_high_digits(p, address);
  *limit = p + 1;
  return p;
}

// A decoded file's decoding shows only in the character column with Japanese display on
// and in the hex column's colours. Without either, every byte stands by itself by the
// plain rule, as in the code page's own files, and their row kernels write the lines.
inline bool decoding_shows() {
  return file_is_decoded() &&
         (console::g_options.japanese_display || g_format.path == LinePath::kPerByte);
}

inline RowLineFlags row_line_flags() {
  return {console::g_options.hyphen, g_format.raw, console::g_options.japanese_display};
}

// The straightforward line: every piece written on its own, each valid byte through
// write_hex_byte and write_char_byte, so that colour changes fall between the pieces.
__attribute__((noinline)) void write_line_per_byte(int first, int last) {
  char* p = console::out_reserve(18);
  if (g_position.address >= kWideAddress) p = put_high_digits(p, g_position.address);
  for (int shift = 24; shift >= 0; shift -= 8) {
    p = put_hex_digits(p, static_cast<uint8_t>(g_position.address >> shift));
  }
  p[0] = ' ';
  p[1] = ' ';
  console::out_commit(p + 2);
  for (int i = 0; i < 16; ++i) {
    if (i < first || i > last) {
      p = console::out_reserve(3);
      console::out_commit(put_blank_hex(p, i));
    } else {
      write_hex_byte(g_line.bytes[i]);
      console::out_ascii_char(separator(i));
    }
  }
  console::out_ascii("  ", 2);
  for (int j = 0; j < 16; ++j) {
    if (j < first || j > last) {
      console::out_ascii_char(' ');
    } else {
      write_char_byte(g_line.bytes[j]);
    }
  }
  finish_char_column();
}

// A full line of a file in an encoding decoded character by character, Japanese display
// on: offset and hex column from the row kernel, the decoded column over its plain one.
// row[16..] holds the ahead bytes that follow it; kernel is the row kernel in use (looked
// up once a block).
inline char* put_decoded_row(char* p, uint64_t address, const uint8_t* row, size_t ahead,
                             const RowKernel& kernel) {
  if (address >= kWideAddress) p = put_high_digits(p, address);
  // An ASCII row in a byte-oriented encoding: the kernel's plain column is the column.
  // Otherwise the decoded column overwrites it, and the classes it needs are not looked up.
  const bool plain = row_is_plain_ascii(row);
  RowScan scan;
  if (plain) kernel.scan_row(row, &scan);
  kernel.format_row(p, static_cast<uint32_t>(address), row, scan);
  if (console::g_options.hyphen) p[kHyphenIndex] = '-';
  if (plain) {
    p += kCharColumnIndex + 16;
  } else if (char* end = put_decoded_row_by_words(p + kCharColumnIndex, row, ahead)) {
    p = end;
  } else {
    p = put_full_row_column(p + kCharColumnIndex, row, ahead);  // a row the writers leave
  }
  *p++ = '\n';
  return p;
}

// The current line at line, and after it, when it is full, the bytes that its last
// character may take; returns how many of those there are.
size_t line_with_ahead(uint8_t (&line)[16 + kDecodeLookAhead], int last) {
  std::memcpy(line, g_line.bytes, 16);
  return last == 15 ? look_ahead_bytes(line + 16, kDecodeLookAhead) : 0;
}

// Any line of a decoded file: a full uncoloured one by put_decoded_row; else piece by
// piece, each hex byte with the classes the decoding gives it.
__attribute__((noinline)) void write_line_decoded(int first, int last) {
  uint8_t line[16 + kDecodeLookAhead];
  const size_t ahead = line_with_ahead(line, last);
  const bool colored = g_format.path == LinePath::kPerByte;
  if (!colored && first == 0 && last == 15) {
    char* p = console::out_reserve(kLineRoom);
    console::out_commit(put_decoded_row(p, g_position.address, line, ahead, row_kernel()));
    return;
  }
  char column[kDecodedColumnRoom];
  DecodedClasses classes;
  const char* column_end = put_decoded_column(column, line, first, last, ahead, &classes);
  char* p = console::out_reserve(18 + 16 * 3);
  if (g_position.address >= kWideAddress) p = put_high_digits(p, g_position.address);
  for (int shift = 24; shift >= 0; shift -= 8) {
    p = put_hex_digits(p, static_cast<uint8_t>(g_position.address >> shift));
  }
  p[0] = ' ';
  p[1] = ' ';
  p += 2;
  for (int i = 0; i < 16; ++i) {
    if (i < first || i > last) {
      p = put_blank_hex(p, i);
    } else if (!colored) {
      p = put_hex_digits(p, g_line.bytes[i]);
      *p++ = separator(i);
    } else {
      console::out_commit(p);
      write_hex_byte_classed(g_line.bytes[i], (classes.lead >> i) & 1, (classes.newline >> i) & 1,
                             (classes.control >> i) & 1);
      p = console::out_reserve(3 * 16);
      *p++ = separator(i);
    }
  }
  p[0] = ' ';
  p[1] = ' ';
  p += 2;
  const size_t n = static_cast<size_t>(column_end - column);
  std::memcpy(p, column, n);
  p[n] = '\n';
  console::out_commit(p + n + 1);
}

// The lines the pager lets pass without a prompt, at most most.
int32_t rows_to_write(size_t most) {
  const int32_t rows = console::rows_before_prompt();
  return most < static_cast<size_t>(rows) ? static_cast<int32_t>(most) : rows;
}

// The full lines that follow in the current block of a decoded file, at most most of
// them, as write_following_rows does for the code page's own.
void write_following_decoded(size_t most) {
  int32_t rows_left = rows_to_write(most);
  const RowKernel& kernel = row_kernel();
  while (rows_left > 0) {
    size_t count;
    const uint8_t* rows = take_full_lines(static_cast<size_t>(rows_left), &count, kDecodeLookAhead);
    if (count == 0) return;
    uint64_t address = g_position.address;
    char* p = console::out_reserve(kLineRoom);
    for (size_t i = 0; i < count; ++i, rows += 16, address += 16) {
      if (p >= console::out_limit()) {
        console::out_commit(p);
        p = console::out_reserve(kLineRoom);
      }
      p = put_decoded_row(p, address, rows, kDecodeLookAhead, kernel);
    }
    console::out_commit(p);
    g_position.address = address;
    (void)console::count_rows(static_cast<int32_t>(count));  // no prompt: rows_left
    rows_left -= static_cast<int32_t>(count);
  }
}

// The full lines that follow in the current block, written in one loop instead of one
// call each: as many as the pager lets pass without a prompt, at most most. Each is
// exactly what next_line and write_dump_line would have made of it.
void write_following_rows(size_t most) {
  int32_t rows_left = rows_to_write(most);
  const RowLineFlags flags = row_line_flags();
  while (rows_left > 0) {
    size_t count;
    const uint8_t* rows = take_full_lines(static_cast<size_t>(rows_left), &count);
    if (count == 0) return;
    uint64_t address = g_position.address;
    for (size_t left = count; left > 0;) {
      // The kernels write eight digits: lines below 4 GiB go in runs, wider ones one at
      // a time behind their high digits. take_full_lines leaves the byte after the last
      // line in the block, so every run's look-ahead is there.
      size_t run = 1;
      if (address < kWideAddress) run = std::min<uint64_t>(left, (kWideAddress - address) / 16);
      char* p = console::out_reserve(kLineRoom);  // may flush: the limit is taken after
      const char* limit = console::out_limit();
      p = begin_kernel_line(p, address, &limit);
      size_t done;
      p = g_format.put_row_lines(p, limit, static_cast<uint32_t>(address), rows, run,
                                 rows[16 * run], flags, &done);
      console::out_commit(p);
      rows += 16 * done;
      address += 16 * done;
      left -= done;
    }
    g_position.address = address;
    (void)console::count_rows(static_cast<int32_t>(count));  // no prompt: rows_left
    rows_left -= static_cast<int32_t>(count);
  }
}

// A line that "*" stands for still moves the carry-over state on as if it had been
// written: a pair it would complete at its end blanks the next line's first byte, and
// a marker byte at its end makes the next line's first byte the code byte. The state
// after a line depends only on its bytes, the state before it and the byte after it, so
// a line equal to the previous one that meets what the previous one met leaves the
// state as it found it (the look-ahead differs at the end of a run).
void pass_over_line() {
  if (decoding_shows()) {
    // What the next line shows at its start depends on this line's last character.
    uint8_t line[16 + kDecodeLookAhead];
    const size_t ahead = line_with_ahead(line, 15);
    char column[kDecodedColumnRoom];
    (void)put_decoded_column(column, line, 0, 15, ahead, nullptr);
    if (g_format.path == LinePath::kPerByte)
      for (const uint8_t b : g_line.bytes) (void)highlight_color(b);
    return;
  }
  const bool trail_shown = g_char_column.trail_shown, after_marker = g_highlight.after_marker;
  if (trail_shown == g_squeeze.trail_shown_before &&
      after_marker == g_squeeze.after_marker_before && g_look_ahead == g_squeeze.look_ahead_before)
    return;
  g_squeeze.trail_shown_before = trail_shown;
  g_squeeze.after_marker_before = after_marker;
  g_squeeze.look_ahead_before = g_look_ahead;
  char scratch[2 * sizeof(console::Glyph)];
  for (const uint8_t b : g_line.bytes) {
    put_char_byte(scratch, b);
    if (g_format.path == LinePath::kPerByte) (void)highlight_color(b);
  }
  put_finish_char_column(scratch);
}

// Under -a: g_line has been shown, and the lines after it are compared with it when it
// is full.
void remember_shown_line(bool full) {
  g_squeeze.have_previous = full;
  g_squeeze.starred = false;
  if (full) std::memcpy(g_squeeze.previous, g_line.bytes, 16);
}

// Under -a: true when the current line is passed over (with "*" for the first of its
// run); otherwise it is remembered as the line the next ones are compared with.
bool squeezed(int first, int last) {
  const bool full = first == 0 && last == 15;
  if (full && g_squeeze.have_previous && std::memcmp(g_squeeze.previous, g_line.bytes, 16) == 0 &&
      more_lines()) {
    return true;
  }
  remember_shown_line(full);
  g_squeeze.trail_shown_before = g_char_column.trail_shown;
  g_squeeze.after_marker_before = g_highlight.after_marker;
  g_squeeze.look_ahead_before = g_look_ahead;
  return false;
}

}  // namespace

void line_format_setup() {
  char_row_setup();
  g_format.raw = char_row_is_raw();
  g_format.put_row_lines = row_kernel().put_row_lines;
  decoded_rows_setup(row_kernel().name);
  // Colours travel between the pieces of a line, so a coloured dump goes byte by byte.
  g_format.path = highlight_active() ? LinePath::kPerByte : LinePath::kRows;
}

void use_line_path(LinePath path) {
  g_format.path = path;
}

void use_line_kernel(const RowKernel& kernel) {
  use_row_kernel(kernel);
  g_format.put_row_lines = kernel.put_row_lines;
  decoded_rows_setup(kernel.name);
}

int write_dump_line() {
  const int first = g_position.leading_blanks;
  const int last = g_line.last_index;
  if (console::g_options.squeeze && squeezed(first, last)) {
    pass_over_line();
    g_position.address += 16;
    if (g_squeeze.starred) return 0;
    g_squeeze.starred = true;
    console::out_ascii("*\n", 2);
    return console::count_rows(1) ? 1 : 0;
  }
  if (decoding_shows()) {
    write_line_decoded(first, last);
  } else if (first == 0 && last == 15 && g_format.path == LinePath::kRows) {
    // A full line: the row kernel writes it in one go, line end included.
    size_t done;
    char* p = console::out_reserve(kLineRoom);
    const char* limit = console::out_limit();
    p = begin_kernel_line(p, g_position.address, &limit);
    p = g_format.put_row_lines(p, limit, static_cast<uint32_t>(g_position.address), g_line.bytes, 1,
                               g_look_ahead, row_line_flags(), &done);
    console::out_commit(p);
  } else {
    write_line_per_byte(first, last);
    console::out_ascii_char('\n');
  }
  g_position.address += 16;
  return console::count_rows(1) ? 1 : 0;
}

namespace {

// Under -a: how many of the full lines that follow go in one go. Those before the first
// that repeats the line before it do, but for the last of them: write_dump_line writes
// that one and remembers it, with the state it met, for the comparison with the next.
size_t lines_before_repeat(size_t ahead) {
  size_t ready;
  const uint8_t* rows = full_lines_ready(&ready, ahead);
  const uint8_t* before = g_squeeze.have_previous ? g_squeeze.previous : nullptr;
  size_t differing = 0;
  for (; differing < ready; ++differing, rows += 16) {
    if (before != nullptr && std::memcmp(before, rows, 16) == 0) break;
    before = rows;
  }
  return differing > 0 ? differing - 1 : 0;
}

}  // namespace

void write_following_lines() {
  if (g_format.path != LinePath::kRows) return;
  const bool decoded = decoding_shows();
  const bool squeeze = console::g_options.squeeze;
  const size_t most = squeeze ? lines_before_repeat(decoded ? kDecodeLookAhead : 1) : SIZE_MAX;
  const uint64_t address = g_position.address;
  if (decoded) {
    write_following_decoded(most);
  } else {
    write_following_rows(most);
  }
  if (squeeze && g_position.address != address) remember_shown_line(true);  // the last written
}

}  // namespace dump
