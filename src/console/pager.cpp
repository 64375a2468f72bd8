#include "console/pager.h"

#include <cstdio>

#include "console/console.h"
#include "console/dump_options.h"
#include "console/keys.h"
#include "console/output.h"
#include "console/pager_test_helper.h"
#include "console/run_end.h"

namespace console {

ScreenCounters g_screen;
Progress g_progress;

namespace {

constexpr int kKeyEnter = 13;
constexpr int kKeyLineFeed = 10;  // Enter typed ahead while output ran arrives as LF
constexpr int kKeySpace = 32;

// Where the row count stops growing: above any page a terminal can have, below the page
// of output that is not a terminal (kUnlimitedHeight - 2), which therefore never pauses.
constexpr int32_t kCountCeiling = kUnlimitedHeight / 2;

bool always_available() {
  return true;
}

// Where the prompt takes its keys: the terminal, or a test's script.
struct KeySource {
  int (*next_key)() = read_key;
  bool (*available)() = keys_available;
};
KeySource g_key_source;

// Set at the first prompt that finds no terminal to read keys from: the output then
// runs on without pauses, as when it goes to a file.
bool g_no_keys = false;

bool pausing() {
  return g_options.pause && !g_no_keys;
}

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

// Keeps the percentage of a file that grew many times over within an int.
constexpr uint64_t kMaxWholes = 1000000;

// For rest < size: returns floor(rest * 10 / size) and leaves rest * 10 mod size in rest,
// adding rest ten times and taking size off whenever the sum reaches it. The sum of two
// values below size that wraps round is above size too, and its wrapped difference exact.
int next_decimal_digit(uint64_t& rest, uint64_t size) {
  uint64_t acc = 0;
  int digit = 0;
  for (int i = 0; i < 10; ++i) {
    const uint64_t sum = acc + rest;
    if (sum < acc || sum >= size) {
      acc = sum - size;
      ++digit;
    } else {
      acc = sum;
    }
  }
  rest = acc;
  return digit;
}

// The window may have changed size while the prompt waited (or since the last page):
// the next page fills the window as it is now, so no line scrolls away unseen.
void follow_window() {
  const int rows = window_height();
  if (rows < kUnlimitedHeight) g_screen.page_height = page_height_for_window(rows);
}

}  // namespace

void pager_use_key_source(int (*next_key)()) {
  g_key_source.next_key = next_key != nullptr ? next_key : read_key;
  g_key_source.available = next_key != nullptr ? always_available : keys_available;
  g_no_keys = false;
}

int32_t page_height_for_window(int window_rows) {
  // Two rows go to the prompt and the row it stands on; a window too small for that
  // still shows one dump line between prompts.
  return window_rows >= 3 ? window_rows - 2 : 1;
}

int progress_percent(const Progress& progress) {
  const uint64_t size = progress.file_size;
  if (size == 0) return 0;
  // bytes_consumed never exceeds file_size for a file that keeps its size; one that
  // grows while it is dumped may pass it, and the percentage then goes above 100.
  const uint64_t whole = progress.bytes_consumed / size;
  uint64_t rest = progress.bytes_consumed % size;
  if (whole >= kMaxWholes) return static_cast<int>(kMaxWholes * 100);
  // rest * 100 overflows 64 bits for sizes above 2^57, which sparse files reach: the
  // two decimal digits come one at a time, each without any product.
  const int tens = next_decimal_digit(rest, size);
  const int ones = next_decimal_digit(rest, size);
  return static_cast<int>(whole) * 100 + tens * 10 + ones;
}

int32_t rows_before_prompt() {
  if (!pausing()) return INT32_MAX;
  const int32_t left = g_screen.page_height - 1 - g_screen.lines_on_screen;
  return left > 0 ? left : 0;
}

bool count_rows(int32_t rows) {
  // A window made smaller while the page ran prompts as soon as its own page is full.
  if (window_resized()) follow_window();
  // Without pauses the count would grow for ever and overflow on a long enough run.
  int32_t& count = g_screen.lines_on_screen;
  count = count < kCountCeiling - rows ? count + rows : kCountCeiling;
  if (g_screen.lines_on_screen < g_screen.page_height) return false;
  return pager_prompt();
}

bool pager_prompt() {
  if (!pausing()) return false;
  if (!g_key_source.available()) {
    // No terminal to take keys from (a session without one): waiting would end at the
    // first read, and the rest of the data would never be shown.
    g_no_keys = true;
    return false;
  }
  const int percent = progress_percent(g_progress);
  char prompt[48];
  const int n = std::snprintf(prompt, sizeof prompt, "-- more(%d%%) --", percent);
  show_prompt(prompt, static_cast<size_t>(n));
  for (;;) {
    const int code = g_key_source.next_key();
    // A terminal that cannot be read (none, or it hung up) would answer every read at
    // once; ending as for Q is the only way that does not spin.
    const Command command = code < 0 ? Command::kQuit : command_of(code);
    if (command != Command::kNone && command != Command::kQuit) follow_window();
    switch (command) {
      case Command::kNone:
        continue;
      case Command::kQuit:
        erase_prompt();
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
    erase_prompt();
    return command == Command::kNextFile;
  }
}

}  // namespace console
