// How many cells of a terminal a Unicode character takes, from a table generated out of
// the Unicode data (tools/gen_display_width.py writes display_width_table.cpp).
#pragma once

#include <cstdint>

namespace console {

/// The cells a character takes on a terminal.
enum class CellWidth : uint8_t {
  kNarrow,     ///< one cell
  kWide,       ///< two cells (East Asian Wide and Fullwidth)
  kAmbiguous,  ///< one cell on most terminals, two on one set to ambiguous-wide
  kNone,       ///< not shown as a cell of its own: marks, controls, private use, unassigned
};

/// The cells that code point cp takes.
CellWidth cell_width(char32_t cp);

}  // namespace console
