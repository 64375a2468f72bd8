// Display conversion: how the program's Shift_JIS text and the file's bytes in the
// character column are spelled for the reader's terminal.
//
// The bytes the dump produces are those of the code page in force; when the display
// charset is that code page's own, they go out unchanged ("raw"). Otherwise this stage
// spells each character in the display charset, keeping its width in columns.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

namespace console {

/// How one byte, or one double-byte character, is spelled on the display.
struct Glyph {
  uint8_t length;  ///< bytes used in text
  char text[11];   ///< the spelling, not terminated
};

/// Chooses the conversion: code_page is the code page in force, display_charset the
/// iconv name of the display's charset, or nullptr/empty for raw output.
void display_setup(int code_page, const char* display_charset);

/// True when the character column shows the code page's own bytes, unconverted.
bool display_is_raw();

/// The spelling of byte b shown on its own in the character column (a printable
/// byte or a single-byte kana of the code page).
const Glyph& display_single(uint8_t b);

/// The spelling of the double-byte character lead, trail: two columns wide.
Glyph display_pair(uint8_t lead, uint8_t trail);

/// Index in display_words of the word of the pair lead, trail.
inline constexpr uint32_t pair_word_index(uint32_t lead, uint32_t trail) {
  return 512 + (lead << 8) + trail;
}

/// Spellings as 32-bit words, for a column written a word per position: the spelling in
/// the low bytes, its first byte lowest, 0 in the bytes past it, so that its length is
/// the count of non-zero bytes. A pair's word (at pair_word_index) is 0 until
/// display_pair has spelt the pair, and stays 0 when the spelling is longer than four
/// bytes or holds a 0 byte. Words 0-511 are the caller's own, so that one base reaches
/// its spellings and the pairs'.
uint32_t* display_words();

/// Beside each word of display_words, kWordSpelt | its length once it is spelt (words
/// 0-511 by the caller), else 0: a column writer reads a word's length here rather than
/// working it out, and whether the pair has been spelt in the same load.
inline constexpr uint8_t kWordSpelt = 0x80;
uint8_t* display_word_lengths();

/// The length of the spelling in word w.
inline uint8_t word_length(uint32_t w) {
  return static_cast<uint8_t>((std::bit_width(w) + 7) / 8);
}

/// Word w as it is stored to the output, its spelling's first byte at the lowest address:
/// w itself on a little-endian processor, its bytes reversed on a big-endian one.
inline uint32_t word_in_memory_order(uint32_t w) {
  static_assert(std::endian::native == std::endian::little ||
                std::endian::native == std::endian::big);
  if constexpr (std::endian::native == std::endian::big) return __builtin_bswap32(w);
  return w;
}

/// The spelling in word w, as a Glyph.
Glyph glyph_of_word(uint32_t w);

/// The word that holds spelling g, or 0 when it does not fit in one.
uint32_t word_of_glyph(const Glyph& g);

/// A name (anybody's bytes) as the display is given it: each character that would act
/// on the terminal instead of showing (a C0 or C1 control, DEL, a bidirectional
/// control), read in the charset the display takes names in, becomes '?'; all else is
/// kept byte for byte.
std::string display_shown_name(const char* name, size_t n);

/// Writes Shift_JIS text of the program's own to the output stream, converted.
void display_write_message(const char* text, size_t n);

/// A file name as the display shows it: converted where names come in another charset
/// than the display's, a character that cannot be shown becoming '?'.
std::string display_name(const char* name, size_t n);

/// Converts Shift_JIS text of the program's own into out (at most cap bytes); returns
/// the length written.
size_t display_convert_message_to(const char* text, size_t n, char* out, size_t cap);

}  // namespace console
