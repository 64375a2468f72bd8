#include "console/output.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/console.h"
#include "console/display_encoding.h"
#include "console/run_end.h"
#include "platform/output.h"
#include "text/messages.h"

namespace console {

namespace {
// Written in place, only the first kOutputBufferSize bytes of the first buffer are used
// (the pages of the rest are never touched, so they take no memory).
char g_buffers[2][kBehindBufferSize + kMaxReserve];
bool g_write_failure_told = false;  // the failed write's message is on standard error

void settle(platform::WriteResult result) {
  switch (result) {
    case platform::WriteResult::kOk:
      return;
    case platform::WriteResult::kBrokenPipe:
      out_fail_broken_pipe();
    case platform::WriteResult::kFailed:
      out_fail_write();
  }
}

// Waits for the write on its way, if any. Standard error may be the same pipe or file as
// standard output: a message then follows everything flushed before it, as it would if
// standard output were written in place.
void settle_written() {
  settle(platform::output_wait_written());
}

}  // namespace

OutputBuffer g_output{g_buffers[0]};

void out_flush() {
  if (g_output.used == 0) return;
  const size_t n = g_output.used;
  g_output.used = 0;
  if (!platform::output_writes_behind()) {
    settle(console_write(g_output.data, n));
    return;
  }
  // The other buffer is free once its write is done; this one goes out meanwhile.
  settle_written();
  platform::output_write_behind(g_output.data, n);
  g_output.data = g_output.data == g_buffers[0] ? g_buffers[1] : g_buffers[0];
  g_output.capacity = kBehindBufferSize;
  // The buffer coming back was last read by the writer thread, whose processor now holds
  // its cache lines: every line the dump writes into it would first be fetched from
  // there. The C library clears a buffer this size by claiming whole cache lines without
  // reading them, so after the clear the dump writes into lines its own processor holds.
  // On two cores of an AMD EPYC a converted dump through a pipe then took 0.56 of the
  // time and into a file 0.66; with both threads on one core the clear cost nothing
  // that showed.
  std::memset(g_output.data, 0, sizeof g_buffers[0]);
}

void out_drain() {
  out_flush();
  settle_written();
}

void out_ascii(const char* text, size_t n) {
  while (n > 0) {
    const size_t chunk = n < kMaxReserve ? n : kMaxReserve;
    char* p = out_reserve(chunk);
    std::memcpy(p, text, chunk);
    out_commit(p + chunk);
    text += chunk;
    n -= chunk;
  }
}

void out_raw(const char* text, size_t n) {
  out_ascii(text, n);
}

void out_name(const char* name, size_t n) {
  // A name is anybody's bytes (a wildcard may have found it): written raw to a terminal,
  // an ESC or CR in it would act on the screen instead of being shown. Files and pipes
  // get the name exactly as given, in the display's charset.
  const std::string shown = display_name(name, n);
  if (!platform::output_is_terminal()) {
    out_raw(shown.data(), shown.size());
    return;
  }
  const std::string safe = display_shown_name(shown.data(), shown.size());
  out_ascii(safe.data(), safe.size());
}

void out_message(const char* text, size_t n) {
  display_write_message(text, n);
}

void out_message_with_name(const char* format, const char* name) {
  const char* hole = std::strstr(format, "%s");
  if (hole == nullptr) {
    out_message(format);
    return;
  }
  out_message(format, static_cast<size_t>(hole - format));
  out_name(name, std::strlen(name));
  out_message(hole + 2);
}

void out_failure_with_name(const char* format, const char* name) {
  out_message_with_name(format, name);
  // On a terminal the message ends its line, so that the shell's prompt after it (the
  // read-failure message ends the run) starts a line of its own.
  const size_t n = std::strlen(format);
  if (platform::output_is_terminal() && n > 0 && format[n - 1] != '\n') out_ascii_char('\n');
  // Redirected, the message goes into the file with the dump and nobody sees it: the
  // user at the terminal gets a copy on standard error.
  if (!platform::output_is_terminal()) err_message_with_name(format, name);
}

void err_message_with_name(const char* format, const char* name) {
  settle_written();
  // Converted a piece at a time: each piece of a format is whole Shift_JIS text.
  const auto convert = [](std::string& line, const char* text, size_t n) {
    char buffer[512];
    line.append(buffer, display_convert_message_to(text, n, buffer, sizeof buffer));
  };
  std::string line;
  const char* hole = std::strstr(format, "%s");
  const char* tail = format;
  if (hole != nullptr) {
    convert(line, format, static_cast<size_t>(hole - format));
    const std::string shown = display_name(name, std::strlen(name));
    line += display_shown_name(shown.data(), shown.size());
    tail = hole + 2;
  }
  size_t tail_len = std::strlen(tail);
  if (tail_len > 0 && tail[tail_len - 1] == '\n') --tail_len;
  convert(line, tail, tail_len);
  line += '\n';
  (void)platform::output_write(platform::OutputStream::kStderr, line.data(), line.size());
}

void err_message(const char* text, const char* detail) {
  settle_written();
  char line[1024];
  size_t n = display_convert_message_to(text, std::strlen(text), line, sizeof line - 256);
  if (detail != nullptr && *detail != '\0') {
    const size_t d = std::min(std::strlen(detail), sizeof line - n - 4);
    line[n++] = ':';
    line[n++] = ' ';
    std::memcpy(line + n, detail, d);
    n += d;
  }
  line[n++] = '\n';
  (void)platform::output_write(platform::OutputStream::kStderr, line, n);
}

void out_fail_broken_pipe() {
  // Whoever read our output has gone: nothing more can be shown, and that is no error.
  g_output.used = 0;
  if (!run_is_ending()) end_run(0);
  std::_Exit(exit_code_for(0));
}

void out_fail_write() {
  g_output.used = 0;
  // Putting the terminal back at the end writes once more, and on a terminal that has
  // gone that write fails too: the failure has been told already.
  if (!g_write_failure_told) {
    g_write_failure_told = true;
    err_message(text::kWriteFailedMessage, platform::output_last_error());
  }
  if (!run_is_ending()) end_run(1);
  std::_Exit(1);
}

}  // namespace console
