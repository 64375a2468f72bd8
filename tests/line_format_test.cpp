// The fast line path (row kernels, masks) against the byte-by-byte path (write_hex_byte,
// write_char_byte and the Japanese state machine), on random data shaped like files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "console/display_char.h"
#include "console/display_encoding.h"
#include "console/dump_options.h"
#include "console/output.h"
#include "console/pager.h"
#include "console/pager_test_helper.h"
#include "dump/block_reader.h"
#include "dump/byte_class.h"
#include "dump/char_row.h"
#include "dump/decoded_column.h"
#include "dump/hex_simd.h"
#include "dump/highlight.h"
#include "dump/japanese.h"
#include "dump/line_format.h"
#include "encoding/text_encoding.h"
#include "platform/file.h"
#include "run_tovix.h"

namespace {

using encoding::TextEncoding;

struct Display {
  const char* name;
  int code_page;
  const char* charset;  // "" for raw output
};

void PrintTo(const Display& d, std::ostream* os) {
  *os << d.name;
}

void set_up_display(const Display& d) {
  dump::build_byte_classes(d.code_page);
  console::display_setup(d.code_page, d.charset);
  console::display_char_setup(d.code_page, d.charset);
  dump::char_column_setup();
  dump::line_format_setup();
}

// Bytes that exercise the pairing: lead and trail bytes, kana, line ends, markers.
std::string biased_bytes(std::mt19937& rng, size_t n) {
  static constexpr uint8_t kInteresting[] = {0x81, 0x82, 0x9F, 0xE0, 0xFC, 0x40, 0x7E, 0x80,
                                             0xA0, 0xA1, 0xDF, 0x0D, 0x0A, 0x0C, 0xFF, 0xFD,
                                             0x00, 0x20, 0x41, 0x7F, 0x5C, 0xEF, 0xF0};
  std::string s(n, '\0');
  for (char& c : s) {
    const uint32_t r = rng();
    c = static_cast<char>((r & 3) == 0 ? static_cast<uint8_t>(r >> 8)
                                       : kInteresting[(r >> 8) % sizeof kInteresting]);
  }
  return s;
}

struct FileCase {
  std::string data;
  uint32_t skip;
  uint32_t origin = 0;  // the offset shown for the data's first byte: a multiple of 16
};

// Everything the line writer changes between lines, for comparing the two paths.
struct LineState {
  bool trail_shown;
  uint8_t pending_lead;
  uint64_t address;
};

LineState state() {
  return {dump::g_char_column.trail_shown, dump::g_char_column.pending_lead,
          dump::g_position.address};
}

// Dumps one simulated file line by line, the way the per-file loop and the block reader
// feed the writer, and returns each line's output and the state after it.
std::vector<std::pair<std::string, LineState>> dump_lines(const FileCase& f, dump::LinePath path) {
  dump::use_line_path(path);
  dump::g_char_column = {};
  dump::g_look_ahead = -1;
  dump::g_position.address = f.origin + f.skip - f.skip % 16;
  dump::g_position.leading_blanks = static_cast<int32_t>(f.skip % 16);
  std::vector<std::pair<std::string, LineState>> lines;
  for (size_t pos = f.skip - f.skip % 16; pos < f.data.size(); pos += 16) {
    const size_t n = std::min<size_t>(16, f.data.size() - pos);
    std::memcpy(dump::g_line.bytes, f.data.data() + pos, n);
    dump::g_line.last_index = static_cast<int32_t>(n) - 1;
    if (console::g_options.japanese_display) {
      dump::g_look_ahead = pos + 16 < f.data.size() ? static_cast<uint8_t>(f.data[pos + 16]) : -1;
    }
    console::g_output.used = 0;
    dump::write_dump_line();
    dump::g_position.leading_blanks = 0;
    lines.emplace_back(std::string(console::g_output.data, console::g_output.used), state());
  }
  console::g_output.used = 0;
  return lines;
}

void expect_same_dump(const FileCase& f, const std::string& what) {
  const auto reference = dump_lines(f, dump::LinePath::kPerByte);
  const auto fast = dump_lines(f, dump::LinePath::kRows);
  ASSERT_EQ(reference.size(), fast.size());
  for (size_t i = 0; i < reference.size(); ++i) {
    ASSERT_EQ(reference[i].first, fast[i].first) << what << ", line " << i;
    EXPECT_EQ(reference[i].second.trail_shown, fast[i].second.trail_shown) << what << i;
    EXPECT_EQ(reference[i].second.pending_lead, fast[i].second.pending_lead) << what << i;
    EXPECT_EQ(reference[i].second.address, fast[i].second.address) << what << i;
  }
}

constexpr Display kDisplays[] = {
    {"raw 932", 932, ""},
    {"utf8 932", 932, "UTF-8"},
    {"eucjp 932", 932, "EUC-JP"},
    // Spellings with 0 bytes: pairs that do not fit in a word, then plain ones too.
    {"utf16 932", 932, "UTF-16LE"},
    {"utf32 932", 932, "UTF-32LE"},
    {"utf8 936", 936, "UTF-8"},
    {"utf8 949", 949, "UTF-8"},
    {"raw 950", 950, ""},
    {"utf8 950", 950, "UTF-8"},
    {"raw 1361", 1361, ""},
    {"utf8 1361", 1361, "UTF-8"},
    {"single byte", 28591, ""},
    {"utf8 single byte", 28591, "UTF-8"},
};

std::string test_name(std::string n) {
  for (char& c : n) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return n;
}

// Each kernel of the build on each display: a kernel this processor cannot run shows in
// the results as skipped, under its own name, rather than passing unseen.
class LineFormatTest : public ::testing::TestWithParam<std::tuple<Display, std::string>> {
 protected:
  void SetUp() override {
    saved_ = console::g_options;
    console::g_options.pause = false;
    set_up_display(display());
    const dump::RowKernelList& kernels = dump::row_kernels();
    for (int k = 0; k < kernels.count; ++k) {
      if (std::strcmp(kernels.kernels[k].name, kernel_name()) == 0) kernel_ = kernels.kernels[k];
    }
    if (kernel_.name == nullptr) {
      GTEST_SKIP() << "kernel " << kernel_name() << " cannot run on this processor (or with the "
                   << display().name << " byte classes)";
    }
    dump::use_line_kernel(kernel_);
  }
  void TearDown() override {
    console::g_options = saved_;
    dump::use_line_path(dump::LinePath::kRows);
    set_up_display({"raw 932", 932, ""});
  }
  const Display& display() const { return std::get<0>(GetParam()); }
  const char* kernel_name() const { return std::get<1>(GetParam()).c_str(); }
  console::DumpOptions saved_;
  dump::RowKernel kernel_{};
};

TEST_P(LineFormatTest, RowKernelsGiveTheBytesOfThePerBytePath) {
  std::mt19937 rng(20240607);
  for (int round = 0; round < 300; ++round) {
    console::g_options.japanese_display = (rng() & 3) != 0;
    console::g_options.hyphen = (rng() & 1) != 0;
    const size_t size = 1 + rng() % 700;
    const uint32_t skip = (rng() & 3) == 0 ? rng() % 40 : 0;
    // Offsets with every hex digit, up to the last line below 4 GiB.
    const uint32_t origin =
        (rng() & 1) != 0 ? std::min<uint32_t>(static_cast<uint32_t>(rng()), 0xFFFFF000u) & ~15u : 0;
    const FileCase f{biased_bytes(rng, size), skip, origin};
    expect_same_dump(f, std::string(kernel_.name) + " round " + std::to_string(round));
    if (HasFatalFailure()) return;
  }
}

// Runs of lead bytes across line ends: the parity of a run decides every pair.
TEST_P(LineFormatTest, LeadRunsAcrossLineEnds) {
  const std::string cases[] = {
      std::string(33, '\x81'),
      std::string(15, 'A') + "\x82\xA0" + std::string(15, 'B'),
      std::string(15, 'A') + "\x82\x41" + std::string(20, '\x82'),
      std::string(15, 'A') + "\x82\x0A" + std::string(16, 'C'),
      std::string(31, 'A') + "\x82",
      "\x82\xA0\xB1\xDE\x0D\x09\x20\x7F\x80\xA0\xFD\x81\x81\x81\x41\x82\x30\x31",
  };
  for (bool japanese : {true, false}) {
    console::g_options.japanese_display = japanese;
    for (const std::string& data : cases) expect_same_dump({data, 0}, data);
  }
}

// Every byte value at every position of a line, so that each end of each byte class
// range is met in each lane, with and without Japanese display.
TEST_P(LineFormatTest, EveryByteAtEveryPosition) {
  std::string data(16 * 256, '\0');
  // Block k holds the bytes from k on: byte v lands at position v - k of a line.
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 256 + i / 256);
  for (bool japanese : {true, false}) {
    console::g_options.japanese_display = japanese;
    expect_same_dump({data, 0}, std::string(kernel_.name) + (japanese ? " japanese" : ""));
  }
}

// A kernel stops after the line that reaches the limit, whatever it works on at once,
// and the lines it wrote are those of a run without a limit.
TEST_P(LineFormatTest, StopsAfterTheLineThatReachesTheLimit) {
  std::mt19937 rng(31);
  const std::string data = biased_bytes(rng, 16 * 9);
  const auto* rows = reinterpret_cast<const uint8_t*>(data.data());
  for (bool japanese : {true, false}) {
    const dump::RowLineFlags flags = {false, dump::char_row_is_raw(), japanese};
    std::vector<char> whole(1 << 14), part(1 << 14);
    size_t done = 0;
    dump::g_char_column = {};
    // Offsets with letters, and carries from digit to digit, within a pair of lines.
    const uint32_t origin = 0xFFFFFF60;
    char* end = kernel_.put_row_lines(whole.data(), whole.data() + whole.size() / 2, origin, rows,
                                      8, rows[128], flags, &done);
    ASSERT_EQ(done, 8u);
    const std::string all(whole.data(), end);
    size_t line_end = 0;
    for (size_t lines = 1; lines <= 8; ++lines) {
      const size_t last_end = line_end;
      line_end = all.find('\n', last_end) + 1;
      char offset[16];
      std::snprintf(offset, sizeof offset, "%08X", origin + 16 * static_cast<uint32_t>(lines - 1));
      EXPECT_EQ(all.substr(last_end, 8), offset);
      // The limit inside line number lines.
      const size_t limit = last_end + 1 + rng() % (line_end - last_end - 1);
      dump::g_char_column = {};
      end = kernel_.put_row_lines(part.data(), part.data() + limit, origin, rows, 8, rows[128],
                                  flags, &done);
      EXPECT_EQ(done, lines) << kernel_.name << " japanese " << japanese;
      EXPECT_EQ(std::string(part.data(), end), all.substr(0, line_end));
    }
  }
}

// The kernels of this build, whether or not this processor runs them.
std::vector<std::string> built_kernels() {
  std::vector<std::string> names;
  for (const char* const* n = dump::built_row_kernel_names(); *n != nullptr; ++n) {
    names.push_back(*n);
  }
  return names;
}

INSTANTIATE_TEST_SUITE_P(Kernels, LineFormatTest,
                         ::testing::Combine(::testing::ValuesIn(kDisplays),
                                            ::testing::ValuesIn(built_kernels())),
                         [](const auto& info) {
                           return test_name(std::string(std::get<0>(info.param).name) + " " +
                                            std::get<1>(info.param));
                         });

// Whole files through the block reader, the way the per-file loop runs them: with the
// fast path the lines after the first of a block are written in one go
// (write_following_lines), and must come out as the byte-by-byte path writes them line by
// line, pager prompts and their percentages included.
struct PagedRun {
  int32_t page_height;  // 0: no pauses
  const char* keys;     // answers to the prompts, in order
};

struct KeyScript {
  const char* keys = "";
  size_t next = 0;
};
KeyScript g_key_script;

int scripted_key() {
  const char* keys = g_key_script.keys;
  return keys[g_key_script.next] == '\0' ? ' ' : keys[g_key_script.next++];
}

// Everything written to standard output while dumping the file at path, twice-checked
// state included: the output stream's flushes land in a scratch file.
std::string dump_file_through_reader(const std::string& path, dump::LinePath line_path,
                                     const PagedRun& run, const std::string& scratch) {
  dump::use_line_path(line_path);
  dump::g_char_column = {};
  dump::g_look_ahead = -1;
  dump::g_position = {};
  dump::begin_file_encoding();
  console::g_output.used = 0;
  console::g_options.pause = run.page_height > 0;
  console::g_screen.page_height = run.page_height;
  console::g_screen.lines_on_screen = 0;
  g_key_script = {run.keys, 0};
  console::pager_use_key_source(scripted_key);

  std::fflush(stdout);
  const int saved = ::dup(STDOUT_FILENO);
  const int sink = ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ::dup2(sink, STDOUT_FILENO);
  const platform::FileHandle file = platform::file_open(path.c_str());
  console::g_progress.file_size = platform::file_size(file);
  console::g_progress.bytes_consumed = 0;
  for (bool reset = true; dump::next_line(file, reset) != -1; reset = false) {
    const int next_file = dump::write_dump_line();
    if (next_file == 1) break;
    dump::write_following_lines();
  }
  platform::file_close(file);
  console::out_drain();
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  ::close(sink);
  console::pager_use_key_source(nullptr);

  std::ifstream in(scratch, std::ios::binary);
  std::string out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  char tail[64];
  std::snprintf(tail, sizeof tail, "|%d|%llu|%d|%d", dump::g_char_column.trail_shown ? 1 : 0,
                static_cast<unsigned long long>(console::g_progress.bytes_consumed),
                dump::g_look_ahead, dump::g_file_encoding.carried);
  return out + tail;
}

TEST_P(LineFormatTest, BlocksOfLinesComeOutAsLineByLine) {
  tovix_test::ScratchDir dir;
  std::mt19937 rng(77);
  // Over two blocks of 64 KiB, ending in a short line; pairs cut by block ends too.
  std::string data = biased_bytes(rng, 2 * 65536 + 1000 + 7);
  data[65535] = '\x82';
  data[65536] = '\xA0';
  const std::string path = dir.write("input", data);
  const PagedRun runs[] = {
      {0, ""},           // no pauses: whole blocks at once
      {37, "   "},       // a prompt every 35 lines
      {500, " \r \r "},  // Enter: one line, then a prompt again
      {300, " n"},       // the next-file command ends the file mid-block
  };
  // The code page's own encoding, and on a UTF-8 display the encodings decoded a
  // character at a time too, whose full lines have row writers of their own.
  std::vector<TextEncoding> encodings = {TextEncoding::kCodePage};
  if (std::strcmp(display().charset, "UTF-8") == 0) {
    encodings.insert(encodings.end(),
                     {TextEncoding::kEucJp, TextEncoding::kUtf16Le, TextEncoding::kUtf16Be});
  }
  for (const TextEncoding encoding : encodings) {
    console::g_options.encoding = encoding;
    for (bool japanese : {true, false}) {
      console::g_options.japanese_display = japanese;
      for (const PagedRun& run : runs) {
        const std::string reference =
            dump_file_through_reader(path, dump::LinePath::kPerByte, run, dir.path() + "/out");
        // Afresh, so that the kernel meets every pair unspelt, as a dump does: a kernel
        // that fetches a line's words ahead may fetch one before the line above spells it.
        set_up_display(display());
        dump::use_line_kernel(kernel_);
        const std::string fast =
            dump_file_through_reader(path, dump::LinePath::kRows, run, dir.path() + "/out");
        ASSERT_EQ(reference.size(), fast.size()) << "page " << run.page_height;
        EXPECT_TRUE(reference == fast)
            << kernel_.name << ", page " << run.page_height << ", japanese " << japanese
            << ", encoding " << static_cast<int>(encoding);
      }
    }
  }
  console::g_screen = {};
}

// Lines written a pair at a time: pairs first shown in both lines of a pair (the second
// line's words fetched before the first spells them), pairs across the line between the
// two and across the step to the next two, and an odd line at the end. Each case afresh,
// so that the kernel meets its pairs unspelt.
TEST_P(LineFormatTest, PairsOfLinesComeOutAsLineByLine) {
  tovix_test::ScratchDir dir;
  const std::string kanji = "\x88\x9F", narrow = "\x81\x5C", kana = "\xB1\xDE";
  const std::string cases[] = {
      kanji + std::string(14, 'A') + kanji + std::string(14, 'B') + std::string(16, 'C'),
      std::string(15, 'A') + kanji + kanji + narrow + std::string(10, 'B') + kanji,
      std::string(31, 'A') + kanji + kana + std::string(13, 'C') + kanji + std::string(14, 'D'),
      narrow + "\x81\x0A" + kana + kanji + std::string(8, '\x82') + "\xFD" + narrow + kanji +
          std::string(7, '\x88') + "\x9F" + kanji + "\x88",
      std::string(16, 'A') + "\x82" + std::string(15, '\xA0') + kanji + std::string(14, 'E') +
          kanji,
  };
  for (bool japanese : {true, false}) {
    console::g_options.japanese_display = japanese;
    for (const std::string& data : cases) {
      const std::string path = dir.write("input", data);
      const std::string reference =
          dump_file_through_reader(path, dump::LinePath::kPerByte, {0, ""}, dir.path() + "/out");
      set_up_display(display());
      dump::use_line_kernel(kernel_);
      const std::string fast =
          dump_file_through_reader(path, dump::LinePath::kRows, {0, ""}, dir.path() + "/out");
      EXPECT_EQ(reference, fast) << kernel_.name << ", japanese " << japanese;
    }
  }
  console::g_screen = {};
}

// A cap never picks a kernel past the one named, and picks the named one whenever this
// processor runs it; a name the build does not know leaves the fastest.
TEST(KernelCap, PicksTheFastestUpToTheNamedKernel) {
  set_up_display({"raw 932", 932, ""});
  const std::vector<std::string> built = built_kernels();
  const auto position = [&](const char* name) {
    for (size_t i = 0; i < built.size(); ++i) {
      if (built[i] == name) return static_cast<int>(i);
    }
    return -1;
  };
  const dump::RowKernelList& runnable = dump::row_kernels();
  for (int k = 0; k < runnable.count; ++k) {
    EXPECT_GE(position(runnable.kernels[k].name), 0) << runnable.kernels[k].name;
  }
  const char* fastest = runnable.kernels[runnable.count - 1].name;
  for (const std::string& cap : built) {
    const char* name = cap.c_str();
    dump::cap_row_kernel(name);
    const char* chosen = dump::row_kernel().name;
    EXPECT_LE(position(chosen), position(name)) << name;
    bool runs = false;
    for (int k = 0; k < runnable.count; ++k)
      runs |= std::strcmp(runnable.kernels[k].name, name) == 0;
    if (runs) {
      EXPECT_STREQ(name, chosen);
    }
  }
  for (const char* name : {"", "bogus", "SSE2", "avx"}) {
    dump::cap_row_kernel(name);
    EXPECT_STREQ(fastest, dump::row_kernel().name) << '"' << name << '"';
  }
  set_up_display({"raw 932", 932, ""});
}

// Through the program: every cap gives the same dump, of the code page's bytes and of
// UTF-8 (text across blocks, and the other files read as UTF-8); a name this processor
// cannot run is told once on standard error, with the kernel that ran.
TEST(KernelCap, ProgramTellsAnUnmetCapOnce) {
  tovix_test::ScratchDir dir;
  std::mt19937 rng(5);
  const std::string one = dir.write("one", biased_bytes(rng, 3000));
  const std::string two = dir.write("two", biased_bytes(rng, 70000));
  std::string text;
  while (text.size() < 70000) text += "本文の行、ｶﾀｶﾅ é±Ω\t\u0301" + biased_bytes(rng, 5);
  const std::string three = dir.write("three", text);
  const std::vector<std::string> runs[] = {{"-p", one, two}, {"-p", "-e", "utf8", one, two, three}};
  for (const std::vector<std::string>& args : runs) {
    const tovix_test::RunResult plain = tovix_test::run_tovix(args, "C.UTF-8");
    ASSERT_EQ(0, plain.exit_code);
    std::vector<std::string> caps = built_kernels();
    caps.push_back("no-such-kernel");
    for (const std::string& cap : caps) {
      ::setenv("TOVIX_KERNEL", cap.c_str(), 1);
      const tovix_test::RunResult r = tovix_test::run_tovix(args, "C.UTF-8");
      ::unsetenv("TOVIX_KERNEL");
      EXPECT_EQ(0, r.exit_code) << cap;
      EXPECT_TRUE(plain.out == r.out) << cap << " " << args.size();
      if (r.err.empty()) continue;
      EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
      EXPECT_NE(std::string::npos, r.err.find(std::string(": ") + cap + " -> ")) << r.err;
    }
  }
  ::setenv("TOVIX_KERNEL", "no-such-kernel", 1);
  const tovix_test::RunResult unknown = tovix_test::run_tovix({"-p", one}, "C.UTF-8");
  ::unsetenv("TOVIX_KERNEL");
  EXPECT_NE(std::string::npos, unknown.err.find("no-such-kernel -> ")) << unknown.err;
}

// Spellings of single bytes as sums of two nibble lookups: the byte planes of real
// spellings have tables, others must be refused rather than spelt wrong.
TEST(NibbleSums, SolvesWhatHasTablesAndRefusesTheRest) {
  struct Case {
    const char* what;
    int first, last;         // the member bytes
    uint8_t (*want)(int b);  // the byte wanted for each
    bool solvable;
  };
  const Case cases[] = {
      {"UTF-8 kana, byte 1", 0xA1, 0xDF, [](int b) { return uint8_t(b < 0xC0 ? 0xBD : 0xBE); },
       true},
      {"UTF-8 kana, byte 2", 0xA1, 0xDF, [](int b) { return uint8_t(0x80 | (b & 0x3F)); }, true},
      {"EUC-JP kana, byte 0", 0xA1, 0xDF, [](int) { return uint8_t(0x8E); }, true},
      {"Latin-1 in UTF-8, byte 0", 0xA0, 0xFF,
       [](int b) { return uint8_t(b < 0xC0 ? 0xC2 : 0xC3); }, true},
      {"a cycle of four", 0x12, 0x13, [](int b) { return uint8_t(b * 7); }, true},
      {"squares", 0x20, 0x7E, [](int b) { return uint8_t(b * b); }, false},
      {"scattered", 0x00, 0xFF, [](int b) { return uint8_t((b * 2654435761u) >> 24); }, false},
  };
  for (const Case& c : cases) {
    bool member[256] = {};
    uint8_t want[256] = {};
    for (int b = c.first; b <= c.last; ++b) {
      member[b] = true;
      want[b] = c.want(b);
    }
    if (std::string(c.what) == "a cycle of four") {
      // 0x52 and 0x53 close a cycle through the low nibbles of 0x12 and 0x13; 0xE7 stands
      // alone, a group of its own.
      member[0x52] = member[0x53] = true;
      want[0x52] = 9;
      want[0x53] = static_cast<uint8_t>(want[0x52] + want[0x13] - want[0x12]);
      member[0xE7] = true;
      want[0xE7] = 0x42;
    }
    uint8_t high[16], low[16];
    ASSERT_EQ(c.solvable, dump::solve_nibble_sums(member, want, high, low)) << c.what;
    for (int b = 0; b < 256 && c.solvable; ++b) {
      if (member[b]) {
        EXPECT_EQ(want[b], uint8_t(high[b >> 4] + low[b & 15])) << c.what << " " << b;
      }
    }
  }
}

// The held lead bytes of a mask against the byte-by-byte rule, for every 16-bit mask.
TEST(HeldLeads, MatchesTheSequentialRule) {
  for (uint32_t leads = 0; leads < (1u << 16); ++leads) {
    uint32_t expected = 0;
    bool holding = false;
    for (int j = 0; j < 16; ++j) {
      if (holding) {
        holding = false;  // this byte completes the held one, whatever it is
      } else if ((leads >> j) & 1) {
        holding = true;
        expected |= 1u << j;
      }
    }
    ASSERT_EQ(expected, dump::held_leads(leads)) << "leads " << leads;
  }
}

}  // namespace
