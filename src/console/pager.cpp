#include "console/pager.h"

#include <cstdio>

#include "console/console.h"
#include "console/dump_options.h"
#include "console/keys.h"
#include "console/output.h"
#include "console/run_end.h"

namespace console {

ScreenCounters g_screen;
Progress g_progress;

namespace {

constexpr int kKeyEnter = 13;
constexpr int kKeyLineFeed = 10;  // Enter typed ahead while output ran arrives as LF
constexpr int kKeySpace = 32;

enum class Command { kNone, kPage, kLine, kNextFile, kQuit };

Command command_of(int code) {
  switch (code) {
    case 'Q':
    case 'q':
      return Command::kQuit;
    case kKeyEnter:
    case kKeyLineFeed:
      return Command::kLine;
    case kKeySpace:
      return Command::kPage;
    case 'N':
    case 'n':
      return Command::kNextFile;
    default:
      return Command::kNone;
  }
}

}  // namespace

int progress_percent(const Progress& progress) {
  if (progress.file_size == 0) return 0;
  // bytes_consumed never exceeds file_size for a file that keeps its size; one that
  // grows while it is dumped may pass it, and the percentage then stays above 100.
  // Split so that no product overflows 64 bits for any size a file system can hold.
  const uint64_t whole = progress.bytes_consumed / progress.file_size;
  const uint64_t rest = progress.bytes_consumed % progress.file_size;
  return static_cast<int>(whole * 100 + rest * 100 / progress.file_size);
}

bool count_rows(int32_t rows) {
  g_screen.lines_on_screen += rows;
  if (g_screen.lines_on_screen < g_screen.page_height) return false;
  return pager_prompt();
}

bool pager_prompt() {
  if (!g_options.pause) return false;
  const int percent = progress_percent(g_progress);
  save_cursor();
  const uint16_t background = background_bits();
  set_attribute(kPromptAttribute);
  char prompt[48];
  const int n = std::snprintf(prompt, sizeof prompt, "-- more(%d%%) --", percent);
  out_ascii(prompt, static_cast<size_t>(n));
  set_attribute(static_cast<uint16_t>(background | kColorNormal));
  out_flush();  // the prompt is on the screen before the first key is read
  for (;;) {
    const int code = read_key();
    // A terminal that cannot be read (none, or it hung up) would answer every read at
    // once; ending as for Q is the only way that does not spin.
    const Command command = code < 0 ? Command::kQuit : command_of(code);
    switch (command) {
      case Command::kNone:
        continue;
      case Command::kQuit:
        restore_cursor();
        hide_row();
        end_run(0);
      case Command::kLine:
        g_screen.lines_on_screen = g_screen.page_height - 1;
        break;
      case Command::kPage:
        g_screen.lines_on_screen = 0;
        break;
      case Command::kNextFile:
        g_screen.lines_on_screen = 0;
        break;
    }
    restore_cursor();
    hide_row();
    return command == Command::kNextFile;
  }
}

}  // namespace console
