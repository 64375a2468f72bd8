// A simple reference model of the dump line format, shared by the fuzz targets and the
// reliability tests. It knows nothing of how the program builds a line: it takes the
// bytes a line stands for and the text the program wrote, and says whether the text
// shows those bytes faithfully.
//
// The character classes are those of code page 932, written out here on their own
// (lead 81-9F and E0-FC, trail 40-7E and 80-FC, kana A1-DF, printable 20-7E), so that a
// fault in the program's tables is not copied into the check.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace line_model {

/// What one dump line stands for.
struct ExpectedLine {
  uint64_t address = 0;    ///< the offset printed at its start
  uint8_t bytes[16] = {};  ///< slot i is the byte at address + i
  int first = 0;           ///< first valid slot (blanks before it after a skip)
  int last = 15;           ///< last valid slot; last < first means none is shown
  int look_ahead = -1;     ///< the byte after the line, -1 at the end of the input
};

/// How the dump was asked for.
struct Format {
  bool japanese = true;    ///< -J: Shift_JIS pairs shown whole
  bool hyphen = true;      ///< -H: "-" after the eighth byte
  bool converted = false;  ///< the column is converted to UTF-8 (of any code page): only
                           ///< checked to be valid UTF-8 without control characters
  bool decoded = false;    ///< with japanese, the column is decoded in another text
                           ///< encoding: checked, as converted or as raw bytes, to hold
                           ///< no control character
};

/// Checks one line of text (without its line end). trail_in says whether the previous
/// line's column took this line's first byte as the second half of a pair; on success
/// *trail_out says whether this line's column does so with the next line's first byte.
/// Returns an empty string when the line is sound, else what is wrong with it.
std::string check_line(const std::string& text, const ExpectedLine& expected, const Format& format,
                       bool trail_in, bool* trail_out);

/// The lines a dump of data read with skip must have: one per 16-byte row from the row
/// that holds the skip point, as long as that row starts inside the data.
std::vector<ExpectedLine> expected_lines(const std::string& data, uint64_t skip,
                                         const Format& format);

/// Checks the dump lines of one file (the text after its header, up to where the next
/// header or message begins) against data read with skip. Returns "" or the first fault.
std::string check_dump(const std::string& text, const std::string& data, uint64_t skip,
                       const Format& format);

/// Reads the hex column of every dump line in text back into bytes (valid positions
/// only), checking that the addresses run on by 16 from the first. Returns false and
/// sets *error when a line cannot be read.
bool read_hex_column(const std::string& text, std::string* bytes, uint32_t* first_address,
                     std::string* error);

}  // namespace line_model
