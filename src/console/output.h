// The one output stream: every byte the program writes to standard output passes here.
// It owns the buffer, the flushing, and the display conversion stage; the terminal
// layer puts its escape sequences into the same stream, so colours stay in order with
// the text around them.
//
// Four kinds of write, by where the bytes come from:
//   - ascii: text of the program's own that is plain ASCII (offsets, hex digits,
//     separators, escape sequences). Never converted.
//   - message: the program's Shift_JIS messages. Converted from code page 932 when the
//     display charset is not Shift_JIS.
//   - chars: bytes of the dumped file shown in the character column. Converted from
//     the code page in force.
//   - raw: text from the system (file names), already in the display charset. Never
//     converted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace console {

/// Size of the output buffer where standard output is written in place (a terminal, a
/// device); a flush writes at most this much plus one line.
inline constexpr size_t kOutputBufferSize = 1 << 16;
/// Size of each of the two buffers where standard output is written behind (a pipe, a
/// file): each hand-over to the writer costs both sides a wait, and four times fewer of
/// them made a dump through a pipe a fifth faster, where larger buffers gained no more.
inline constexpr size_t kBehindBufferSize = 1 << 18;
/// Room that a caller may reserve at once with out_reserve.
inline constexpr size_t kMaxReserve = 1024;

/// The buffer record; fields are read by the inline writers below. data is one of two
/// buffers: where standard output is written behind, the other one is being written
/// meanwhile.
struct OutputBuffer {
  char* data;
  size_t used = 0;
  size_t capacity = kOutputBufferSize;  // kBehindBufferSize once written behind
};

extern OutputBuffer g_output;

/// Sends out everything buffered: written at once, or handed to the platform's writer
/// thread where standard output is written behind. A failed write ends the run (see
/// out_fail), found at the latest by the next flush.
void out_flush();

/// Flushes and waits until everything is written; the run ends through here.
void out_drain();

/// Returns a pointer at which up to n (at most kMaxReserve) bytes may be written;
/// the caller then passes the end of what it wrote to out_commit.
inline char* out_reserve(size_t n) {
  (void)n;
  if (g_output.used >= g_output.capacity) out_flush();
  return g_output.data + g_output.used;
}

/// Where the buffer counts as full: a writer that keeps the pointer from out_reserve may
/// go on writing pieces of at most kMaxReserve bytes while it stays below this, then
/// commits (and reserves anew, which flushes).
inline char* out_limit() {
  return g_output.data + g_output.capacity;
}

/// Ends a write begun with out_reserve.
inline void out_commit(char* end) {
  g_output.used = static_cast<size_t>(end - g_output.data);
}

/// Writes plain ASCII text of the program's own.
void out_ascii(const char* text, size_t n);
inline void out_ascii(const char* text) {
  out_ascii(text, std::strlen(text));
}

/// Writes one ASCII character.
inline void out_ascii_char(char c) {
  char* p = out_reserve(1);
  *p = c;
  out_commit(p + 1);
}

/// Writes Shift_JIS text of the program's own (messages, usage text).
void out_message(const char* text, size_t n);
inline void out_message(const char* text) {
  out_message(text, std::strlen(text));
}

/// Writes a message format whose one "%s" is replaced by a raw name.
void out_message_with_name(const char* format, const char* name);

/// Writes text from the system (a file name) as it is.
void out_raw(const char* text, size_t n);

/// Writes a file name as it was given; on a terminal its control characters (which
/// could move the cursor or change colours) are shown as '?'.
void out_name(const char* name, size_t n);

/// Writes a failure message whose one "%s" is replaced by a raw name, as
/// out_message_with_name does; when standard output is not a terminal, a copy goes to
/// standard error too, so that the failure is seen where the dump is not. On a terminal
/// the message always ends its line.
void out_failure_with_name(const char* format, const char* name);

/// Writes a message format with its "%s" replaced by a name to standard error, converted
/// like messages, with exactly one line end. Unbuffered.
void err_message_with_name(const char* format, const char* name);

/// Writes Shift_JIS (or other code page) text to standard error, converted like
/// messages, followed by an optional detail in ASCII and a line end. Unbuffered.
void err_message(const char* text, const char* detail);

/// How the run ends when standard output cannot be written: a broken pipe ends it
/// quietly with exit code 0, any other failure with a message and exit code 1.
[[noreturn]] void out_fail_broken_pipe();
[[noreturn]] void out_fail_write();

}  // namespace console
