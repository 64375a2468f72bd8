// Fuzz target for the dump engine: random bytes go through the per-file loop (open,
// skip, block reader, line layout, Japanese display, pager) from a regular file or from
// a pipe fed in uneven pieces, and every line written is checked against the reference
// model of the line format (line_model.h). Two files are dumped in one run, so that
// state carried from one file into the next is checked too. With the pager on, keys
// come from a script, and where each prompt stands, what it shows and what its answer
// does are checked against a small model of the pager's row count.
//
// Input layout:
//   byte 0      flags: bit 0 Japanese display off, bit 1 hyphen off, bit 2 the first
//               file through a pipe, bit 3 the second file through a pipe, bit 4 every
//               line built byte by byte (the way coloured output goes) instead of by rows;
//               bits 5-6: 0 or 1 code page 932 shown as it is, 2 code page 932 shown in
//               UTF-8, 3 another double-byte code page (by byte 5) shown in UTF-8
//   bytes 1-2   skip, little endian, taken modulo (size of the first file + 48)
//   byte 3      repeat: the data is repeated (byte 3 & 63) + 1 times, so that short
//               inputs reach across the reader's 64 KiB blocks
//   byte 4      where the data splits between the two files
//   byte 5      seed of the piece sizes in which a pipe is fed, and of the keys
//   byte 6      pager: bit 7 on, bits 0-5 the page height less one; bit 6 with bit 7
//               of byte 0 the text encoding: 0 the code page's own (-e sjis), 1 auto,
//               2 UTF-8 (EUC-JP when byte 5 is odd), 3 UTF-16LE (UTF-16BE when odd)
//   the rest    the data
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/file_loop.h"
#include "console/display_char.h"
#include "console/display_encoding.h"
#include "console/dump_options.h"
#include "console/output.h"
#include "console/pager.h"
#include "console/pager_test_helper.h"
#include "dump/byte_class.h"
#include "dump/japanese.h"
#include "dump/line_format.h"
#include "line_model.h"

namespace {

constexpr size_t kHeaderSize = 7;
constexpr size_t kMaxFileSize = 3 << 16;  // three blocks of the reader
constexpr int kOtherCodePages[] = {936, 949, 950, 1361};

int g_captured_stdout = -1;  // a memory file standing in for standard output

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "dump_fuzz: %s\n", what.c_str());
  std::abort();
}

// The code page and display the tables are built for; rebuilt when an input asks for
// another.
struct DisplayMode {
  int code_page = 0;
  bool utf8 = false;
};
DisplayMode g_display;

void use_display(int code_page, bool utf8) {
  if (g_display.code_page == code_page && g_display.utf8 == utf8) return;
  dump::build_byte_classes(code_page);
  console::display_setup(code_page, utf8 ? "UTF-8" : "");
  console::display_char_setup(code_page, utf8 ? "UTF-8" : "");
  dump::char_column_setup();
  dump::line_format_setup();
  g_display = {code_page, utf8};
}

// The keys the pager is given: mostly commands, now and then a key it must pass over.
// Every command handed out is recorded, so that the check knows each prompt's answer.
struct KeyScript {
  uint32_t state = 1;
  std::vector<int> commands;
};
KeyScript g_keys;

int scripted_key() {
  g_keys.state = g_keys.state * 1103515245u + 12345u;
  const uint32_t r = (g_keys.state >> 16) % 16;
  if (r == 0) return 'x';
  const int key = r < 9 ? ' ' : r < 13 ? '\r' : 'n';
  g_keys.commands.push_back(key);
  return key;
}

// What the pager has been told, as the model sees it: rows since the last prompt, and
// the progress of the most recently opened file.
struct PagerModel {
  bool on = false;
  int32_t page = 0;
  int32_t rows = 0;
  size_t answered = 0;  // prompts met so far, each with the next recorded command
  uint64_t consumed = 0, size = 0;
};
PagerModel g_pager;

std::string read_captured() {
  std::string text;
  char buf[1 << 16];
  ssize_t n;
  for (off_t at = 0; (n = ::pread(g_captured_stdout, buf, sizeof buf, at)) > 0; at += n)
    text.append(buf, static_cast<size_t>(n));
  return text;
}

// A source of file data with a name the program can open.
struct Source {
  int fd = -1;        // a memory file, or the read end of a pipe
  int write_fd = -1;  // the write end of a pipe
  std::thread writer;
  std::string name() const { return "/proc/self/fd/" + std::to_string(fd); }
};

void open_file_source(Source& s, const std::string& data) {
  s.fd = ::memfd_create("dump_fuzz_input", MFD_CLOEXEC);
  if (s.fd < 0 || ::write(s.fd, data.data(), data.size()) != static_cast<ssize_t>(data.size()))
    fail("cannot make the input file");
}

// The pipe is fed from a thread in pieces of 1 to 5000 bytes, so that the reader meets
// short reads at every kind of position.
void open_pipe_source(Source& s, const std::string& data, uint32_t seed) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) fail("cannot make a pipe");
  s.fd = fds[0];
  s.write_fd = fds[1];
  s.writer = std::thread([&s, data, seed] {
    uint32_t state = seed * 2654435761u + 1;
    for (size_t pos = 0; pos < data.size();) {
      state = state * 1103515245u + 12345u;
      const size_t piece = std::min<size_t>(data.size() - pos, 1 + (state >> 8) % 5000);
      const ssize_t n = ::write(s.write_fd, data.data() + pos, piece);
      if (n <= 0) break;
      pos += static_cast<size_t>(n);
    }
    ::close(s.write_fd);
  });
}

// Adds rows of counted output; at a full page, takes the prompt that must stand at pos
// and returns the command that answered it (0 when no prompt was due).
int count_rows(int32_t rows, const std::string& out, size_t* pos) {
  g_pager.rows += rows;
  if (!g_pager.on || g_pager.rows < g_pager.page) return 0;
  const uint64_t percent = g_pager.size == 0 ? 0 : g_pager.consumed * 100 / g_pager.size;
  const std::string prompt = "-- more(" + std::to_string(percent) + "%) --";
  if (out.compare(*pos, prompt.size(), prompt) != 0)
    fail("no prompt " + prompt + " at " + std::to_string(*pos) + ": " + out.substr(*pos, 40));
  *pos += prompt.size();
  if (g_pager.answered >= g_keys.commands.size()) fail("a prompt that took no key");
  const int command = g_keys.commands[g_pager.answered++];
  g_pager.rows = command == '\r' ? g_pager.page - 1 : 0;
  return command;
}

// Takes apart the output of one file: header, then lines and prompts as the model says.
void check_file(const std::string& out, const std::string& name, const std::string& data,
                bool through_pipe, uint64_t skip, const line_model::Format& format) {
  // The header may name the encoding: then every line is decoded in it. Under auto
  // without a name (live input, or a choice made after the first block), each line is
  // either the code page's or, from some line on, decoded.
  const std::string opening = "\n[ " + name + " ]";
  if (out.compare(0, opening.size(), opening) != 0) fail("the header is wrong");
  const size_t header_end = out.find("\n\n", opening.size());
  if (header_end == std::string::npos) fail("the header does not end");
  const std::string label = out.substr(opening.size(), header_end - opening.size());
  const encoding::TextEncoding chosen = console::g_options.encoding;
  bool decoded = !label.empty();
  const bool maybe_decoded = chosen == encoding::TextEncoding::kAuto && !decoded;
  if (chosen == encoding::TextEncoding::kCodePage && decoded) fail("a label under -e sjis");
  if (!label.empty() && label != " UTF-8" && label != " EUC-JP" && label != " UTF-16LE" &&
      label != " UTF-16BE") {
    fail("a header label " + label);
  }
  line_model::Format decoded_format = format;
  decoded_format.decoded = true;
  size_t pos = header_end + 2;
  bool done = count_rows(3, out, &pos) == 'n';  // the next file: this one is not opened
  if (!done) {
    g_pager.size = through_pipe ? 0 : data.size();
    g_pager.consumed = std::min<uint64_t>(skip - skip % 16, data.size());
  }
  const std::vector<line_model::ExpectedLine> lines =
      done ? std::vector<line_model::ExpectedLine>{}
           : line_model::expected_lines(data, skip, format);
  bool trail = false;
  for (size_t n = 0; n < lines.size() && !done; ++n) {
    const size_t end = out.find('\n', pos);
    if (end == std::string::npos) fail("line " + std::to_string(n) + " is missing");
    bool trail_out = false;
    const std::string text = out.substr(pos, end - pos);
    std::string error = line_model::check_line(text, lines[n], decoded ? decoded_format : format,
                                               trail, &trail_out);
    if (!error.empty() && maybe_decoded && !decoded) {
      decoded = true;
      error = line_model::check_line(text, lines[n], decoded_format, false, &trail_out);
    }
    if (!error.empty()) fail("line " + std::to_string(n) + ": " + error);
    trail = trail_out;
    pos = end + 1;
    g_pager.consumed = std::min<uint64_t>(lines[n].address + 16ull, data.size());
    done = count_rows(1, out, &pos) == 'n';
  }
  if (pos != out.size()) fail("more output than the model expects at " + std::to_string(pos));
  // Every byte of the file is counted once, whatever the skip, when it is dumped whole.
  if (!done && console::g_progress.bytes_consumed != data.size())
    fail("bytes_consumed " + std::to_string(console::g_progress.bytes_consumed) + " of " +
         std::to_string(data.size()));
}

void dump_and_check(const std::string& data, bool through_pipe, uint32_t seed, uint64_t skip,
                    const line_model::Format& format) {
  Source source;
  if (through_pipe) {
    open_pipe_source(source, data, seed);
  } else {
    open_file_source(source, data);
  }
  if (::ftruncate(g_captured_stdout, 0) != 0 || ::lseek(g_captured_stdout, 0, SEEK_SET) != 0)
    fail("cannot empty the captured output");
  const std::string name = source.name();
  app::dump_file(name.c_str());
  console::out_drain();
  // A file left early keeps its pipe writer waiting: let it run into the closed pipe.
  ::close(source.fd);
  source.fd = -1;
  if (source.writer.joinable()) source.writer.join();
  check_file(read_captured(), name, data, through_pipe, skip, format);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_captured_stdout = ::memfd_create("dump_fuzz_stdout", MFD_CLOEXEC);
  if (g_captured_stdout < 0 || ::dup2(g_captured_stdout, STDOUT_FILENO) < 0)
    fail("cannot capture standard output");
  console::pager_use_key_source(scripted_key);
  // A pipe left early by the next-file key: its writer must see EPIPE, not die of it.
  std::signal(SIGPIPE, SIG_IGN);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size <= kHeaderSize) return 0;
  const uint8_t flags = input[0];
  const std::string unit(reinterpret_cast<const char*>(input + kHeaderSize), size - kHeaderSize);
  std::string data;
  for (int r = (input[3] & 63) + 1; r > 0 && data.size() < kMaxFileSize; --r) data += unit;
  if (data.size() > kMaxFileSize) data.resize(kMaxFileSize);
  const size_t split = data.size() * input[4] / 256;
  const std::string first = data.substr(0, split), second = data.substr(split);

  const int display = (flags >> 5) & 3;
  use_display(display < 3 ? 932 : kOtherCodePages[(input[5] >> 4) & 3], display >= 2);

  console::DumpOptions& o = console::g_options;
  o = console::DumpOptions{};
  o.pause = (input[6] & 0x80) != 0;
  o.japanese_display = (flags & 1) == 0;
  o.hyphen = (flags & 2) == 0;
  o.skip = static_cast<int32_t>((input[1] | input[2] << 8) % (first.size() + 48));
  dump::use_line_path((flags & 16) != 0 ? dump::LinePath::kPerByte : dump::LinePath::kRows);
  const int text_encoding = ((flags >> 7) & 1) | ((input[6] >> 5) & 2);
  const bool odd = (input[5] & 1) != 0;
  const encoding::TextEncoding kEncodings[] = {
      encoding::TextEncoding::kCodePage, encoding::TextEncoding::kAuto,
      odd ? encoding::TextEncoding::kEucJp : encoding::TextEncoding::kUtf8,
      odd ? encoding::TextEncoding::kUtf16Be : encoding::TextEncoding::kUtf16Le};
  o.encoding = kEncodings[text_encoding];
  const line_model::Format format{o.japanese_display, o.hyphen, display >= 2};

  // A fresh run: no rows on the screen, no file opened yet.
  g_pager = PagerModel{};
  g_pager.on = o.pause;
  g_pager.page = (input[6] & 63) + 1;
  g_keys = KeyScript{static_cast<uint32_t>(input[5]) << 8 | input[6], {}};
  console::g_screen = console::ScreenCounters{0, g_pager.page};
  console::g_progress = console::Progress{};

  dump_and_check(first, (flags & 4) != 0, input[5], static_cast<uint64_t>(o.skip), format);
  dump_and_check(second, (flags & 8) != 0, input[5] + 1u, static_cast<uint64_t>(o.skip), format);
  return 0;
}
