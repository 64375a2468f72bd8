// Standard output and standard error through WriteConsoleA on a console and WriteFile
// elsewhere. The C runtime's text mode is bypassed on purpose: on a console it passes
// the bytes on one by one, which splits double-byte characters; here every line feed is
// turned into CR LF and the text goes out in whole pieces.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/output.h"

namespace platform {
namespace {

// A console write of this many bytes or fewer is safe on every console host; a larger
// one is cut after a line end (or at least between characters).
constexpr size_t kConsoleChunk = 8192;

struct OutputState {
  DWORD last_error = 0;
  std::vector<char> crlf;  // the text with CR LF line ends; grows to the largest write
  char error_text[256] = {};
};
OutputState g_out;

HANDLE handle_of(OutputStream stream) {
  return GetStdHandle(stream == OutputStream::kStdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool is_console(HANDLE handle) {
  DWORD mode;
  return GetConsoleMode(handle, &mode) != 0;
}

// Where a console write of at most kConsoleChunk bytes from data may end: after the
// last line feed in it, else after the last whole character of the console's code page.
size_t console_cut(const char* data, size_t n) {
  if (n <= kConsoleChunk) return n;
  for (size_t i = kConsoleChunk; i > 0; --i) {
    if (data[i - 1] == '\n') return i;
  }
  const UINT code_page = GetConsoleOutputCP();
  size_t i = 0;
  while (i < kConsoleChunk) {
    const size_t step = IsDBCSLeadByteEx(code_page, static_cast<BYTE>(data[i])) ? 2 : 1;
    if (i + step > kConsoleChunk) break;
    i += step;
  }
  return i;
}

WriteResult fail(DWORD error) {
  g_out.last_error = error;
  // The reader has gone: the pipe is being closed (ERROR_NO_DATA), has been closed
  // (ERROR_BROKEN_PIPE), or, as wine reports a closed POSIX pipe, is not connected.
  const bool gone =
      error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED;
  return gone ? WriteResult::kBrokenPipe : WriteResult::kFailed;
}

}  // namespace

// A console program started without a standard handle gets none, and files opened later
// never take its place.
void output_hold_standard_slots() {}

void output_prepare() {}

WriteResult output_write(OutputStream stream, const char* data, size_t n) {
  // Whole runs between line feeds are copied at once; the dump has one per 80 bytes.
  std::vector<char>& text = g_out.crlf;
  if (text.size() < 2 * n) text.resize(2 * n);
  char* out = text.data();
  const char* const end = data + n;
  for (const char* p = data; p < end;) {
    const void* found = std::memchr(p, '\n', static_cast<size_t>(end - p));
    const char* lf = found != nullptr ? static_cast<const char*>(found) : end;
    std::memcpy(out, p, static_cast<size_t>(lf - p));
    out += lf - p;
    if (lf == end) break;
    *out++ = '\r';
    *out++ = '\n';
    p = lf + 1;
  }
  const HANDLE handle = handle_of(stream);
  const bool console = is_console(handle);
  const char* p = text.data();
  size_t left = static_cast<size_t>(out - text.data());
  while (left > 0) {
    const size_t piece = console ? console_cut(p, left) : left;
    const DWORD want = piece < 0x40000000 ? static_cast<DWORD>(piece) : 0x40000000;
    DWORD put = 0;
    const BOOL ok = console ? WriteConsoleA(handle, p, want, &put, nullptr)
                            : WriteFile(handle, p, want, &put, nullptr);
    if (!ok) return fail(GetLastError());
    if (put == 0) return fail(ERROR_WRITE_FAULT);
    p += put;
    left -= put;
  }
  return WriteResult::kOk;
}

bool output_is_terminal() {
  return is_console(GetStdHandle(STD_OUTPUT_HANDLE));
}

// The Windows console takes its calls directly and has no escape sequences to refuse.
bool output_terminal_is_dumb() {
  return false;
}

const char* output_last_error() {
  char* text = g_out.error_text;
  const DWORD n =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     g_out.last_error, 0, text, sizeof g_out.error_text, nullptr);
  if (n == 0) {
    std::snprintf(text, sizeof g_out.error_text, "error %lu", g_out.last_error);
    return text;
  }
  // System messages end in CR LF (and often a full stop), which the caller adds itself.
  size_t end = n;
  while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n' || text[end - 1] == ' ')) --end;
  text[end] = '\0';
  return text;
}

}  // namespace platform
