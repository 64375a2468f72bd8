// Bad and awkward inputs, end to end: files that cannot be opened or read, streams,
// endless input, files that change while they are dumped, names of every shape. Every
// failure must be told in words and in the exit code, and no byte lost or repeated.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "line_model.h"
#include "reliability_child.h"
#include "run_tovix.h"
#include "tmux_session.h"

namespace {

using tovix_test::banner;
using tovix_test::Child;
using tovix_test::ChildEnd;
using tovix_test::header;
using tovix_test::input_is_output;
using tovix_test::Launch;
using tovix_test::open_failed;
using tovix_test::read_failed;
using tovix_test::ScratchDir;

// Bytes that exercise the character column: Shift_JIS pairs, kana, control codes, and
// lead bytes without a trail, mixed with random ones (a fixed seed: reruns agree).
std::string awkward_bytes(size_t n, uint32_t seed) {
  static const uint8_t kPicks[] = {0x82, 0xA0, 0x81, 0x41, 0x0D, 0x0A, 0xB1, 0xFF,
                                   0xE0, 0x40, 0x7F, 0x20, 0x95, 0x5C, 0xFC, 0x00};
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 7;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = static_cast<char>((x & 0x300) != 0 ? kPicks[x & 15] : (x >> 16) & 0xFF);
  }
  return s;
}

// Writes data to fd in uneven pieces, now and then pausing, then closes fd. Every
// fourth piece is a few bytes only, so that the reader, which hands out lines whenever
// the input stalls, often finds a line cut short or waiting for its look-ahead byte.
void feed_unevenly(int fd, const std::string& data) {
  uint32_t x = 12345;
  for (size_t pos = 0; pos < data.size();) {
    x = x * 1103515245u + 12345u;
    const size_t most = (x & 0x300) == 0 ? 33 : 9000;
    const size_t piece = std::min<size_t>(data.size() - pos, 1 + (x >> 8) % most);
    const ssize_t n = ::write(fd, data.data() + pos, piece);
    if (n <= 0) break;
    pos += static_cast<size_t>(n);
    if ((x & 0x1F000) == 0) ::usleep(2000);
  }
  ::close(fd);
}

// The text after the banner and one header must be exactly the dump of data.
void expect_dump(const std::string& out, const std::string& name, const std::string& data,
                 uint64_t skip, bool japanese) {
  const std::string head = banner() + header(name);
  ASSERT_EQ(out.compare(0, head.size(), head), 0) << "no header for " << name;
  EXPECT_EQ(line_model::check_dump(out.substr(head.size()), data, skip, {japanese, true}), "")
      << name << (japanese ? " -J" : " -j") << " skip " << skip;
}

TEST(Reliability, FilesThatCannotBeOpenedAreReportedAndPassedOver) {
  ScratchDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);  // the unprivileged run must get in
  const std::string good = dir.write("good", "ab");
  const std::string locked = dir.write("locked", "secret");
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  const std::string directory = dir.path() + "/sub";
  ASSERT_EQ(::mkdir(directory.c_str(), 0755), 0);
  const std::string dangling = dir.path() + "/dangling";
  ASSERT_EQ(::symlink("nowhere", dangling.c_str()), 0);
  const std::string bad_names[] = {
      dir.path() + "/missing",
      locked,
      directory,
      dangling,
      dir.path() + "/" + std::string(300, 'c'),  // a component too long for the system
      dir.path() + std::string(2500, '/') + std::string(2500, 'l'),  // a path too long
      good + "/x",                                                   // a file taken for a directory
  };
  Launch launch;
  launch.unprivileged = true;  // the locked file is readable by root
  launch.args = {"-p"};
  std::string expected = banner(), expected_err;
  for (const std::string& name : bad_names) {
    launch.args.push_back(name);
    expected += header(name) + open_failed(name);
    expected_err += open_failed(name);
  }
  launch.args.push_back(good);
  expected += header(good);
  std::string out, err;
  const ChildEnd end = tovix_test::run_child(launch, &out, &err);
  ASSERT_NE(end.exit_code, 126) << "could not change to an unprivileged user";
  EXPECT_EQ(end.exit_code, 1);
  EXPECT_EQ(err, expected_err);
  ASSERT_EQ(out.compare(0, expected.size(), expected), 0) << out.substr(0, 2000);
  EXPECT_EQ(line_model::check_dump(out.substr(expected.size()), "ab", 0, {}), "");
}

// Memory the test maps at a fixed low address, readable up to `readable` bytes and
// unmapped after: /proc/<pid>/mem then reads like a file whose reads fail at that point.
class FailingRegion {
 public:
  explicit FailingRegion(size_t readable) : size_(readable) {
    const long page = ::sysconf(_SC_PAGESIZE);
    for (uintptr_t at = 0x10000000; at < 0x70000000 && base_ == nullptr; at += 0x08000000) {
      void* p = ::mmap(reinterpret_cast<void*>(at), readable + page, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
      if (p == MAP_FAILED) continue;
      if (p != reinterpret_cast<void*>(at)) {
        ::munmap(p, readable + page);
        continue;
      }
      base_ = static_cast<char*>(p);
    }
    if (base_ == nullptr) return;
    ::munmap(base_ + readable, static_cast<size_t>(page));
    content_ = awkward_bytes(readable, 99);
    std::copy(content_.begin(), content_.end(), base_);
  }
  ~FailingRegion() {
    if (base_ != nullptr) ::munmap(base_, size_);
  }
  bool ok() const { return base_ != nullptr; }
  uintptr_t address() const { return reinterpret_cast<uintptr_t>(base_); }
  const std::string& content() const { return content_; }

 private:
  size_t size_;
  char* base_ = nullptr;
  std::string content_;
};

TEST(Reliability, ReadFailureAfterDataShowsAllDataThenTheMessage) {
  // The failure at a block boundary is met by the look-ahead read under -J, before the
  // line it serves is written; in mid-block it is met after a short read.
  struct Case {
    size_t readable;
    const char* japanese;
  } cases[] = {{1 << 16, "-J"},
               {1 << 16, "-j"},
               {(1 << 16) + 4096, "-J"},
               {(1 << 16) + 4096, "-j"},
               {4096, "-J"}};
  for (const Case& c : cases) {
    FailingRegion region(c.readable);
    if (!region.ok()) GTEST_SKIP() << "no free low address to map";
    const std::string name = "/proc/" + std::to_string(::getpid()) + "/mem";
    char skip[32];
    std::snprintf(skip, sizeof skip, "%lXH", static_cast<unsigned long>(region.address()));
    Launch launch;
    launch.args = {"-p", c.japanese, "-s", skip, name};
    std::string out, err;
    const ChildEnd end = tovix_test::run_child(launch, &out, &err);
    const std::string head = banner() + header(name);
    ASSERT_EQ(out.compare(0, head.size(), head), 0);
    const std::string message = read_failed(name);
    if (out == head + message) GTEST_SKIP() << "this system does not let us read our memory";
    SCOPED_TRACE(std::to_string(c.readable) + " bytes " + c.japanese);
    EXPECT_EQ(end.exit_code, 1);
    EXPECT_EQ(err, message + "\n");  // seen even though the dump went into a pipe
    ASSERT_GE(out.size(), head.size() + message.size());
    EXPECT_EQ(out.substr(out.size() - message.size()), message);
    const std::string lines = out.substr(head.size(), out.size() - head.size() - message.size());
    std::string bytes, error;
    uint32_t first = 0;
    ASSERT_TRUE(line_model::read_hex_column(lines, &bytes, &first, &error)) << error;
    EXPECT_EQ(first, static_cast<uint32_t>(region.address()));
    EXPECT_EQ(bytes.size(), region.content().size());
    EXPECT_TRUE(bytes == region.content()) << "the bytes before the failure differ";
  }
}

TEST(Reliability, StreamsAreDumpedWholeWhateverTheirPieces) {
  const std::string data = awkward_bytes(300000, 3);
  enum Kind { kFifo, kStdinPipe, kFdName };
  for (Kind kind : {kFifo, kStdinPipe, kFdName}) {
    for (const char* japanese : {"-J", "-j"}) {
      for (const char* skip : {"0", "37"}) {
        ScratchDir dir;
        Launch launch;
        int write_fd = -1, pipe_fds[2] = {-1, -1};
        std::string name;
        if (kind == kFifo) {
          name = dir.path() + "/fifo";
          ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
        } else {
          ASSERT_EQ(::pipe2(pipe_fds, O_CLOEXEC), 0);
          write_fd = pipe_fds[1];
          if (kind == kStdinPipe) {
            name = "/dev/stdin";
            launch.stdin_fd = pipe_fds[0];
          } else {
            name = "/dev/fd/3";  // what a shell's <(...) hands over
            launch.fds = {{pipe_fds[0], 3}};
          }
        }
        launch.args = {"-p", japanese, "-s", skip, name};
        Child child(launch);
        if (pipe_fds[0] >= 0) ::close(pipe_fds[0]);
        if (kind == kFifo) write_fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(write_fd, 0);
        std::thread writer(feed_unevenly, write_fd, data);
        const ChildEnd end = child.wait();
        writer.join();
        SCOPED_TRACE(name + " " + japanese + " -s " + skip);
        EXPECT_EQ(end.exit_code, 0);
        EXPECT_EQ(child.err(), "");
        expect_dump(child.out(), name, data, std::stoul(skip), japanese[1] == 'J');
      }
    }
  }
}

// The first k lines of text (all of it when it has fewer).
std::string first_lines(const std::string& text, size_t k) {
  size_t end = 0;
  for (size_t i = 0; i < k && end < text.size(); ++i) {
    const size_t at = text.find('\n', end);
    end = at == std::string::npos ? text.size() : at + 1;
  }
  return text.substr(0, end);
}

// A live stream that pauses with its writer still there: every complete line (and the
// banner and header before any line) has reached the reader of the output by then, a
// partial line has not, and neither has a full line that ends in a lead byte while the
// byte after it, which decides its look, is still to come. The whole dump equals that
// of the same bytes in a file.
TEST(Reliability, LiveInputShowsEachLineAsSoonAsItIsComplete) {
  const std::string line = "0123456789abcdef";
  struct Step {
    std::string bytes;  // written, then the writer pauses
    size_t lines;       // dump lines out by then
  };
  const struct Case {
    const char* what;
    std::vector<std::string> options;
    std::vector<Step> steps;
  } cases[] = {
      {"banner and header come before any byte", {}, {{"", 0}, {"hello", 0}, {"world ~~~~~~", 1}}},
      {"lines and a part", {}, {{line + line + "ab", 2}, {std::string(13, 'c'), 2}, {"d", 3}}},
      {"a lead byte at the end waits for the next byte",
       {"-J"},
       {{"0123456789abcde\x82", 0}, {"\xA0", 1}, {line.substr(0, 14) + "\x95", 1}, {"x", 2}}},
      {"a lead byte at the end takes a non-trail byte",
       {"-J"},
       {{line + "0123456789abcde\x81", 1}, {"\x7F", 2}}},
      {"an inner lead byte does not wait", {"-J"}, {{"\x82\xA0" + line.substr(0, 14), 1}}},
      {"-j never waits for the byte after", {"-j"}, {{"0123456789abcde\x82", 1}, {"\xA0", 1}}},
      {"a skip waits for its bytes, the header does not",
       {"-s", "20"},
       {{"", 0}, {std::string(30, 's'), 0}, {"tt", 1}}},
      {"a UTF-8 character begun at the end waits for its last byte",
       {"-e", "utf8"},
       {{"0123456789abcd\xE6\x97", 0},
        {"\xA5", 1},
        {line.substr(0, 14) + "\xF0", 1},
        {"\x9F\x98", 1},
        {"\x80", 2}}},
      {"UTF-8 that ends a line with a whole character does not wait",
       {"-e", "utf8"},
       {{"0123456789abc\xE6\x97\xA5", 1}}},
      {"a UTF-16 surrogate pair at the end waits for its low half",
       {"-e", "utf16le"},
       {{"0123456789abcd\x3D\xD8", 0}, {std::string(1, '\0'), 0}, {"\xDE", 1}}},
      {"EUC-JP: a byte that may begin a pair waits for one more",
       {"-e", "eucjp"},
       {{"0123456789abcde\xC6", 0}, {"\xFC", 1}, {line, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string data;
    for (const Step& step : c.steps) data += step.bytes;
    ScratchDir dir;
    const std::string file = dir.write("f", data);
    std::vector<std::string> args{"-p"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    std::vector<std::string> file_args = args;
    file_args.push_back(file);
    // -e names the encoding in the header.
    std::string label;
    for (size_t k = 0; k + 1 < c.options.size(); ++k) {
      if (c.options[k] == "-e")
        label = c.options[k + 1] == "utf8"    ? " UTF-8"
                : c.options[k + 1] == "eucjp" ? " EUC-JP"
                                              : " UTF-16LE";
    }
    auto header_of = [&](const std::string& name) { return "\n[ " + name + " ]" + label + "\n\n"; };
    const std::string file_head = banner() + header_of(file);
    const std::string file_out = tovix_test::run_tovix(file_args).out;
    ASSERT_EQ(file_out.compare(0, file_head.size(), file_head), 0);
    const std::string lines = file_out.substr(file_head.size());

    int pipe_fds[2];
    ASSERT_EQ(::pipe2(pipe_fds, O_CLOEXEC), 0);
    Launch launch;
    launch.args = args;
    launch.args.push_back("/dev/stdin");
    launch.stdin_fd = pipe_fds[0];
    Child child(launch);
    ::close(pipe_fds[0]);
    const std::string head = banner() + header_of("/dev/stdin");
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const Step& step = c.steps[i];
      ASSERT_EQ(::write(pipe_fds[1], step.bytes.data(), step.bytes.size()),
                static_cast<ssize_t>(step.bytes.size()));
      const std::string expected = head + first_lines(lines, step.lines);
      // Generous for a loaded machine: the wait ends as soon as the text is there.
      child.read_out_until(expected.size(), 20000);
      EXPECT_EQ(child.out(), expected) << "after step " << i;
      // Nothing more comes while the writer pauses.
      EXPECT_FALSE(child.read_out_until(expected.size() + 1, 200))
          << "after step " << i << ": " << child.out().substr(expected.size());
    }
    ::close(pipe_fds[1]);
    const ChildEnd end = child.wait();
    EXPECT_EQ(end.exit_code, 0);
    EXPECT_EQ(child.err(), "");
    EXPECT_EQ(child.out(), head + lines);
  }
}

// The same on a terminal, with the pager on: what is known shows while the input waits.
TEST(Reliability, LiveInputReachesTheTerminalWhileTheInputWaits) {
  if (!tovix_test::TmuxSession::available()) GTEST_SKIP() << "tmux is not installed";
  tovix_test::TmuxSession s;
  const std::string gate = s.dir() + "/gate";
  ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
  ASSERT_TRUE(s.start("(printf '0123456789abcdefXY'; cat gate) | \"$TOVIX\" /dev/stdin"))
      << s.error();
  ASSERT_TRUE(s.wait_for_text(
      "00000000  30 31 32 33 34 35 36 37-38 39 61 62 63 64 65 66   0123456789abcdef"))
      << s.text();
  EXPECT_NE(s.text().find(banner().substr(1, banner().size() - 2)), std::string::npos);
  EXPECT_EQ(s.text().find("00000010"), std::string::npos) << "the partial line did not wait";
  // The input goes on and ends: cat is waiting for a writer of the gate by now.
  int fd = -1;
  for (int tries = 0; fd < 0 && tries < 2000; ++tries) {
    fd = ::open(gate.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) ::usleep(10000);
  }
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "Z", 1), 1);
  ::close(fd);
  ASSERT_EQ(s.wait_for_exit(), 0);
  EXPECT_NE(s.text().find("00000010  58 59 5A"), std::string::npos) << s.text();
}

// Reads n bytes of the dump of an endless input, then goes away; returns how it ended.
ChildEnd read_endless_then_leave(const std::vector<std::string>& args, size_t n,
                                 std::string* start) {
  Launch launch;
  launch.args = args;
  Child child(launch);
  child.read_out(n);
  *start = child.out().substr(0, 4096);
  child.close_out();
  const ChildEnd end = child.wait();
  EXPECT_EQ(child.err(), "") << "the end of the reader is no error";
  return end;
}

TEST(Reliability, EndlessInputStreamsInConstantMemoryAndEndsQuietly) {
  ScratchDir dir;
  // A sparse file of 5 GiB read from 2 GiB on, and /dev/zero; both never end in the
  // time the reader stays.
  const std::string sparse = dir.path() + "/sparse";
  {
    const int fd = ::open(sparse.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 5LL << 30), 0);
    ASSERT_EQ(::pwrite(fd, "Tovix", 5, 0x7FFFFFF5), 5);
    ::close(fd);
  }
  const std::vector<std::string> sources[] = {
      {"-p", "/dev/zero"},
      {"-p", "-j", "/dev/zero"},
      {"-p", "-s", "7FFFFFF0H", sparse},
  };
  for (const auto& args : sources) {
    SCOPED_TRACE(args.back());
    std::string start_small, start_large;
    const ChildEnd small = read_endless_then_leave(args, 1 << 20, &start_small);
    const ChildEnd large = read_endless_then_leave(args, 48 << 20, &start_large);
    for (const ChildEnd& end : {small, large}) {
      EXPECT_EQ(end.exit_code, 0);
      EXPECT_EQ(end.signal, 0);
    }
    // A leak of even 16 bytes a line would add 10 MB over the 600,000 lines between
    // them; the margin is for the sanitizers' own bookkeeping.
    EXPECT_LT(large.max_rss_kb - small.max_rss_kb, 8192)
        << small.max_rss_kb << " KiB, then " << large.max_rss_kb << " KiB";
    EXPECT_EQ(start_small, start_large);
    const std::string first_line =
        args.back() == sparse
            ? "7FFFFFF0  00 00 00 00 00 54 6F 76-69 78 00 00 00 00 00 00   .....Tovix......\n"
            : "00000000  00 00 00 00 00 00 00 00-00 00 00 00 00 00 00 00   ................\n";
    EXPECT_NE(start_small.find(header(args.back()) + first_line), std::string::npos)
        << start_small.substr(0, 300);
  }
}

TEST(Reliability, FileThatShrinksOrGrowsWhileDumped) {
  // The dump is held up by a pipe that the test stops reading: the program is at most
  // a pipe, an output buffer and two blocks ahead (far less than 1,500,000 bytes of
  // input) when the file changes, so what the reads return from then on is settled.
  const std::string original = awkward_bytes(4 << 20, 5);
  struct Case {
    const char* what;
    size_t new_size;  // the file is cut to this size, or grown with new bytes to it
  } cases[] = {{"shrinks", 1500000}, {"shrinks to nothing left", 0}, {"grows", 5000000}};
  for (const Case& c : cases) {
    for (const char* japanese : {"-J", "-j"}) {
      SCOPED_TRACE(std::string(c.what) + " " + japanese);
      ScratchDir dir;
      const std::string f = dir.write("f", original);
      Launch launch;
      launch.args = {"-p", japanese, f};
      Child child(launch);
      child.read_out(4096);
      ::usleep(100000);  // let it fill the pipe and stop
      std::string now;
      if (c.new_size <= original.size()) {
        ASSERT_EQ(::truncate(f.c_str(), static_cast<off_t>(c.new_size)), 0);
        now = original.substr(0, c.new_size);
      } else {
        const std::string more = awkward_bytes(c.new_size - original.size(), 6);
        const int fd = ::open(f.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        ASSERT_EQ(::write(fd, more.data(), more.size()), static_cast<ssize_t>(more.size()));
        ::close(fd);
        now = original + more;
      }
      const ChildEnd end = child.wait();
      EXPECT_EQ(end.exit_code, 0);
      EXPECT_EQ(end.signal, 0);
      const std::string head = banner() + header(f);
      ASSERT_EQ(child.out().compare(0, head.size(), head), 0);
      const std::string lines = child.out().substr(head.size());
      std::string bytes, error;
      uint32_t first = 0;
      ASSERT_TRUE(line_model::read_hex_column(lines, &bytes, &first, &error)) << error;
      EXPECT_EQ(first, 0u);
      if (c.new_size == 0) {
        // Cut below what was already read: what was read is shown, nothing after it.
        ASSERT_LE(bytes.size(), 1500000u);
        EXPECT_TRUE(bytes == original.substr(0, bytes.size()));
      } else {
        EXPECT_EQ(bytes.size(), now.size());
        EXPECT_TRUE(bytes == now) << "the dump differs from what the file held";
      }
    }
  }
}

TEST(Reliability, FailedWritesAreReportedOnStandardError) {
  ScratchDir dir;
  const std::string small = dir.write("small", "ab");
  const std::string large = dir.write("large", awkward_bytes(500000, 8));
  const std::vector<std::string> runs[] = {
      {"-p", small},  // fails at the flush at the end
      {"-p", large},  // fails when the buffer first fills
      {"-p", dir.path() + "/missing"},
      {"-x"},               // the usage text cannot be written either
      {"-p", "/dev/zero"},  // endless: must not go on for ever
  };
  // A device is written in place; a regular file (here one open for reading only, so
  // that every write fails) on the writer thread, whose failure must come back the same.
  const std::string unwritable = dir.write("unwritable", "");
  const int outputs[] = {::open("/dev/full", O_WRONLY | O_CLOEXEC),
                         ::open(unwritable.c_str(), O_RDONLY | O_CLOEXEC)};
  // "標準出力への書き込みに失敗しました"
  const std::string message =
      "\x95W\x8F\x80\x8Fo\x97\xCD\x82\xD6\x82\xCC\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x82\xC9\x8E"
      "\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
  for (const int output : outputs) {
    ASSERT_GE(output, 0);
    for (const auto& args : runs) {
      Launch launch;
      launch.args = args;
      launch.stdout_fd = output;
      std::string err;
      const ChildEnd end = tovix_test::run_child(launch, nullptr, &err);
      EXPECT_EQ(end.exit_code, 1) << output << " " << args.back();
      EXPECT_NE(err.find(message), std::string::npos) << args.back() << ": " << err;
    }
    ::close(output);
  }
}

// The one dump line of a file of a few printable bytes.
std::string one_line(const std::string& content) {
  std::string line = "00000000  ";
  for (size_t k = 0; k < 16; ++k) {
    char cell[4] = "  ";
    if (k < content.size())
      std::snprintf(cell, sizeof cell, "%02X", static_cast<unsigned char>(content[k]));
    line += std::string(cell) + (k == 7 ? "-" : " ");
  }
  return line + "  " + content + std::string(16 - content.size(), ' ') + "\n";
}

TEST(Reliability, TheOutputFileIsNotDumpedIntoItself) {
  // Appending the dump of a file to that file would grow it until the disk is full.
  struct Case {
    const char* what;
    int flags;             // how standard output is opened on "out"
    const char* names[3];  // the files to dump, in order
    const char* refused;   // the one of them that is the output
  } cases[] = {
      {"appended to itself", O_APPEND, {"out"}, "out"},
      {"among other files", O_APPEND, {"a", "out", "b"}, "out"},
      {"under another name", O_APPEND, {"a", "link"}, "link"},
      {"written over", O_TRUNC, {"out", "a"}, "out"},
      {"another file", O_TRUNC, {"a", "b"}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    const std::string before = "output file\n";
    dir.write("out", before);
    dir.write("a", "AAAA");
    dir.write("b", "BB");
    ASSERT_EQ(::link((dir.path() + "/out").c_str(), (dir.path() + "/link").c_str()), 0);
    const int out_fd = ::open((dir.path() + "/out").c_str(), O_WRONLY | O_CLOEXEC | c.flags);
    ASSERT_GE(out_fd, 0);
    Launch launch;
    launch.cwd = dir.path();
    launch.args = {"-p"};
    launch.stdout_fd = out_fd;
    std::string expected = c.flags == O_APPEND ? before : "";
    expected += banner();
    for (const char* name : c.names) {
      if (name == nullptr) break;
      launch.args.push_back(name);
      expected += header(name);
      if (c.refused != nullptr && std::string(name) == c.refused) {
        expected += input_is_output(name);
      } else {
        expected += one_line(name[0] == 'a' ? "AAAA" : "BB");
      }
    }
    std::string err;
    const ChildEnd end = tovix_test::run_child(launch, nullptr, &err);
    ::close(out_fd);
    EXPECT_EQ(end.exit_code, c.refused != nullptr ? 1 : 0);
    EXPECT_EQ(err, c.refused != nullptr ? input_is_output(c.refused) : "");
    std::string written;
    {
      const int fd = ::open((dir.path() + "/out").c_str(), O_RDONLY | O_CLOEXEC);
      char buf[4096];
      for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        written.append(buf, static_cast<size_t>(n));
      ::close(fd);
    }
    EXPECT_EQ(written, expected);
  }
}

TEST(Reliability, NamesOfEveryShapeAreShownAsGiven) {
  ScratchDir dir;
  // 4,000 bytes through nested directories (a component may hold at most 255).
  std::string deep = dir.path();
  while (deep.size() + 201 < 4000 - 100) {
    deep += "/" + std::string(200, 'd');
    ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
  }
  const std::string long_name = deep + "/" + std::string(4000 - deep.size() - 1, 'f');
  ASSERT_EQ(long_name.size(), 4000u);
  const std::string long_missing = long_name.substr(0, 3999) + "g";
  {
    const int fd = ::open(long_name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "long", 4), 4);
    ::close(fd);
  }
  // Relative names, as given after the options: Shift_JIS (表 ends in 0x5C, kana, a
  // pair with a trail byte 0x7C), blanks, and names that look like options.
  const std::string names[] = {
      "\x95\x5C.bin",                      // 表.bin
      "\xB6\xC5",                          // ｶﾅ
      "\x83\x7C\x83\x43\x83\x93\x83\x67",  // ポイント
      "a b  c",
      " lead",
      "-k",
      "-s",
      "--",
      "-",
  };
  for (size_t i = 0; i < std::size(names); ++i)
    dir.write(names[i], std::string("file ") + std::to_string(i));

  Launch launch;
  launch.cwd = dir.path();
  launch.args = {"-p", long_name, long_missing};
  std::string expected = banner() + header(long_name) + one_line("long");
  expected += header(long_missing) + open_failed(long_missing);
  for (size_t i = 0; i < std::size(names); ++i) {
    launch.args.push_back(names[i]);
    expected += header(names[i]) + one_line(std::string("file ") + std::to_string(i));
  }
  std::string out, err;
  const ChildEnd end = tovix_test::run_child(launch, &out, &err);
  EXPECT_EQ(end.exit_code, 1);  // the long missing name
  EXPECT_EQ(err, open_failed(long_missing));
  EXPECT_EQ(out, expected);
}

// True when process pid ends (a zombie, not yet waited for) within timeout_ms.
bool ends_within(pid_t pid, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 20) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t paren = line.rfind(')');
    if (paren == std::string::npos || line.compare(paren + 2, 1, "Z") == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// A pattern's match that becomes a FIFO, a device or a directory after the search and
// before its turn: the run is held back by a full pipe while the first match is dumped,
// and the second is replaced meanwhile. It is passed over as the search would have
// passed it over: no wait for a writer, no endless zeros.
TEST(Reliability, PatternMatchReplacedBeforeItsTurnIsPassedOver) {
  const struct {
    const char* name;
    int (*replace)(const std::string& path);
  } cases[] = {
      {"a FIFO", [](const std::string& p) { return ::mkfifo(p.c_str(), 0600); }},
      {"a link to /dev/zero",
       [](const std::string& p) { return ::symlink("/dev/zero", p.c_str()); }},
      {"a directory", [](const std::string& p) { return ::mkdir(p.c_str(), 0700); }},
  };
  const std::string data = awkward_bytes(2 << 20, 3);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string first = dir.write("x1", data);
    const std::string second = dir.write("x2", "two");
    Launch launch;
    launch.args = {"-p", dir.path() + "/x*"};
    Child child(launch);
    // Some output has come: the list is made, and the dump of x1 (9 MB) fills the pipe.
    ASSERT_TRUE(child.read_out_until(1, 20000));
    ASSERT_EQ(::unlink(second.c_str()), 0);
    ASSERT_EQ(c.replace(second), 0);
    const std::string head = banner() + header(first);
    child.read_out_until(head.size() + data.size() * 5, 20000);
    // Nothing of x2 follows, not even its header.
    EXPECT_FALSE(child.read_out_until(child.out().size() + 1, 300));
    if (!ends_within(child.pid(), 5000)) {
      ADD_FAILURE() << "still running: " << child.out().size() << " bytes out";
      ::kill(child.pid(), SIGKILL);
    }
    const ChildEnd end = child.wait();
    EXPECT_EQ(end.exit_code, 0);
    EXPECT_EQ(child.err(), "");
    ASSERT_EQ(child.out().compare(0, head.size(), head), 0);
    EXPECT_EQ(line_model::check_dump(child.out().substr(head.size()), data, 0, {}), "");
  }
}

// A FIFO named after a file: its open waits for a writer, and everything before it (the
// banner, the first dump, the FIFO's header) has reached the output by then; so a run
// that is ended there has lost nothing. The bytes the writer then sends are dumped.
TEST(Reliability, OutputBeforeAnOpenThatWaitsIsWrittenFirst) {
  ScratchDir dir;
  const std::string file = dir.write("f", "ab");
  const std::string fifo = dir.path() + "/ff";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  Launch launch;
  launch.args = {"-p", file, fifo};
  Child child(launch);
  const std::string before = banner() + header(file) + one_line("ab") + header(fifo);
  child.read_out_until(before.size(), 20000);
  EXPECT_EQ(child.out(), before);
  const int writer = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(::write(writer, "cd", 2), 2);
  ::close(writer);
  const ChildEnd end = child.wait();
  EXPECT_EQ(end.exit_code, 0);
  EXPECT_EQ(child.out(), before + one_line("cd"));
}

// Started without standard input, output or error: no file takes the place of one. A
// closed standard output gets the write-failure message alone (the file is not taken
// for the output) and exit code 1; the other two change nothing.
TEST(Reliability, ClosedStandardDescriptorsAreNotTakenByFiles) {
  ScratchDir dir;
  const std::string file = dir.write("f", "ab");
  // "標準出力への書き込みに失敗しました"
  const std::string write_failed =
      "\x95W\x8F\x80\x8Fo\x97\xCD\x82\xD6\x82\xCC\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x82\xC9\x8E"
      "\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD: Bad file descriptor\n";
  const std::string dump = banner() + header(file) + one_line("ab");
  const struct {
    const char* name;
    int closed;
    int exit_code;
    std::string out, err;
  } cases[] = {
      {">&-", 1, 1, "", write_failed},
      {"<&-", 0, 0, dump, ""},
      {"2>&-", 2, 0, dump, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Launch launch;
    launch.args = {"-p", file};
    launch.closed = {c.closed};
    std::string out, err;
    const ChildEnd end = tovix_test::run_child(launch, &out, &err);
    EXPECT_EQ(end.exit_code, c.exit_code);
    if (c.closed != 1) {
      EXPECT_EQ(out, c.out);
    }
    if (c.closed != 2) {
      EXPECT_EQ(err, c.err);
    }
  }
}

// A name's controls, shown on standard error (where the open-failure message is copied
// when the output is redirected), under each kind of display charset: C0, DEL and C1,
// raw or in UTF-8, and the bidirectional controls become '?'; characters stay whole,
// also those whose bytes lie where C1 lies in other charsets.
TEST(Reliability, ControlsInNamesBecomeQuestionMarks) {
  const struct {
    const char* locale;
    std::string name, shown;
  } cases[] = {
      {"C.UTF-8", "{\x1B[2J\r\x7F}", "{?[2J??}"},
      {"C.UTF-8",
       "{\xC2\x9B"
       "31m\xC2\x85}",
       "{?31m?}"},                                                              // CSI, NEL
      {"C.UTF-8", "{\x9B\x90}", "{??}"},                                        // raw C1
      {"C.UTF-8", "{\xE2\x80\xAE\xE2\x81\xA6\xE2\x80\x8F\xD8\x9C}", "{????}"},  // RLO LRI RLM ALM
      {"C.UTF-8", "{\xE3\x81\x82\xC2\xA0\xE2\x80\x8D}", "{\xE3\x81\x82\xC2\xA0\xE2\x80\x8D}"},
      {"ja_JP.eucJP", "{\x9B\x85\x1B}", "{???}"},
      {"ja_JP.eucJP", "{\x8E\xB1\xA4\xA2}", "{\x8E\xB1\xA4\xA2}"},  // ｱ, あ
      {"ja_JP.SJIS", "{\x1B\x80\x7F}", "{???}"},
      {"ja_JP.SJIS", "{\x9B\x40\x82\xA0\xB1}", "{\x9B\x40\x82\xA0\xB1}"},  // a kanji, あ, ｱ
      {"ja_JP.SJIS", "{\x82", "{\x82"},  // a lead byte alone at the end
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + " " + c.shown);
    Launch launch;
    launch.args = {"-p", c.name};
    launch.locale = c.locale;
    std::string out, err;
    const ChildEnd end = tovix_test::run_child(launch, &out, &err);
    EXPECT_EQ(end.exit_code, 1);
    EXPECT_NE(err.find(c.shown), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
}

}  // namespace
