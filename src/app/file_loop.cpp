#include "app/file_loop.h"

#include "app/wildcard.h"
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

// Passes over the skip and begins the reading, a file on disk with its first block;
// returns the file's progress so far, which the pager shows from when the header has
// been counted (a prompt at the header still shows the last file's).
console::Progress start_reading(platform::FileHandle file) {
  const console::Progress before = console::g_progress;
  console::g_progress.file_size = platform::file_size(file);
  console::g_progress.bytes_consumed = 0;
  const int32_t skip = console::g_options.skip;
  if (skip != 0) {
    dump::g_position.leading_blanks = skip % 16;
    dump::g_position.address = static_cast<uint64_t>(skip - skip % 16);
    console::g_progress.bytes_consumed += dump::skip_bytes(file, dump::g_position.address);
  }
  dump::prime_file(file);
  const console::Progress progress = console::g_progress;
  console::g_progress = before;
  return progress;
}

}  // namespace

void dump_file(const char* name) {
  // Per-file state: a pair completed at the last file's end does not blank this file's
  // first byte; the marker flag of highlighting is carried on on purpose.
  dump::g_char_column.trail_shown = false;
  dump::g_look_ahead = -1;
  dump::g_position.address = 0;
  dump::g_current_file_name = name;
  dump::begin_file_encoding();

  console::out_ascii("\n[ ");
  console::out_name(name, dump::g_current_file_name.size());
  console::out_ascii(" ]");
  // The header names the encoding when it is not the code page's own, so the file is
  // opened and, under auto, its first block read (after the skip) before the header
  // ends.
  const platform::FileHandle file = platform::file_open(name);
  const bool is_output = file != platform::kInvalidFile && platform::file_is_output(file);
  const bool readable = file != platform::kInvalidFile && !is_output;
  // Live input is not waited for before the header is out: there auto decides later.
  const bool live = readable && platform::file_is_live(file);
  console::Progress progress;
  if (readable && !live) progress = start_reading(file);
  if (readable) {
    const char* label = encoding::encoding_label(dump::g_file_encoding.encoding);
    if (label != nullptr) {
      console::out_ascii_char(' ');
      console::out_ascii(label);
    }
  }
  console::out_ascii("\n\n");
  if (console::count_rows(3)) {
    // The next file was asked for: this one is not read.
    if (file != platform::kInvalidFile) platform::file_close(file);
    dump::g_position.leading_blanks = 0;
    return;
  }

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

void dump_file_arguments(int count, char** args) {
  FileList list;
  for (int i = 0; i < count; ++i) {
    expand_file_argument(args[i], list);
    for (const std::string& name : list) dump_file(name.c_str());
  }
}

}  // namespace app
