#include "dump/line_format.h"

#include "console/display_encoding.h"
#include "console/dump_options.h"
#include "console/output.h"
#include "console/pager.h"
#include "dump/block_reader.h"
#include "dump/highlight.h"
#include "dump/japanese.h"

namespace dump {

LinePosition g_position;

namespace {

// Room for the widest line: offset and hex column (60), the character column with
// every position a converted glyph, the 17th position, and the line end.
constexpr size_t kLineRoom = 60 + 18 * 2 * sizeof(console::Glyph) + 2;

char* put_address(char* p, uint32_t address) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    p = put_hex_digits(p, static_cast<uint8_t>(address >> shift));
  }
  p[0] = ' ';
  p[1] = ' ';
  return p + 2;
}

inline char separator(int i) { return i == 7 && console::g_options.hyphen ? '-' : ' '; }

// A blank hex position: "   ", or "  -" in position 7 with the hyphen on.
inline char* put_blank_hex(char* p, int i) {
  p[0] = ' ';
  p[1] = ' ';
  p[2] = separator(i);
  return p + 3;
}

// The hex column when no colour can show: built in place, no call per byte.
char* put_hex_column(char* p, int first, int last) {
  for (int i = 0; i < 16; ++i) {
    if (i < first || i > last) {
      p = put_blank_hex(p, i);
    } else {
      p = put_hex_digits(p, g_line.bytes[i]);
      *p++ = separator(i);
    }
  }
  return p;
}

// The hex column with highlighting: each valid byte through write_hex_byte, whose
// colour changes travel in the output stream between the pieces.
void write_hex_column(int first, int last) {
  for (int i = 0; i < 16; ++i) {
    if (i < first || i > last) {
      char* p = console::out_reserve(3);
      console::out_commit(put_blank_hex(p, i));
    } else {
      write_hex_byte(g_line.bytes[i]);
      console::out_ascii_char(separator(i));
    }
  }
}

}  // namespace

int write_dump_line() {
  const int first = g_position.leading_blanks;
  const int last = g_line.last_index;
  char* p = console::out_reserve(kLineRoom);
  p = put_address(p, g_position.address);
  g_position.address += 16;
  if (highlight_active()) {
    console::out_commit(p);
    write_hex_column(first, last);
    p = console::out_reserve(kLineRoom);
  } else {
    p = put_hex_column(p, first, last);
  }
  *p++ = ' ';
  *p++ = ' ';
  for (int j = 0; j < 16; ++j) {
    if (j < first || j > last) {
      *p++ = ' ';
    } else {
      p = put_char_byte(p, g_line.bytes[j]);
    }
  }
  p = put_finish_char_column(p);
  *p++ = '\n';
  console::out_commit(p);
  return console::count_rows(1) ? 1 : 0;
}

}  // namespace dump
