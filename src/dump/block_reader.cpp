#include "dump/block_reader.h"

#include <cstring>

#include "console/dump_options.h"
#include "console/output.h"
#include "console/pager.h"
#include "console/run_end.h"
#include "dump/byte_class.h"
#include "dump/current_file.h"
#include "dump/decoded_column.h"
#include "dump/line_format.h"
#include "text/messages.h"

namespace dump {

std::string g_current_file_name;
DumpLine g_line;
int32_t g_look_ahead = -1;

namespace {

struct BlockReader {
  platform::FileHandle file = platform::kInvalidFile;
  uint8_t read_buffer[kBlockSize];
  int32_t buffer_remaining = 0;      // bytes of the block not yet handed out
  int32_t buffer_position = 0;       // index of the next byte to hand out
  bool input_ended = false;          // a read has returned 0
  bool read_failed = false;          // a read failed after bytes still to be handed out
  bool live = false;                 // the input arrives over time (a pipe, a device)
  bool primed = false;               // prime_file has begun this file: next_line keeps it
  uint64_t block_offset = 0;         // bytes of the file read before the current block
  uint64_t unread_limit = kNoLimit;  // bytes the file may still give (-n); then it ends
};
BlockReader g_reader;

// The limit that the next file's first next_line takes over.
uint64_t g_next_limit = kNoLimit;

// The most to ask one read for: what is left of the limit, and the room there is.
size_t read_size(size_t room) {
  return g_reader.unread_limit < room ? static_cast<size_t>(g_reader.unread_limit) : room;
}

// Reads into the buffer at p within the limit; 0 at the end of the input or of the limit.
ptrdiff_t limited_read(uint8_t* p, size_t room) {
  const size_t want = read_size(room);
  if (want == 0) return 0;
  const ptrdiff_t n = platform::file_read(g_reader.file, p, want);
  if (n > 0) g_reader.unread_limit -= static_cast<uint64_t>(n);
  return n;
}

// Reads until the buffer holds kBlockSize bytes or the input ends, so that a pipe's
// short reads never cut a line short in mid-stream. A failed read is only noted: the
// look-ahead fill runs before the line it serves is written, and that line, like the
// bytes read before the failure, is shown before the failure is reported.
void fill_block() {
  size_t got = 0;
  while (got < kBlockSize) {
    const ptrdiff_t n = limited_read(g_reader.read_buffer + got, kBlockSize - got);
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
  // Under auto the encoding is chosen in the block that holds the file's first byte
  // from 0x80 up, before any line of that block is shown.
  note_file_bytes(g_reader.read_buffer, got, g_reader.block_offset == 0, !g_reader.input_ended);
  g_reader.block_offset += got;
}

// Whether live input holds a line that can be handed out as it will finally look: a
// full line, whose look-ahead byte is there too when the line ends in a lead byte (the
// look-ahead decides whether that byte shows a pair or a dot); at the end of the input,
// whatever is left.
bool live_line_ready() {
  if (g_reader.input_ended || g_reader.read_failed) return true;
  if (g_reader.buffer_remaining < 16) return false;
  if (file_is_decoded()) {
    // The line's last character may take up to three bytes after it.
    const size_t wanted = look_ahead_wanted(g_reader.read_buffer + g_reader.buffer_position);
    return static_cast<size_t>(g_reader.buffer_remaining) >= 16 + wanted;
  }
  if (g_reader.buffer_remaining != 16) return g_reader.buffer_remaining > 16;
  return !console::g_options.japanese_display ||
         !is_lead_byte(g_reader.read_buffer[g_reader.buffer_position + 15]);
}

// Reads live input until a line is ready. The bytes not handed out yet (a partial line,
// or a full one waiting for its look-ahead: at most 16) move to the start of the buffer,
// which keeps line boundaries where they were and leaves room for a large read. Before
// a read that would wait, everything written so far goes out, so the lines already
// known (and the banner and header before the first line) do not wait with it.
void fill_live() {
  while (!live_line_ready()) {
    const size_t kept = static_cast<size_t>(g_reader.buffer_remaining);
    std::memmove(g_reader.read_buffer, g_reader.read_buffer + g_reader.buffer_position, kept);
    g_reader.buffer_position = 0;
    // At the limit nothing more is read: the input ends there, without waiting.
    if (read_size(kBlockSize - kept) != 0 && !platform::file_read_ready(g_reader.file))
      console::out_flush();
    const ptrdiff_t n = limited_read(g_reader.read_buffer + kept, kBlockSize - kept);
    if (n < 0) {
      g_reader.read_failed = true;
    } else if (n == 0) {
      g_reader.input_ended = true;
    } else {
      // Under auto, what has arrived so far decides once it holds a non-ASCII byte.
      note_file_bytes(g_reader.read_buffer + kept, static_cast<size_t>(n),
                      g_reader.block_offset == 0, true);
      g_reader.block_offset += static_cast<uint64_t>(n);
      g_reader.buffer_remaining += static_cast<int32_t>(n);
    }
  }
}

void begin_reading(platform::FileHandle file) {
  g_reader.file = file;
  g_reader.buffer_remaining = 0;
  g_reader.buffer_position = 0;
  g_reader.input_ended = false;
  g_reader.read_failed = false;
  g_reader.live = platform::file_is_live(file);
  // Where the reading starts in the file: the skip, rounded down to a line.
  g_reader.block_offset = g_position.address;
  g_reader.unread_limit = g_next_limit;
  g_next_limit = kNoLimit;
}

}  // namespace

void fail_read() {
  console::out_failure_with_name(text::kReadFailedFormat, g_current_file_name.c_str());
  console::end_run(1);
}

int next_line(platform::FileHandle file, bool reset) {
  g_reader.file = file;
  if (reset && !g_reader.primed) begin_reading(file);
  g_reader.primed = false;
  if (g_reader.live) {
    fill_live();
  } else if (g_reader.buffer_remaining == 0 && !g_reader.input_ended && !g_reader.read_failed) {
    fill_block();
  }
  if (g_reader.buffer_remaining == 0) {
    if (g_reader.read_failed) fail_read();
    return -1;
  }
  const int32_t n = g_reader.buffer_remaining < 16 ? g_reader.buffer_remaining : 16;
  std::memcpy(g_line.bytes, g_reader.read_buffer + g_reader.buffer_position,
              static_cast<size_t>(n));
  g_line.last_index = n - 1;
  g_reader.buffer_position += n;
  g_reader.buffer_remaining -= n;
  console::g_progress.bytes_consumed += static_cast<uint64_t>(n);

  if (!console::g_options.japanese_display && !file_is_decoded()) return 0;
  if (g_reader.buffer_remaining == 0 && !g_reader.input_ended && !g_reader.read_failed &&
      !g_reader.live) {
    // The line has been copied out, so the next block can take the buffer now; its
    // first byte is the look-ahead.
    fill_block();
  }
  // Live input has the look-ahead byte in the buffer whenever the line's look depends on
  // it (fill_live saw to that); the -1 given otherwise is never consulted.
  g_look_ahead =
      g_reader.buffer_remaining > 0 ? g_reader.read_buffer[g_reader.buffer_position] : -1;
  return 0;
}

void limit_next_input(uint64_t max) {
  g_next_limit = max;
}

bool more_lines() {
  if (g_reader.buffer_remaining > 0 || g_reader.read_failed) return true;
  if (g_reader.input_ended) return false;
  // The line has been copied out, so the buffer is free for what follows.
  if (g_reader.live) {
    fill_live();
  } else {
    fill_block();
  }
  return g_reader.buffer_remaining > 0 || g_reader.read_failed;
}

size_t look_ahead_bytes(uint8_t* out, size_t max) {
  const size_t n = static_cast<size_t>(g_reader.buffer_remaining) < max
                       ? static_cast<size_t>(g_reader.buffer_remaining)
                       : max;
  std::memcpy(out, g_reader.read_buffer + g_reader.buffer_position, n);
  return n;
}

void prime_file(platform::FileHandle file) {
  begin_reading(file);
  g_reader.primed = true;
  if (!g_reader.live) fill_block();
}

const uint8_t* full_lines_ready(size_t* count, size_t ahead) {
  // The bytes after the last line stay in the block, so each line's look-ahead is there.
  const size_t remaining = static_cast<size_t>(g_reader.buffer_remaining);
  *count = remaining >= 16 + ahead ? (remaining - ahead) / 16 : 0;
  return g_reader.read_buffer + g_reader.buffer_position;
}

const uint8_t* take_full_lines(size_t max, size_t* count, size_t ahead) {
  size_t whole;
  const uint8_t* rows = full_lines_ready(&whole, ahead);
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
  // The discarding may wait for live input: the header is shown first.
  console::out_flush();
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
