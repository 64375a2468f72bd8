// Standard output and standard error through WriteConsoleW on a console and WriteFile
// elsewhere. The C runtime's text mode is bypassed on purpose: on a console it passes
// the bytes on one by one, which splits double-byte characters; here every line feed is
// turned into CR LF and the text goes out in whole pieces.
//
// The text comes in the charset that display_charset (locale_win32.cpp) chose: UTF-8
// when standard output is a console, else the console's output code page (the ANSI
// code page without a console). A console is given it in UTF-16, so that it shows every
// character whatever its own code page; a file or pipe is given it in that output code
// page, which only standard error on a file beside standard output on a console needs
// converted.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/output.h"

namespace platform {
namespace {

// A console write of this many UTF-16 units or fewer is safe on every console host; a
// larger one is cut after a line end (or at least between characters).
constexpr size_t kConsoleChunk = 8192;

// The bytes of a character that a write ended inside, for the next write to the stream.
struct CharCarry {
  char bytes[4] = {};
  size_t n = 0;
};

struct OutputState {
  DWORD last_error = 0;
  bool text_known = false;
  UINT text_code_page = 0;    // the code page of the text that comes in
  UINT file_code_page = 0;    // the code page a file or pipe is given
  CharCarry carry[2];         // standard output's, standard error's
  std::vector<char> crlf;     // the text with CR LF line ends; grows to the largest write
  std::vector<char> joined;   // a carried character and the text after it
  std::vector<wchar_t> wide;  // the text in UTF-16, for a console
  std::vector<char> recoded;  // the text in the file code page
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

// Decided once, the same way display_charset decides.
void learn_code_pages() {
  if (g_out.text_known) return;
  g_out.text_known = true;
  g_out.file_code_page = GetConsoleOutputCP();
  if (g_out.file_code_page == 0) g_out.file_code_page = GetACP();
  g_out.text_code_page =
      is_console(GetStdHandle(STD_OUTPUT_HANDLE)) ? CP_UTF8 : g_out.file_code_page;
}

// The length of the longest start of data[0..n) that ends between characters of
// code_page; the rest is the start of a character that the next write completes.
size_t whole_chars_length(UINT code_page, const char* data, size_t n) {
  if (code_page == CP_UTF8) {
    // A sequence is cut when its start byte, among the last three, wants more bytes
    // than follow it.
    for (size_t back = 1; back <= 3 && back <= n; ++back) {
      const unsigned char b = static_cast<unsigned char>(data[n - back]);
      if ((b & 0xC0) == 0x80) continue;
      const size_t want = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
      return want > back ? n - back : n;
    }
    return n;
  }
  // No trail byte is a line feed: the walk starts after the last one.
  size_t i = n;
  while (i > 0 && data[i - 1] != '\n') --i;
  size_t end = i;
  while (i < n) {
    i += IsDBCSLeadByteEx(code_page, static_cast<BYTE>(data[i])) ? 2 : 1;
    if (i <= n) end = i;
  }
  return end;
}

// Puts text behind the character that the stream's last write ended inside, and keeps
// back the start of a character that text ends inside.
void join_carry(CharCarry& carry, UINT code_page, const char*& data, size_t& n) {
  std::vector<char>& joined = g_out.joined;
  joined.assign(carry.bytes, carry.bytes + carry.n);
  joined.insert(joined.end(), data, data + n);
  const size_t whole = whole_chars_length(code_page, joined.data(), joined.size());
  carry.n = joined.size() - whole;
  std::memcpy(carry.bytes, joined.data() + whole, carry.n);
  data = joined.data();
  n = whole;
}

// Where a console write of at most kConsoleChunk units from text may end: after the
// last line feed in it, else not between the two halves of a surrogate pair.
size_t console_cut(const wchar_t* text, size_t n) {
  if (n <= kConsoleChunk) return n;
  for (size_t i = kConsoleChunk; i > 0; --i) {
    if (text[i - 1] == L'\n') return i;
  }
  const wchar_t last = text[kConsoleChunk - 1];
  return last >= 0xD800 && last <= 0xDBFF ? kConsoleChunk - 1 : kConsoleChunk;
}

WriteResult fail(DWORD error) {
  g_out.last_error = error;
  // The reader has gone: the pipe is being closed (ERROR_NO_DATA), has been closed
  // (ERROR_BROKEN_PIPE), or, as wine reports a closed POSIX pipe, is not connected.
  const bool gone =
      error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED;
  return gone ? WriteResult::kBrokenPipe : WriteResult::kFailed;
}

// data[0..n) in UTF-16, in g_out.wide; the count of units.
size_t widen(UINT code_page, const char* data, size_t n) {
  if (n == 0) return 0;
  std::vector<wchar_t>& wide = g_out.wide;
  if (wide.size() < n) wide.resize(n);
  const int got = MultiByteToWideChar(code_page, 0, data, static_cast<int>(n), wide.data(),
                                      static_cast<int>(wide.size()));
  return got > 0 ? static_cast<size_t>(got) : 0;
}

WriteResult write_console(HANDLE handle, const char* data, size_t n) {
  const size_t units = widen(g_out.text_code_page, data, n);
  const wchar_t* p = g_out.wide.data();
  size_t left = units;
  while (left > 0) {
    const DWORD want = static_cast<DWORD>(console_cut(p, left));
    DWORD put = 0;
    if (!WriteConsoleW(handle, p, want, &put, nullptr)) return fail(GetLastError());
    if (put == 0) return fail(ERROR_WRITE_FAULT);
    p += put;
    left -= put;
  }
  return WriteResult::kOk;
}

WriteResult write_file(HANDLE handle, const char* data, size_t n) {
  if (g_out.text_code_page != g_out.file_code_page) {
    // A character the file code page lacks becomes its default character.
    const size_t units = widen(g_out.text_code_page, data, n);
    std::vector<char>& recoded = g_out.recoded;
    if (recoded.size() < 4 * units + 1) recoded.resize(4 * units + 1);
    const int got = units == 0
                        ? 0
                        : WideCharToMultiByte(g_out.file_code_page, 0, g_out.wide.data(),
                                              static_cast<int>(units), recoded.data(),
                                              static_cast<int>(recoded.size()), nullptr, nullptr);
    data = recoded.data();
    n = got > 0 ? static_cast<size_t>(got) : 0;
  }
  const char* p = data;
  size_t left = n;
  while (left > 0) {
    const DWORD want = left < 0x40000000 ? static_cast<DWORD>(left) : 0x40000000;
    DWORD put = 0;
    if (!WriteFile(handle, p, want, &put, nullptr)) return fail(GetLastError());
    if (put == 0) return fail(ERROR_WRITE_FAULT);
    p += put;
    left -= put;
  }
  return WriteResult::kOk;
}

}  // namespace

// A console program started without a standard handle gets none, and files opened later
// never take its place.
void output_hold_standard_slots() {}

void output_prepare() {
  learn_code_pages();
}

WriteResult output_write(OutputStream stream, const char* data, size_t n) {
  learn_code_pages();
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
  const char* p = text.data();
  size_t left = static_cast<size_t>(out - text.data());
  const bool console = is_console(handle);
  if (!console && g_out.text_code_page == g_out.file_code_page) return write_file(handle, p, left);
  // Converted text must not be cut inside a character.
  join_carry(g_out.carry[stream == OutputStream::kStdout ? 0 : 1], g_out.text_code_page, p, left);
  return console ? write_console(handle, p, left) : write_file(handle, p, left);
}

// Written in place: the console and the program's own charset conversion of each write
// keep to one thread here.
bool output_writes_behind() {
  return false;
}

namespace {
WriteResult g_written = WriteResult::kOk;
}  // namespace

void output_write_behind(const char* data, size_t n) {
  g_written = output_write(OutputStream::kStdout, data, n);
}

WriteResult output_wait_written() {
  const WriteResult result = g_written;
  g_written = WriteResult::kOk;
  return result;
}

bool output_is_terminal() {
  return is_console(GetStdHandle(STD_OUTPUT_HANDLE));
}

// The Windows console takes its calls directly and has no escape sequences to refuse.
bool output_terminal_is_dumb() {
  return false;
}

const char* output_last_error() {
  // In the charset of the text that output_write takes, like the message it ends.
  learn_code_pages();
  char* text = g_out.error_text;
  wchar_t wide[256];
  const DWORD units =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     g_out.last_error, 0, wide, sizeof wide / sizeof wide[0], nullptr);
  const int n = units == 0
                    ? 0
                    : WideCharToMultiByte(g_out.text_code_page, 0, wide, static_cast<int>(units),
                                          text, sizeof g_out.error_text - 1, nullptr, nullptr);
  if (n <= 0) {
    std::snprintf(text, sizeof g_out.error_text, "error %lu", g_out.last_error);
    return text;
  }
  // System messages end in CR LF (and often a full stop), which the caller adds itself.
  size_t end = static_cast<size_t>(n);
  while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n' || text[end - 1] == ' ')) --end;
  text[end] = '\0';
  return text;
}

}  // namespace platform
