#include "app/file_loop.h"

#include <algorithm>
#include <string>

#include "app/wildcard.h"
#include "console/display_encoding.h"
#include "console/dump_options.h"
#include "console/output.h"
#include "console/pager.h"
#include "console/run_end.h"
#include "dump/block_reader.h"
#include "dump/current_file.h"
#include "dump/highlight.h"
#include "dump/japanese.h"
#include "dump/line_format.h"
#include "platform/file.h"
#include "text/messages.h"

namespace app {
namespace {

// A name whose open is left to dump_named itself.
constexpr platform::FileHandle kNotOpened = -3;
static_assert(kNotOpened != platform::kInvalidFile && kNotOpened != platform::kNotAFile);

// Writes the header of the file about to be dumped; true when the pager asked for the
// next file at it (the file is then not even opened).
bool write_header(const std::string& shown_name) {
  // Per-file state: a pair completed at the last file's end does not blank this file's
  // first byte; the marker flag of highlighting is carried on on purpose.
  dump::g_char_column.trail_shown = false;
  dump::g_look_ahead = -1;
  dump::g_position.address = 0;
  dump::g_squeeze = dump::SqueezeState{};
  dump::g_current_file_name = shown_name;

  console::out_ascii("\n[ ");
  console::out_name(shown_name.c_str(), shown_name.size());
  console::out_ascii(" ]\n\n");
  return console::count_rows(3);
}

// The part of the file that the options leave to show: past the skip, at most -n bytes.
// The first line starts at the 16-byte boundary below the skip and shows the bytes
// before it blank, so every byte keeps the column that its offset gives it.
void position_in_file(platform::FileHandle file) {
  const uint64_t size = platform::file_size(file);
  console::g_progress.file_size = size;
  console::g_progress.bytes_consumed = 0;

  const uint64_t skip = static_cast<uint64_t>(console::g_options.skip);
  if (skip != 0) {
    dump::g_position.leading_blanks = static_cast<int32_t>(skip % 16);
    dump::g_position.address = skip - skip % 16;
    console::g_progress.bytes_consumed += dump::skip_bytes(file, dump::g_position.address);
  }
  if (console::g_options.length < 0) return;
  // The reader hands out the blank positions' bytes too; -n 0 shows no line at all.
  const uint64_t length = static_cast<uint64_t>(console::g_options.length);
  const uint64_t window =
      length == 0 ? 0 : static_cast<uint64_t>(dump::g_position.leading_blanks) + length;
  dump::limit_next_input(window);
  // The percentage counts the bytes that will be shown, from the first line on.
  const uint64_t start = dump::g_position.address;
  console::g_progress.bytes_consumed = 0;
  if (size == 0) {
    console::g_progress.file_size = window;  // no size of its own: at most the window
  } else {
    console::g_progress.file_size = size > start ? std::min(window, size - start) : 0;
  }
}

void dump_open_file(platform::FileHandle file, const char* name) {
  if (platform::file_is_output(file)) {
    // Dumping the file that the dump goes into would read its own output back for ever.
    platform::file_close(file);
    console::out_failure_with_name(text::kInputIsOutputFormat, name);
    console::note_failure();
    (void)console::count_rows(2);
    return;
  }
  position_in_file(file);
  for (bool reset = true; dump::next_line(file, reset) != -1; reset = false) {
    const int next_file = dump::write_dump_line();
    dump::g_position.leading_blanks = 0;
    if (next_file == 1) break;
    dump::write_following_lines();  // the rest of the block in one go, where it can
  }
  // A skip that reached past the end leaves no line to take the blanks back.
  dump::g_position.leading_blanks = 0;
  platform::file_close(file);
}

// Header, open (or the open-failure message), skip, lines. A file opened already (a
// pattern's match, kInvalidFile when that failed) comes as opened and is closed here.
void dump_named(const char* name, platform::FileHandle opened) {
  if (write_header(name)) {  // the next file was asked for: not even opened
    if (opened != kNotOpened && opened != platform::kInvalidFile) platform::file_close(opened);
    return;
  }
  platform::FileHandle file = opened;
  if (file == kNotOpened) {
    // An open that waits (a FIFO without a writer) shows what came before it first.
    if (platform::file_open_may_wait(name)) console::out_flush();
    file = platform::file_open(name);
  }
  if (file == platform::kInvalidFile) {
    console::out_failure_with_name(text::kOpenFailedFormat, name);
    console::note_failure();
    (void)console::count_rows(2);
    return;
  }
  dump_open_file(file, name);
}

// A pattern's match is opened before anything of it is written: one that has become
// something other than a file since the search is passed over in silence, as the
// search passes over one.
void dump_match(const char* name) {
  const platform::FileHandle file = platform::file_open(name, platform::OpenAs::kFileOnly);
  if (file != platform::kNotAFile) dump_named(name, file);
}

}  // namespace

void dump_file(const char* name) {
  dump_named(name, kNotOpened);
}

void dump_standard_input() {
  // The name is the program's own Shift_JIS text, shown like a name from the system.
  char shown[64];
  const size_t n = console::display_convert_message_to(
      text::kStandardInputName, std::char_traits<char>::length(text::kStandardInputName), shown,
      sizeof shown - 1);
  shown[n] = '\0';
  if (write_header(shown)) return;
  const platform::FileHandle file = platform::file_open_standard_input();
  if (file == platform::kInvalidFile) {
    console::out_failure_with_name(text::kOpenFailedFormat, shown);
    console::note_failure();
    (void)console::count_rows(2);
    return;
  }
  dump_open_file(file, shown);
}

void dump_file_arguments(int count, char** args) {
  if (count == 0) {
    dump_standard_input();
    return;
  }
  FileList list;
  for (int i = 0; i < count; ++i) {
    expand_file_argument(args[i], list);
    const bool matches = argument_is_pattern(args[i]);
    for (const std::string& name : list) {
      if (matches) {
        dump_match(name.c_str());
      } else {
        dump_file(name.c_str());
      }
    }
  }
}

}  // namespace app
