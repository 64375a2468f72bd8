#include "app/file_loop.h"

#include "app/wildcard.h"
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

// A name whose open is left to dump_opened itself.
constexpr platform::FileHandle kNotOpened = -3;
static_assert(kNotOpened != platform::kInvalidFile && kNotOpened != platform::kNotAFile);

// Header, open (or the open-failure message), skip, lines. A file opened already (a
// pattern's match, kInvalidFile when that failed) comes as opened and is closed here.
void dump_opened(const char* name, platform::FileHandle opened) {
  // Per-file state: a pair completed at the last file's end does not blank this file's
  // first byte; the marker flag of highlighting is carried on on purpose.
  dump::g_char_column.trail_shown = false;
  dump::g_look_ahead = -1;
  dump::g_position.address = 0;
  dump::g_current_file_name = name;

  console::out_ascii("\n[ ");
  console::out_name(name, dump::g_current_file_name.size());
  console::out_ascii(" ]\n\n");
  if (console::count_rows(3)) {  // the next file was asked for: not even opened
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
  if (platform::file_is_output(file)) {
    // Dumping the file that the dump goes into would read its own output back for ever.
    platform::file_close(file);
    console::out_failure_with_name(text::kInputIsOutputFormat, name);
    console::note_failure();
    (void)console::count_rows(2);
    return;
  }
  console::g_progress.file_size = platform::file_size(file);
  console::g_progress.bytes_consumed = 0;

  const int32_t skip = console::g_options.skip;
  if (skip != 0) {
    dump::g_position.leading_blanks = skip % 16;
    dump::g_position.address = static_cast<uint64_t>(skip - skip % 16);
    console::g_progress.bytes_consumed += dump::skip_bytes(file, dump::g_position.address);
  }

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
  if (file != platform::kNotAFile) dump_opened(name, file);
}

}  // namespace

void dump_file(const char* name) {
  dump_opened(name, kNotOpened);
}

void dump_file_arguments(int count, char** args) {
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
