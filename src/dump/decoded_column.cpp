#include "dump/decoded_column.h"

#include <cstring>

#include "console/display_char.h"
#include "console/dump_options.h"
#include "dump/byte_class.h"
#include "dump/japanese.h"

namespace dump {

FileEncoding g_file_encoding;

namespace {

using encoding::TextEncoding;

inline char* put_dots(char* p, int n) {
  for (int i = 0; i < n; ++i) *p++ = '.';
  return p;
}

inline char* put_blanks(char* p, int n) {
  for (int i = 0; i < n; ++i) *p++ = ' ';
  return p;
}

}  // namespace

void begin_file_encoding() {
  const TextEncoding chosen = console::g_options.encoding;
  g_file_encoding.encoding = chosen == TextEncoding::kAuto ? TextEncoding::kCodePage : chosen;
  g_file_encoding.decided = chosen != TextEncoding::kAuto;
  // Half-width kana are single bytes only in a Japanese code page: there EUC-JP is the
  // other encoding a Japanese file may be in; elsewhere its pairs are the code page's.
  g_file_encoding.euc_jp = is_kana_symbol(0xB1);
  g_file_encoding.carried = 0;
}

void note_file_bytes(const uint8_t* p, size_t n, bool at_start, bool more) {
  if (g_file_encoding.decided || n == 0) return;
  bool decided = false;
  const TextEncoding e =
      encoding::detect_encoding(p, n, at_start, more, g_file_encoding.euc_jp, &decided);
  if (!decided) return;
  g_file_encoding.encoding = e;
  g_file_encoding.decided = true;
}

char* put_decoded_column(char* p, const uint8_t* bytes, int first, int last, const uint8_t* ahead,
                         size_t ahead_count, DecodedClasses* classes) {
  uint8_t line[16 + kDecodeLookAhead];
  const size_t valid = static_cast<size_t>(last + 1);
  std::memcpy(line, bytes, valid);
  std::memcpy(line + valid, ahead, ahead_count);
  const size_t end = valid + ahead_count;
  const TextEncoding e = g_file_encoding.encoding;
  const bool utf16 = e == TextEncoding::kUtf16Le || e == TextEncoding::kUtf16Be;
  const bool show = console::g_options.japanese_display;
  *classes = DecodedClasses{};

  p = put_blanks(p, first);
  int j = first;
  // The bytes of a character shown at the last line's end.
  if (first == 0) {
    const int carried = g_file_encoding.carried < last + 1 ? g_file_encoding.carried : last + 1;
    p = show ? put_blanks(p, carried) : p;
    for (; j < carried; ++j) {
      if (!show) p = put_plain_char(p, line[j]);
    }
  }
  g_file_encoding.carried = 0;
  while (j <= last) {
    if (utf16 && (j & 1) != 0) {
      // Half a code unit, the rest of it skipped (-s): no character.
      p = show ? put_dots(p, 1) : put_plain_char(p, line[j]);
      ++j;
      continue;
    }
    const encoding::Decoded d = encoding::decode_char(e, line + j, end - static_cast<size_t>(j));
    const int length = static_cast<int>(d.length);
    const int in_line = length < last + 1 - j ? length : last + 1 - j;
    if (utf16) {
      if (d.cp != encoding::kNoChar && d.cp >= 0x80) classes->lead |= 1u << j;
      if (d.length == 2 && d.cp != encoding::kNoChar) {
        const uint32_t both = 3u << j;
        if (d.cp == 0x0A || d.cp == 0x0D) classes->newline |= both;
        if (d.cp < 0x20 || d.cp == 0x7F) classes->control |= both;
      }
    } else {
      if (d.cp != encoding::kNoChar && length > 1) classes->lead |= 1u << j;
      for (int k = j; k < j + in_line; ++k) {
        if (line[k] == 0x0A || line[k] == 0x0D) classes->newline |= 1u << k;
        if (is_control(line[k])) classes->control |= 1u << k;
      }
    }
    if (!show) {
      for (int k = j; k < j + in_line; ++k) p = put_plain_char(p, line[k]);
    } else if (d.cp == encoding::kNoChar) {
      p = put_dots(p, in_line);
    } else {
      const console::CharSpelling s = console::display_char(d.cp);
      if (s.cells == 0 || s.cells > length) {
        p = put_dots(p, in_line);
      } else {
        std::memcpy(p, s.glyph.text, s.glyph.length);
        p = put_blanks(p + s.glyph.length, in_line - s.cells);
      }
    }
    j += length;
  }
  if (j > last + 1) g_file_encoding.carried = j - (last + 1);
  return put_blanks(p, 15 - last);
}

}  // namespace dump
