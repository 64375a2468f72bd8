// The pager: counts output rows and stops after every screenful with
// "-- more(NN%) --", taking one-key commands from the terminal.
#pragma once

#include <cstdint>

namespace console {

/// Rows written since the last pause, and the rows that make a page.
struct ScreenCounters {
  int32_t lines_on_screen = 0;  ///< 2 after the banner; every counted writer adds its rows.
  int32_t page_height = 0;      ///< page_height_for_window(); taken again at each prompt.
};

/// How far the most recently opened file has got, for the percentage.
struct Progress {
  uint64_t bytes_consumed = 0;  ///< Bytes skipped plus bytes of every line handed out.
  uint64_t file_size = 0;       ///< Size of the file; 0 when unknown (a pipe).
};

extern ScreenCounters g_screen;
extern Progress g_progress;

/// The page height for a window of window_rows rows: two less, and at least 1.
int32_t page_height_for_window(int window_rows);

/// The percentage shown at the prompt: bytes_consumed * 100 / file_size, truncated;
/// 0 when the size is unknown.
int progress_percent(const Progress& progress);

/// Adds rows of counted output and prompts when a page is full. Returns true when the
/// user asked for the next file. On Q the run ends here with exit code 0.
bool count_rows(int32_t rows);

/// How many more rows count_rows takes before one of them brings the prompt: 0 when the
/// next one does, a very large number when pausing is off (by -p, or because there is
/// no terminal to read keys from).
int32_t rows_before_prompt();

/// Shows the prompt and waits for a command: true for the next file, false to go on
/// (at once when pausing is off). Q ends the run with exit code 0, and so does a read
/// that fails. Where no terminal to read keys from can be opened at all, the first
/// prompt turns pausing off for the rest of the run instead.
bool pager_prompt();

}  // namespace console
