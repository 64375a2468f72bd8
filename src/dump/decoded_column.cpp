#include "dump/decoded_column.h"

#include <bit>
#include <cstring>

#include "console/display_char.h"
#include "console/dump_options.h"
#include "dump/byte_class.h"
#include "dump/decoded_row.h"
#include "dump/japanese.h"

namespace dump {

FileEncoding g_file_encoding;

namespace {

using encoding::Decoded;
using encoding::TextEncoding;

// An ASCII byte in the column: itself when printable, else a dot.
constexpr auto kAsciiColumn = [] {
  struct Table {
    char c[128];
  } t{};
  for (int b = 0; b < 128; ++b) t.c[b] = b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
  return t;
}();

// n dots or blanks for the positions of one character. REQUIRES: n <= 4; 4 bytes at p.
// For each byte: the length of the UTF-8 character it begins, 0 when it begins none.
constexpr auto kUtf8Lead = [] {
  struct Table {
    uint8_t length[256];
  } t{};
  for (int b = 0; b < 256; ++b) {
    t.length[b] = b < 0x80                 ? 1
                  : b >= 0xC2 && b <= 0xDF ? 2
                  : b >= 0xE0 && b <= 0xEF ? 3
                  : b >= 0xF0 && b <= 0xF4 ? 4
                                           : 0;
  }
  return t;
}();

inline char* put_dots(char* p, int n) {
  std::memset(p, '.', 4);
  return p + n;
}

inline char* put_blanks(char* p, int n) {
  std::memset(p, ' ', 4);
  return p + (n > 0 ? n : 0);
}

template <TextEncoding E>
inline Decoded decode(const uint8_t* p, size_t avail) {
  if constexpr (E == TextEncoding::kUtf8) return encoding::decode_utf8(p, avail);
  if constexpr (E == TextEncoding::kEucJp) return encoding::decode_euc_jp(p, avail);
  if constexpr (E == TextEncoding::kUtf16Le) return encoding::decode_utf16<false>(p, avail);
  if constexpr (E == TextEncoding::kUtf16Be) return encoding::decode_utf16<true>(p, avail);
  return {1, encoding::kNoChar};
}

// Puts one character of length bytes, in_line of them on this line: its spelling and
// blanks for the rest of its positions, or a dot per byte when it is not to be shown.
inline char* put_char(char* p, char32_t cp, int length, int in_line) {
  const uint32_t w = console::char_word(cp);
  const int cells = static_cast<int>((w >> 27) & 3);
  if (cells == 0 || cells > length) return put_dots(p, in_line);
  if ((w & console::kCharWordLong) != 0) {
    const console::CharSpelling s = console::display_char(cp);
    std::memcpy(p, s.glyph.text, s.glyph.length);
    return put_blanks(p + s.glyph.length, in_line - s.cells);
  }
  p[0] = static_cast<char>(w & 0xFF);
  p[1] = static_cast<char>((w >> 8) & 0xFF);
  p[2] = static_cast<char>((w >> 16) & 0xFF);
  return put_blanks(p + ((w >> 24) & 7), in_line - cells);
}

template <TextEncoding E>
char* put_column(char* p, const uint8_t* line, int first, int last, size_t ahead_count,
                 DecodedClasses* classes) {
  constexpr bool kUtf16 = E == TextEncoding::kUtf16Le || E == TextEncoding::kUtf16Be;
  const int valid = last + 1;
  const size_t end = static_cast<size_t>(valid) + ahead_count;
  uint32_t lead = 0, control = 0, newline = 0;
  for (int k = 0; k < first; ++k) *p++ = ' ';
  int j = first;
  if (first == 0 && g_file_encoding.carried > 0) {
    // The bytes of a character shown at the last line's end.
    j = g_file_encoding.carried < valid ? g_file_encoding.carried : valid;
    p = put_blanks(p, j);
  }
  while (j < valid) {
    if constexpr (!kUtf16) {
      const uint8_t b = line[j];
      if (b < 0x80) {
        *p++ = kAsciiColumn.c[b];
        ++j;
        continue;
      }
      if (E == TextEncoding::kUtf8 && kUtf8Lead.length[b] == 0) {
        // A byte that begins no UTF-8 character: most of them in binary data.
        *p++ = '.';
        ++j;
        continue;
      }
    } else if ((j & 1) != 0) {
      // Half a code unit, the rest of it skipped (-s): no character.
      *p++ = '.';
      ++j;
      continue;
    } else if (j + 1 < valid && classes == nullptr) {
      // An ASCII code unit: itself and a blank, or two dots for a control code.
      const uint32_t high = E == TextEncoding::kUtf16Le ? line[j + 1] : line[j];
      const uint8_t low = E == TextEncoding::kUtf16Le ? line[j] : line[j + 1];
      if (high == 0 && low < 0x80) {
        const bool printable = low >= 0x20 && low < 0x7F;
        p[0] = kAsciiColumn.c[low];
        p[1] = printable ? ' ' : '.';
        p += 2;
        j += 2;
        continue;
      }
    }
    const Decoded d = decode<E>(line + j, end - static_cast<size_t>(j));
    const int length = static_cast<int>(d.length);
    const int in_line = length < valid - j ? length : valid - j;
    if (d.cp == encoding::kNoChar) {
      p = put_dots(p, in_line);
    } else {
      p = put_char(p, d.cp, length, in_line);
      if (classes != nullptr) {
        if (kUtf16 ? d.cp >= 0x80 : length > 1) lead |= 1u << j;
        if (kUtf16 && length == 2 && (d.cp < 0x20 || d.cp == 0x7F)) control |= 3u << j;
        if (kUtf16 && length == 2 && (d.cp == 0x0A || d.cp == 0x0D)) newline |= 3u << j;
      }
    }
    j += length;
  }
  g_file_encoding.carried = j - valid;
  if (classes != nullptr) {
    if (!kUtf16) {
      // Control codes and line ends are single bytes in these encodings.
      for (int k = first; k < valid; ++k) {
        if (is_control(line[k])) control |= 1u << k;
        if (line[k] == 0x0A || line[k] == 0x0D) newline |= 1u << k;
      }
    }
    *classes = {lead, control, newline};
  }
  for (int k = valid; k < 16; ++k) *p++ = ' ';
  return p;
}

// A full line in a byte-oriented encoding, without classes: every byte is first taken
// as shown alone (ASCII, or a dot), and only the bytes that may begin a multibyte
// character are decoded, so that binary data, where most of them begin none, costs a
// branch per candidate rather than one per byte.
template <TextEncoding E>
char* put_row_of_bytes(char* p, const uint8_t* line, size_t ahead_count) {
  static_assert(E == TextEncoding::kUtf8 || E == TextEncoding::kEucJp);
  char single[32];  // 16 more than the row: copied 16 at a time from any position
  for (int k = 0; k < 16; ++k) {
    const uint8_t b = line[k];
    single[k] = b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
  }
  // The bytes that may begin a character, eight at a time: from 0xC0 up in UTF-8 (the
  // decoder refuses C0, C1 and F5-FF) when a continuation byte follows, from 0x80 up in
  // EUC-JP when another follows; at position 15 whatever follows is in the look-ahead.
  uint32_t high = 0, second = 0;
  for (int half = 0; half < 2; ++half) {
    // Byte i of the row at bits 8i to 8i+7, on every machine.
    uint64_t x;
    std::memcpy(&x, line + 8 * half, 8);
    if constexpr (std::endian::native == std::endian::big) x = __builtin_bswap64(x);
    // The high bit of each byte, gathered into the top byte by one multiplication.
    auto gather = [](uint64_t bits) {
      return static_cast<uint32_t>(((bits & 0x8080808080808080ull) >> 7) * 0x0102040810204080ull >>
                                   56);
    };
    if (E == TextEncoding::kUtf8) {
      high |= gather(x & (x << 1)) << (8 * half);     // 11xxxxxx
      second |= gather(x & ~(x << 1)) << (8 * half);  // 10xxxxxx
    } else {
      high |= gather(x) << (8 * half);
    }
  }
  if (E == TextEncoding::kEucJp) second = high;
  uint32_t candidates = high & ((second >> 1) | (1u << 15));
  int pos = g_file_encoding.carried;
  p = put_blanks(p, pos);
  candidates &= ~((1u << pos) - 1);
  const size_t end = 16 + ahead_count;
  while (candidates != 0) {
    const int k = std::countr_zero(candidates);
    candidates &= candidates - 1;
    const Decoded d = decode<E>(line + k, end - static_cast<size_t>(k));
    if (d.cp == encoding::kNoChar) continue;  // its dot is in single already
    // Byte by byte: the segments between characters are short, and a wide copy would
    // wait for the byte stores that filled single.
    for (int i = pos; i < k; ++i) *p++ = single[i];
    const int length = static_cast<int>(d.length);
    const int in_line = length < 16 - k ? length : 16 - k;
    p = put_char(p, d.cp, length, in_line);
    pos = k + length;
    candidates &= pos >= 16 ? 0 : ~((1u << pos) - 1);
  }
  g_file_encoding.carried = pos > 16 ? pos - 16 : 0;
  if (pos < 16) {
    std::memcpy(p, single + pos, 16);
    p += 16 - pos;
  }
  return p;
}

char* put_column_as(char* p, const uint8_t* line, int first, int last, size_t ahead_count,
                    DecodedClasses* classes) {
  switch (g_file_encoding.encoding) {
    case TextEncoding::kUtf8:
      return put_column<TextEncoding::kUtf8>(p, line, first, last, ahead_count, classes);
    case TextEncoding::kEucJp:
      return put_column<TextEncoding::kEucJp>(p, line, first, last, ahead_count, classes);
    case TextEncoding::kUtf16Le:
      return put_column<TextEncoding::kUtf16Le>(p, line, first, last, ahead_count, classes);
    default:
      return put_column<TextEncoding::kUtf16Be>(p, line, first, last, ahead_count, classes);
  }
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

size_t look_ahead_wanted(const uint8_t* row) {
  // From what each of the last three bytes would need if a character began there: more
  // than it may need, never less.
  size_t wanted = 0;
  for (size_t j = 16 - kDecodeLookAhead; j < 16; ++j) {
    const uint8_t b = row[j];
    size_t length = 1;
    switch (g_file_encoding.encoding) {
      case TextEncoding::kUtf8:
        length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        break;
      case TextEncoding::kEucJp:
        length = b == 0x8F ? 3 : b >= 0x80 ? 2 : 1;
        break;
      case TextEncoding::kUtf16Le:
        length = j == 14 && (row[15] & 0xFC) == 0xD8 ? 4 : 2;
        break;
      default:
        length = j == 14 && (row[14] & 0xFC) == 0xD8 ? 4 : 2;
        break;
    }
    if (j + length > 16 && j + length - 16 > wanted) wanted = j + length - 16;
  }
  return wanted;
}

char* put_full_row_column(char* p, const uint8_t* bytes, size_t ahead_count) {
  if (g_file_encoding.encoding == TextEncoding::kUtf8) {
    return put_row_of_bytes<TextEncoding::kUtf8>(p, bytes, ahead_count);
  }
  if (g_file_encoding.encoding == TextEncoding::kEucJp) {
    return put_row_of_bytes<TextEncoding::kEucJp>(p, bytes, ahead_count);
  }
  return put_column_as(p, bytes, 0, 15, ahead_count, nullptr);
}

char* put_decoded_column(char* p, const uint8_t* bytes, int first, int last, size_t ahead_count,
                         DecodedClasses* classes) {
  if (console::g_options.japanese_display) {
    if (classes == nullptr && first == 0 && last == 15) {
      if (char* end = put_decoded_row_by_words(p, bytes, ahead_count)) return end;
      return put_full_row_column(p, bytes, ahead_count);
    }
    return put_column_as(p, bytes, first, last, ahead_count, classes);
  }
  // Japanese display off: each byte by itself, as in every encoding; the decoding still
  // gives the classes, and carries from line to line for them.
  char scratch[kDecodedColumnRoom];
  (void)put_column_as(scratch, bytes, first, last, ahead_count, classes);
  for (int k = 0; k < 16; ++k) {
    p = k < first || k > last ? put_blanks(p, 1) : put_plain_char(p, bytes[k]);
  }
  return p;
}

}  // namespace dump
