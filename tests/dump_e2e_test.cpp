// End-to-end runs of the program on files the tests write, compared byte for byte.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "reliability_child.h"
#include "run_tovix.h"
#include "text/messages.h"

namespace {

using tovix_test::banner;
using tovix_test::counting_bytes;
using tovix_test::header;
using tovix_test::run_tovix;
using tovix_test::ScratchDir;

// A straightforward model of one dump line with Japanese display off (or no lead bytes):
// blanks before `first` and after the data, the plain character rule.
std::string model_line(uint32_t address, const std::string& bytes, int first = 0,
                       bool hyphen = true) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X  ", address);
  std::string line = buf;
  const int last = first + static_cast<int>(bytes.size()) - 1;
  for (int i = 0; i < 16; ++i) {
    const char sep = (i == 7 && hyphen) ? '-' : ' ';
    if (i < first || i > last) {
      line += "  ";
    } else {
      std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned char>(bytes[i - first]));
      line += buf;
    }
    line += sep;
  }
  line += "  ";
  for (int i = 0; i < 16; ++i) {
    if (i < first || i > last) {
      line += ' ';
      continue;
    }
    const unsigned char b = static_cast<unsigned char>(bytes[i - first]);
    line += (b >= 0x20 && b <= 0x7E) || (b >= 0xA1 && b <= 0xDF) ? static_cast<char>(b) : '.';
  }
  return line + "\n";
}

// The whole dump of data with Japanese display off, as the model gives it: from skip,
// at most length bytes.
std::string model_dump(const std::string& data, uint32_t skip = 0, size_t length = SIZE_MAX) {
  if (length == 0) return "";
  std::string out;
  uint32_t address = skip - skip % 16;
  int first = static_cast<int>(skip % 16);
  const size_t stop = length >= data.size() ? data.size() : std::min(data.size(), skip + length);
  for (size_t pos = address; pos < stop; pos += 16, address += 16) {
    const size_t start = pos + static_cast<size_t>(first);
    const size_t end = std::min(pos + 16, stop);
    out += model_line(address, start < end ? data.substr(start, end - start) : "", first);
    first = 0;
  }
  return out;
}

TEST(PlainDump, ExampleLines) {
  ScratchDir dir;
  const std::string f =
      dir.write("f", std::string("Hex dump test.\r\n", 16) + std::string("End\r\n", 5));
  const auto r = run_tovix({"-p", f});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, banner() + header(f) +
                       "00000000  48 65 78 20 64 75 6D 70-20 74 65 73 74 2E 0D 0A   "
                       "Hex dump test...\n"
                       "00000010  45 6E 64 0D 0A         -                          "
                       "End..           \n");
  const auto h = run_tovix({"-ph", f});
  EXPECT_EQ(h.out, banner() + header(f) +
                       "00000000  48 65 78 20 64 75 6D 70 20 74 65 73 74 2E 0D 0A   "
                       "Hex dump test...\n"
                       "00000010  45 6E 64 0D 0A                                    "
                       "End..           \n");
}

TEST(PlainDump, SkipStartsAtTheBoundaryWithBlanks) {
  ScratchDir dir;
  std::string letters(0x30, '\0');
  for (int i = 0; i < 0x30; ++i) letters[i] = static_cast<char>(0x41 + (i & 15));
  const std::string f = dir.write("letters", letters);
  const auto r = run_tovix({"-p", "-s", "25H", f});
  EXPECT_EQ(r.out, banner() + header(f) +
                       "00000020                 46 47 48-49 4A 4B 4C 4D 4E 4F 50        "
                       "FGHIJKLMNOP\n");
}

TEST(PlainDump, SkipAndLengthCases) {
  ScratchDir dir;
  const std::string hundred = counting_bytes(100);
  const std::string f100 = dir.write("f100", hundred);
  const std::string f20 = dir.write("f20", counting_bytes(20));
  const std::string f3 = dir.write("f3", counting_bytes(3));
  const std::string block = counting_bytes(70000);
  const std::string fblock = dir.write("fblock", block);
  struct Case {
    std::string skip, length, file, expected_lines;
  } cases[] = {
      {"20", "", f100, model_dump(hundred, 20)},
      {"16", "", f100, model_dump(hundred, 16)},
      {"0", "", f100, model_dump(hundred, 0)},
      {"1000", "", f100, ""},
      {"96", "", f100, model_dump(hundred, 96)},
      {"20", "", f20, model_line(0x10, "", 4)},  // four bytes read, none shown
      {"5", "", f3, model_line(0, "", 5)},       // every position blank
      {"0x14", "", f100, model_dump(hundred, 20)},
      {"14H", "", f100, model_dump(hundred, 20)},
      {"0", "0", f100, ""},
      {"20", "0", f100, ""},
      {"0", "1", f100, model_dump(hundred, 0, 1)},
      {"0", "16", f100, model_dump(hundred, 0, 16)},
      {"0", "17", f100, model_dump(hundred, 0, 17)},
      {"20", "10", f100, model_dump(hundred, 20, 10)},  // within the first line
      {"20", "0x20", f100, model_dump(hundred, 20, 32)},
      {"90", "50", f100, model_dump(hundred, 90)},  // the file ends first
      {"1000", "5", f100, ""},
      {"0", "65536", fblock, model_dump(block, 0, 65536)},    // up to the block's end
      {"65530", "20", fblock, model_dump(block, 65530, 20)},  // across it
      {"65535", "65537", fblock, model_dump(block, 65535, 65537)},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"-pj", "-s", c.skip};
    if (!c.length.empty()) args.insert(args.end(), {"-n", c.length});
    args.push_back(c.file);
    const auto r = run_tovix(args);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner() + header(c.file) + c.expected_lines)
        << "-s " << c.skip << " -n " << c.length;
  }
  // The six lines of '-p -s 20' on 100 bytes: 10 to 60, four blanks first, four bytes last.
  const std::string lines = model_dump(hundred, 20);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 6);
  EXPECT_EQ(lines.substr(0, 8), "00000010");
  EXPECT_NE(lines.find("00000060  60 61 62 63   "), std::string::npos);
}

// Past 4 GiB in a sparse file: the skip seeks (a read of 5 GiB would not end in time),
// and the length ends the dump however far the file goes on.
TEST(PlainDump, SkipAndLengthPastFourGiB) {
  ScratchDir dir;
  const std::string f = dir.path() + "/sparse";
  const uint64_t size = (5ull << 30) + 0x50;
  FILE* out = std::fopen(f.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(ftruncate(fileno(out), static_cast<off_t>(size)), 0);
  ASSERT_EQ(fseeko(out, static_cast<off_t>(size - 4), SEEK_SET), 0);
  std::fputs("tail", out);
  std::fclose(out);
  const std::string first = "140000030  " + model_line(0, std::string(8, '\0'), 8).substr(10);
  const struct {
    const char* length;
    std::string second;
  } cases[] = {
      {"0x14", model_line(0, std::string(12, '\0')).substr(10)},
      {"1CH", model_line(0, std::string(12, '\0') + "tail").substr(10)},
      {"1000", model_line(0, std::string(12, '\0') + "tail").substr(10)},
  };
  for (const auto& c : cases) {
    const auto r = run_tovix({"-pj", "-s", "140000038H", "-n", c.length, f});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner() + header(f) + first + "140000040  " + c.second) << c.length;
  }
}

// The last size's dump fills several of the output buffers that a pipe gets through the
// writer thread, each taken back and reused while the next one is written.
TEST(PlainDump, SizesAroundTheBlock) {
  ScratchDir dir;
  for (size_t size :
       {0u, 1u, 15u, 16u, 17u, 4095u, 4096u, 4097u, 65536u, 65537u, 70000u, 300000u}) {
    const std::string data = counting_bytes(size);
    const std::string f = dir.write(std::string("n").append(std::to_string(size)), data);
    const auto r = run_tovix({"-pj", f});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner() + header(f) + model_dump(data)) << size << " bytes";
  }
}

TEST(PlainDump, InputThatCannotSeekGivesTheSameOutput) {
  const std::string data = counting_bytes(200000);
  const auto r = run_tovix({"-pj", "-s", "100", "/dev/stdin"}, "ja_JP.SJIS", &data);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, banner() + header("/dev/stdin") + model_dump(data, 100));
}

TEST(PlainDump, FilesThatCannotBeOpened) {
  ScratchDir dir;
  const std::string f = dir.write("f", "ab");
  const std::string missing = dir.path() + "/missing";
  const std::string open_failed_prefix =
      "\x83t\x83@\x83"
      "C\x83\x8B:";
  const std::string open_failed_suffix =
      "\x82\xCC\x83I\x81[\x83v\x83\x93\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD\n";
  // The message stays in the dump, a copy goes to standard error (the dump goes into a
  // pipe here), the run goes on, and the exit code tells a script that a file is missing.
  for (const std::string& name : {missing, dir.path()}) {
    const auto r = run_tovix({"-p", name, f});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, banner() + header(name) + open_failed_prefix + name + open_failed_suffix +
                         header(f) + model_line(0, "ab"));
    EXPECT_EQ(r.err, open_failed_prefix + name + open_failed_suffix);
  }
  // Options end at the first name: "-k" after it is a file that does not exist.
  const auto r = run_tovix({"-p", f, "-k"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, banner() + header(f) + model_line(0, "ab") + header("-k") + open_failed_prefix +
                       "-k" + open_failed_suffix);
}

// A wrong command line shows the usage text and ends with code 2; with the output in a
// pipe, one line on standard error says what was wrong. --help is no error.
TEST(PlainDump, UsageTextForEveryUsageError) {
  ScratchDir dir;
  const std::string f = dir.write("f", "ab");
  const auto reference = run_tovix({"--help"});
  EXPECT_EQ(reference.exit_code, 0);
  EXPECT_EQ(reference.err, "");
  ASSERT_EQ(reference.out, banner() + text::kUsageText);
  EXPECT_EQ(run_tovix({"-k", "--help", f}).out, reference.out);
  const std::string unknown = text::kUnknownOptionMessage, missing = text::kMissingNumberMessage,
                    bad = text::kBadNumberMessage;
  const struct {
    std::vector<std::string> args;
    std::string reason;
  } errors[] = {
      {{"-s"}, missing + ": -s"},
      {{"-pn"}, missing + ": -pn"},
      {{"-s", f}, bad + ": " + f},
      {{"-s", "-1", f}, bad + ": -1"},
      {{"-n", "-4294967295", f}, bad + ": -4294967295"},
      {{"-s", "1A", f}, bad + ": 1A"},
      {{"-n", "1,000", f}, bad + ": 1,000"},
      {{"--", f}, unknown + ": --"},
      {{"-x", f}, unknown + ": -x"},
      {{"--help=1", f}, unknown + ": --help=1"},
      {{"-\x1b[31m", f}, unknown + ": -?[31m"},  // no escape reaches standard error
      {{"--version", "-x"}, ""},                 // the request comes first and is answered
  };
  for (const auto& e : errors) {
    const auto r = run_tovix(e.args);
    if (e.reason.empty()) {
      EXPECT_EQ(r.exit_code, 0) << e.args[0];
      continue;
    }
    EXPECT_EQ(r.exit_code, 2) << e.args[0];
    EXPECT_EQ(r.out, reference.out) << e.args[0];
    EXPECT_EQ(r.err, e.reason + "\n") << e.args[0];
  }
}

TEST(PlainDump, VersionIsTheBannerLine) {
  const auto r = run_tovix({"--version"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, banner().substr(1));
  EXPECT_EQ(r.err, "");
}

// With no file argument and standard input no terminal, standard input is dumped under
// its own header, from a file or a pipe alike, with every option.
TEST(PlainDump, StandardInputWithoutAFileArgument) {
  const std::string data = counting_bytes(100);
  const std::string stdin_header = header(text::kStandardInputName);
  const struct {
    std::vector<std::string> args;
    std::string expected_lines;
  } cases[] = {
      {{"-pj"}, model_dump(data)},
      {{"-pj", "-s", "20", "-n", "30"}, model_dump(data, 20, 30)},
      {{"-pj", "-"}, model_dump(data)},  // a lone '-' is still an empty group of options
  };
  for (const auto& c : cases) {
    const auto r = run_tovix(c.args, "ja_JP.SJIS", &data);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner() + stdin_header + c.expected_lines) << c.args.back();
  }
  // A regular file on standard input seeks for the skip, like a named one.
  ScratchDir dir;
  const std::string f = dir.write("f", data);
  const std::string cmd = std::string("LC_ALL=ja_JP.SJIS ") + TOVIX_BINARY + " -pj -s 0x50 < " + f +
                          " > " + dir.path() + "/out";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  FILE* in = std::fopen((dir.path() + "/out").c_str(), "rb");
  ASSERT_NE(in, nullptr);
  std::string got(4096, '\0');
  got.resize(std::fread(got.data(), 1, got.size(), in));
  std::fclose(in);
  EXPECT_EQ(got, banner() + stdin_header + model_dump(data, 0x50));
}

// Input that never ends (a device, a pipe whose writer stays) ends at the length: the
// dump does not wait for more.
TEST(PlainDump, LengthEndsInputThatNeverEnds) {
  ScratchDir dir;
  for (const char* input : {"/dev/zero", "<(yes 0123456789abcde)"}) {
    const std::string cmd = std::string("timeout 20 bash -c 'LC_ALL=ja_JP.SJIS ") + TOVIX_BINARY +
                            " -pj -n 40 < " + input + " > " + dir.path() + "/out'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << input;
    FILE* in = std::fopen((dir.path() + "/out").c_str(), "rb");
    ASSERT_NE(in, nullptr);
    std::string got(4096, '\0');
    got.resize(std::fread(got.data(), 1, got.size(), in));
    std::fclose(in);
    const std::string data =
        input[0] == '/' ? std::string(40, '\0') : "0123456789abcde\n0123456789abcde\n01234567";
    EXPECT_EQ(got, banner() + header(text::kStandardInputName) + model_dump(data)) << input;
  }
}

// -a collapses runs of equal full lines as hexdump does: the first of a run, "*", and
// the next different line at its true offset; the last line is always shown. Each line
// that is shown is exactly the line of the full dump at that offset, the character
// column's pair carried over a collapsed line included.
TEST(PlainDump, SqueezeGroupsRunsOfEqualLines) {
  ScratchDir dir;
  const auto lines_of = [](const std::string& pattern, const std::string& tail) {
    std::string data;
    for (char c : pattern) data += std::string(16, c);
    return data + tail;
  };
  std::string pairs = "A";  // each line from the second on: trail, seven pairs, lead
  for (int i = 0; i < 40; ++i) pairs += "\x82\xA0";
  // Lines that all differ, across a block's end, each ending in a lead byte whose pair
  // the next line's first byte completes.
  std::string distinct;
  for (int i = 0; i < 300; ++i) {
    char line[17];
    std::snprintf(line, sizeof line, "line %010d\x82", i);
    distinct += line;
  }
  std::string run_of_held;
  for (int i = 0; i < 2; ++i) run_of_held += std::string(1, '\0') + std::string(14, 'a') + "\x82";
  const auto starts_from = [](int first, int last, std::vector<std::string> then) {
    std::vector<std::string> starts;
    for (int i = first; i <= last; ++i) {
      char offset[9];
      std::snprintf(offset, sizeof offset, "%08X", 16 * i);
      starts.push_back(offset);
    }
    starts.insert(starts.end(), then.begin(), then.end());
    return starts;
  };
  const struct {
    std::string data;
    std::vector<std::string> starts;  // the offsets shown, "*" for a collapsed run
  } cases[] = {
      {lines_of("AAB", "tail"), {"00000000", "*", "00000020", "00000030"}},
      {lines_of("AA", "tail"), {"00000000", "*", "00000020"}},
      {lines_of("AA", ""), {"00000000", "00000010"}},  // the last line is always shown
      {lines_of("AAAA", ""), {"00000000", "*", "00000030"}},
      {lines_of("ABBA", "tail"), {"00000000", "00000010", "*", "00000030", "00000040"}},
      {lines_of("ABAB", ""), {"00000000", "00000010", "00000020", "00000030"}},
      {lines_of("A", "tail"), {"00000000", "00000010"}},
      {std::string(1 << 20, '\0'), {"00000000", "*", "000FFFF0"}},
      {pairs, {"00000000", "00000010", "*", "00000050"}},
      // The run's last line meets another look-ahead byte than the lines before it.
      {std::string(15, 'A') + std::string(65, '\x82') + "!tail",
       {"00000000", "00000010", "*", "00000050"}},
      // Runs after many lines that differ, and lines that differ after them.
      {distinct + lines_of("ZZZZZ", "") + distinct.substr(0, 48),
       starts_from(0, 300, {"*", "00001310", "00001320", "00001330"})},
      {distinct + pairs.substr(1, 80) + distinct.substr(0, 48),
       starts_from(0, 300, {"*", "00001310", "00001320", "00001330"})},
      // After lines that differ, a run of two whose lead byte at the end stands alone but
      // in the run's last line, whose look-ahead completes it: the look-ahead and the
      // state that line meets are also those the file's first line met.
      {"0123456789abcdefZ123456789abcdefZ23456789abcdefgZ3456789abcdefgh" + run_of_held +
           "Z456789abcdefghitail",
       starts_from(0, 4, {"*", "00000060", "00000070"})},
  };
  for (const auto& c : cases) {
    const std::string f = dir.write("f", c.data);
    for (const char* display : {"-pJ", "-pj", "-pJh"}) {
      const auto full = run_tovix({display, f});
      const auto squeezed = run_tovix({display, "-a", f});
      EXPECT_EQ(squeezed.exit_code, 0);
      const std::string head = banner() + header(f);
      ASSERT_EQ(squeezed.out.compare(0, head.size(), head), 0);
      std::vector<std::string> starts;
      for (size_t at = head.size(); at < squeezed.out.size();) {
        const size_t end = squeezed.out.find('\n', at) + 1;
        const std::string line = squeezed.out.substr(at, end - at);
        at = end;
        if (line == "*\n") {
          starts.push_back("*");
          continue;
        }
        starts.push_back(line.substr(0, 8));
        EXPECT_NE(full.out.find("\n" + line), std::string::npos) << display << " " << line;
      }
      EXPECT_EQ(starts, c.starts) << display << " " << c.data.substr(0, 40);
    }
  }
}

TEST(PlainDump, ReadFailureEndsWithCodeOne) {
  // /proc/self/mem opens, then fails its first read at offset 0 with EIO.
  const auto r = run_tovix({"-p", "/proc/self/mem"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, banner() + header("/proc/self/mem") +
                       "\x83t\x83@\x83"
                       "C\x83\x8B:/proc/self/mem\x82\xCC\x93\xC7\x82\xDD\x8D"
                       "\x9E\x82\xDD\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD");
}

TEST(PlainDump, FailedWriteIsReported) {
  ScratchDir dir;
  const std::string f = dir.write("f", counting_bytes(100));
  // Through a shell so that standard output is /dev/full.
  const std::string cmd = std::string(TOVIX_BINARY) + " -p " + f + " >/dev/full 2>" + dir.path() +
                          "/err; echo $? >" + dir.path() + "/rc";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  FILE* rc = std::fopen((dir.path() + "/rc").c_str(), "r");
  int code = -1;
  ASSERT_EQ(std::fscanf(rc, "%d", &code), 1);
  std::fclose(rc);
  EXPECT_EQ(code, 1);
  struct stat st;
  ASSERT_EQ(stat((dir.path() + "/err").c_str(), &st), 0);
  EXPECT_GT(st.st_size, 0);
}

TEST(PlainDump, LongNameIsShownWhole) {
  ScratchDir dir;
  const std::string name(250, 'n');
  const std::string sub = dir.path() + "/" + std::string(200, 'd');
  ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
  const std::string f = sub + "/" + name;
  {
    FILE* fp = std::fopen(f.c_str(), "wb");
    ASSERT_NE(fp, nullptr);
    std::fputs("xy", fp);
    std::fclose(fp);
  }
  ASSERT_GT(f.size(), 259u);
  const auto r = run_tovix({"-p", f});
  EXPECT_EQ(r.out, banner() + header(f) + model_line(0, "xy"));
}

// Where two outputs part, as the line of each: a short failure message for long dumps.
std::string first_difference(const std::string& a, const std::string& b) {
  std::istringstream in_a(a), in_b(b);
  std::string line_a, line_b;
  for (int n = 1;; ++n) {
    const bool more_a = static_cast<bool>(std::getline(in_a, line_a));
    const bool more_b = static_cast<bool>(std::getline(in_b, line_b));
    if (!more_a && !more_b) return "";
    if (more_a != more_b || line_a != line_b)
      return "line " + std::to_string(n) + ":\n  " + line_a + "\n  " + line_b;
  }
}

// Another build of the program (x86-64 when this one is cross-built and run under qemu)
// dumps the same inputs, with the same options, under the same display locales: the
// outputs are the same bytes. Its own C library's converter serves it, so GCONV_PATH,
// which may name this build's modules, is not passed on.
TEST(ReferenceBuild, DumpsAreTheSameByteForByte) {
  const std::string reference = TOVIX_REFERENCE_BINARY;
  if (reference.empty()) GTEST_SKIP() << "no reference build (TOVIX_REFERENCE_BINARY)";
  ScratchDir dir;
  std::mt19937 random(23);
  std::string noise(1 << 20, '\0');
  for (char& c : noise) c = static_cast<char>(random() >> 24);
  // Every double-byte character, one byte off the line starts so that pairs also cross
  // the line ends.
  std::string pairs = "A";
  for (int lead = 0x81; lead <= 0xFC; lead = lead == 0x9F ? 0xE0 : lead + 1) {
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      pairs += static_cast<char>(lead);
      pairs += static_cast<char>(trail != 0x7F ? trail : 0x80);
    }
  }
  // A JPEG's markers, byte stuffing and entropy-coded bytes.
  using namespace std::string_literals;
  const std::string jpeg = "\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\xFF\xDB\x00\x43\x00"s +
                           noise.substr(0, 4096) + "\xFF\x00\xFF\xDA"s + noise.substr(4096, 8192) +
                           "\xFF\xD9";
  std::ifstream sample_in(TOVIX_SAMPLE, std::ios::binary);
  const std::string sample((std::istreambuf_iterator<char>(sample_in)), {});
  ASSERT_FALSE(sample.empty()) << TOVIX_SAMPLE;
  const std::string files[] = {dir.write("random", noise), dir.write("sample", sample),
                               dir.write("pairs", pairs), dir.write("jpeg", jpeg)};
  const std::vector<std::vector<std::string>> option_sets = {
      {"-p"}, {"-p", "-J"}, {"-p", "-j"}, {"-p", "-h"}, {"-p", "-s", "1001"}, {"-p", "-kcdm"}};
  for (const char* locale : {"C.UTF-8", "ja_JP.SJIS", "ja_JP.eucJP"}) {
    for (const std::vector<std::string>& options : option_sets) {
      for (const std::string& f : files) {
        tovix_test::Launch launch;
        launch.locale = locale;
        launch.args = options;
        launch.args.push_back(f);
        std::string out, err, reference_out, reference_err;
        const tovix_test::ChildEnd end = tovix_test::run_child(launch, &out, &err);
        launch.program = reference;
        launch.env = {"GCONV_PATH"};
        const tovix_test::ChildEnd reference_end =
            tovix_test::run_child(launch, &reference_out, &reference_err);
        std::string command = locale;
        for (const std::string& a : launch.args) command += " " + a;
        SCOPED_TRACE(command);
        EXPECT_EQ(end.exit_code, reference_end.exit_code);
        EXPECT_EQ(err, reference_err);
        EXPECT_TRUE(out == reference_out) << first_difference(out, reference_out);
      }
    }
  }
}

}  // namespace
