// The characters of JIS X 0208 and JIS X 0212 by row and cell, as EUC-JP spells them
// (both bytes 0xA1-0xFE); tools/gen_jis_tables.py writes jis_table.cpp.
#pragma once

#include <cstdint>

namespace encoding {

/// The code point of JIS X 0208 at row, cell (EUC-JP bytes), or 0 where it has none.
/// REQUIRES: row and cell in 0xA1-0xFE.
char32_t jis_x0208_char(uint8_t row, uint8_t cell);

/// The code point of JIS X 0212 at row, cell (the two bytes after 0x8F), or 0.
/// REQUIRES: row and cell in 0xA1-0xFE.
char32_t jis_x0212_char(uint8_t row, uint8_t cell);

}  // namespace encoding
