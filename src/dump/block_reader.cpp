#include "dump/block_reader.h"

#include <cstring>

#include "console/dump_options.h"
#include "console/output.h"
#include "console/pager.h"
#include "console/run_end.h"
#include "dump/current_file.h"
#include "text/messages.h"

namespace dump {

std::string g_current_file_name;
DumpLine g_line;
int32_t g_look_ahead = -1;

namespace {

struct BlockReader {
  platform::FileHandle file = platform::kInvalidFile;
  uint8_t read_buffer[kBlockSize];
  int32_t buffer_remaining = 0;  // bytes of the block not yet handed out
  int32_t buffer_position = 0;   // index of the next byte to hand out
  bool input_ended = false;      // a read has returned 0
  bool read_failed = false;      // a read failed after bytes still to be handed out
};
BlockReader g_reader;

// Reads until the buffer holds kBlockSize bytes or the input ends, so that a pipe's
// short reads never cut a line short in mid-stream. A failed read is only noted: the
// look-ahead fill runs before the line it serves is written, and that line, like the
// bytes read before the failure, is shown before the failure is reported.
void fill_block() {
  size_t got = 0;
  while (got < kBlockSize) {
    const ptrdiff_t n =
        platform::file_read(g_reader.file, g_reader.read_buffer + got, kBlockSize - got);
    if (n < 0) {
      g_reader.read_failed = true;
      break;
    }
    if (n == 0) {
      g_reader.input_ended = true;
      break;
    }
    got += static_cast<size_t>(n);
  }
  g_reader.buffer_remaining = static_cast<int32_t>(got);
  g_reader.buffer_position = 0;
}

}  // namespace

void fail_read() {
  console::out_failure_with_name(text::kReadFailedFormat, g_current_file_name.c_str());
  console::end_run(1);
}

int next_line(platform::FileHandle file, bool reset) {
  g_reader.file = file;
  if (reset) {
    g_reader.buffer_remaining = 0;
    g_reader.buffer_position = 0;
    g_reader.input_ended = false;
    g_reader.read_failed = false;
  }
  if (g_reader.buffer_remaining == 0) {
    if (!g_reader.input_ended && !g_reader.read_failed) fill_block();
    if (g_reader.buffer_remaining == 0) {
      if (g_reader.read_failed) fail_read();
      return -1;
    }
  }
  const int32_t n = g_reader.buffer_remaining < 16 ? g_reader.buffer_remaining : 16;
  std::memcpy(g_line.bytes, g_reader.read_buffer + g_reader.buffer_position,
              static_cast<size_t>(n));
  g_line.last_index = n - 1;
  g_reader.buffer_position += n;
  g_reader.buffer_remaining -= n;
  console::g_progress.bytes_consumed += static_cast<uint64_t>(n);

  if (!console::g_options.japanese_display) return 0;
  if (g_reader.buffer_remaining == 0 && !g_reader.input_ended && !g_reader.read_failed) {
    // The line has been copied out, so the next block can take the buffer now; its
    // first byte is the look-ahead.
    fill_block();
  }
  g_look_ahead =
      g_reader.buffer_remaining > 0 ? g_reader.read_buffer[g_reader.buffer_position] : -1;
  return 0;
}

const uint8_t* take_full_lines(size_t max, size_t* count) {
  const uint8_t* rows = g_reader.read_buffer + g_reader.buffer_position;
  // The byte after the last line stays in the block, so each line's look-ahead is there.
  const size_t whole =
      g_reader.buffer_remaining > 16 ? static_cast<size_t>(g_reader.buffer_remaining - 1) / 16 : 0;
  const size_t n = whole < max ? whole : max;
  *count = n;
  if (n == 0) return rows;
  const int32_t taken = static_cast<int32_t>(16 * n);
  g_reader.buffer_position += taken;
  g_reader.buffer_remaining -= taken;
  console::g_progress.bytes_consumed += static_cast<uint64_t>(taken);
  std::memcpy(g_line.bytes, rows + taken - 16, 16);
  g_line.last_index = 15;
  if (console::g_options.japanese_display) {
    g_look_ahead = g_reader.read_buffer[g_reader.buffer_position];
  }
  return rows;
}

uint64_t skip_bytes(platform::FileHandle file, uint64_t count) {
  g_reader.file = file;
  if (count == 0) return 0;
  if (platform::file_seek_forward(file, count)) {
    const uint64_t size = platform::file_size(file);
    return count < size ? count : size;
  }
  uint64_t discarded = 0;
  while (discarded < count) {
    const uint64_t want = count - discarded < kBlockSize ? count - discarded : kBlockSize;
    const ptrdiff_t n = platform::file_read(file, g_reader.read_buffer, want);
    if (n < 0) fail_read();
    if (n == 0) break;
    discarded += static_cast<uint64_t>(n);
  }
  return discarded;
}

}  // namespace dump
