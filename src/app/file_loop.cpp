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
#include "dump/decoded_column.h"
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

// Resets the per-file state and writes the header up to the closing bracket.
void begin_header(const std::string& shown_name) {
  // Per-file state: a pair completed at the last file's end does not blank this file's
  // first byte; the marker flag of highlighting is carried on on purpose.
  dump::g_char_column.trail_shown = false;
  dump::g_look_ahead = -1;
  dump::g_position.address = 0;
  dump::g_position.leading_blanks = 0;
  dump::g_squeeze = dump::SqueezeState{};
  dump::g_current_file_name = shown_name;
  dump::begin_file_encoding();

  console::out_ascii("\n[ ");
  console::out_name(shown_name.c_str(), shown_name.size());
  console::out_ascii(" ]");
}

// Ends the header: the encoding's name when it is not the code page's own, the line end
// and an empty line.
void end_header() {
  if (const char* label = encoding::encoding_label(dump::g_file_encoding.encoding)) {
    console::out_ascii_char(' ');
    console::out_ascii(label);
  }
  console::out_ascii("\n\n");
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

// Passes over the skip and begins the reading, a file on disk with its first block;
// returns the file's progress so far, which the pager shows from when the header has
// been counted (a prompt at the header still shows the last file's).
console::Progress start_reading(platform::FileHandle file) {
  const console::Progress before = console::g_progress;
  position_in_file(file);
  dump::prime_file(file);
  const console::Progress progress = console::g_progress;
  console::g_progress = before;
  return progress;
}

// Header, open (or the open-failure message), skip, lines. shown_name is what the header
// and the messages show; a file opened already (a pattern's match or standard input,
// kInvalidFile when that failed) comes as opened, else open_name is opened here. Either
// way the file is closed here.
void dump_named(const std::string& shown_name, const char* open_name, platform::FileHandle opened) {
  begin_header(shown_name);
  platform::FileHandle file = opened;
  bool header_ended = false;
  if (file == kNotOpened) {
    // An open that waits (a FIFO without a writer) shows what came before it first,
    // the whole header included: such input is live, so only -e can name its encoding.
    if (platform::file_open_may_wait(open_name)) {
      end_header();
      header_ended = true;
      console::out_flush();
    }
    file = platform::file_open(open_name);
  }
  // The header names the encoding when it is not the code page's own, so a file on disk
  // has its first block read (after the skip) before the header ends. Live input is not
  // waited for before the header is out: there auto decides later.
  const bool is_output = file != platform::kInvalidFile && platform::file_is_output(file);
  const bool readable = file != platform::kInvalidFile && !is_output;
  const bool live = readable && platform::file_is_live(file);
  console::Progress progress;
  if (readable && !live) progress = start_reading(file);
  if (!header_ended) {
    if (readable) {
      end_header();
    } else {
      console::out_ascii("\n\n");
    }
  }
  if (console::count_rows(3)) {
    // The next file was asked for: this one is not read.
    if (file != platform::kInvalidFile) platform::file_close(file);
    dump::g_position.leading_blanks = 0;
    return;
  }

  const char* name = shown_name.c_str();
  if (file == platform::kInvalidFile) {
    console::out_failure_with_name(text::kOpenFailedFormat, name);
    console::note_failure();
    (void)console::count_rows(2);
    return;
  }
  if (is_output) {
    // Dumping the file that the dump goes into would read its own output back for ever.
    platform::file_close(file);
    console::out_failure_with_name(text::kInputIsOutputFormat, name);
    console::note_failure();
    (void)console::count_rows(2);
    return;
  }
  console::g_progress = live ? start_reading(file) : progress;
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

// A pattern's match is opened before anything of it is written: one that has become
// something other than a file since the search is passed over in silence, as the
// search passes over one.
void dump_match(const char* name) {
  const platform::FileHandle file = platform::file_open(name, platform::OpenAs::kFileOnly);
  if (file != platform::kNotAFile) dump_named(name, name, file);
}

}  // namespace

void dump_file(const char* name) {
  dump_named(name, name, kNotOpened);
}

void dump_standard_input() {
  // The name is the program's own Shift_JIS text, shown like a name from the system.
  char shown[64];
  const size_t n = console::display_convert_message_to(
      text::kStandardInputName, std::char_traits<char>::length(text::kStandardInputName), shown,
      sizeof shown - 1);
  shown[n] = '\0';
  dump_named(shown, nullptr, platform::file_open_standard_input());
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
