// Fuzz target for the dump engine: random bytes go through the per-file loop (open,
// skip, block reader, line layout, Japanese display) from a regular file or from a pipe
// fed in uneven pieces, and every line written is checked against the reference model
// of the line format (line_model.h). Two files are dumped in one run, so that state
// carried from one file into the next is checked too.
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
//   byte 5      seed of the piece sizes in which a pipe is fed
//   the rest    the data
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/file_loop.h"
#include "console/display_encoding.h"
#include "console/dump_options.h"
#include "console/output.h"
#include "console/pager.h"
#include "dump/byte_class.h"
#include "dump/japanese.h"
#include "dump/line_format.h"
#include "line_model.h"

namespace {

constexpr size_t kMaxFileSize = 3 << 16;  // three blocks of the reader
constexpr int kOtherCodePages[] = {936, 949, 950, 1361};

int g_captured_stdout = -1;  // a memory file standing in for standard output

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
  dump::char_column_setup();
  dump::line_format_setup();
  g_display = {code_page, utf8};
}

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "dump_fuzz: %s\n", what.c_str());
  std::abort();
}

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

void close_source(Source& s) {
  if (s.writer.joinable()) s.writer.join();
  ::close(s.fd);
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
  console::g_screen.lines_on_screen = 0;
  const std::string name = source.name();
  app::dump_file(name.c_str());
  console::out_flush();
  close_source(source);

  const std::string out = read_captured();
  const std::string header = "\n[ " + name + " ]\n\n";
  if (out.compare(0, header.size(), header) != 0) fail("the header is wrong");
  const std::string error = line_model::check_dump(out.substr(header.size()), data, skip, format);
  if (!error.empty()) fail(error);
  // Every byte of the file is counted once, whatever the skip.
  if (console::g_progress.bytes_consumed != data.size())
    fail("bytes_consumed " + std::to_string(console::g_progress.bytes_consumed) + " of " +
         std::to_string(data.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_captured_stdout = ::memfd_create("dump_fuzz_stdout", MFD_CLOEXEC);
  if (g_captured_stdout < 0 || ::dup2(g_captured_stdout, STDOUT_FILENO) < 0)
    fail("cannot capture standard output");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 7) return 0;
  const uint8_t flags = input[0];
  const std::string unit(reinterpret_cast<const char*>(input + 6), size - 6);
  std::string data;
  for (int r = (input[3] & 63) + 1; r > 0 && data.size() < kMaxFileSize; --r) data += unit;
  if (data.size() > kMaxFileSize) data.resize(kMaxFileSize);
  const size_t split = data.size() * input[4] / 256;
  const std::string first = data.substr(0, split), second = data.substr(split);

  const int display = (flags >> 5) & 3;
  use_display(display < 3 ? 932 : kOtherCodePages[(input[5] >> 4) & 3], display >= 2);

  console::DumpOptions& o = console::g_options;
  o = console::DumpOptions{};
  o.pause = false;
  o.japanese_display = (flags & 1) == 0;
  o.hyphen = (flags & 2) == 0;
  o.skip = static_cast<int32_t>((input[1] | input[2] << 8) % (first.size() + 48));
  dump::use_line_path((flags & 16) != 0 ? dump::LinePath::kPerByte : dump::LinePath::kRows);
  const line_model::Format format{o.japanese_display, o.hyphen, display >= 2};

  dump_and_check(first, (flags & 4) != 0, input[5], static_cast<uint64_t>(o.skip), format);
  dump_and_check(second, (flags & 8) != 0, input[5] + 1u, static_cast<uint64_t>(o.skip), format);
  return 0;
}
