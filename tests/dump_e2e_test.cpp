// End-to-end runs of the program on files the tests write, compared byte for byte.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "reliability_child.h"
#include "run_tovix.h"

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

// The whole dump of data with Japanese display off, as the model gives it.
std::string model_dump(const std::string& data, uint32_t skip = 0) {
  std::string out;
  uint32_t address = skip - skip % 16;
  int first = static_cast<int>(skip % 16);
  for (size_t pos = address; pos < data.size(); pos += 16, address += 16) {
    const size_t start = pos + static_cast<size_t>(first);
    const size_t end = std::min(pos + 16, data.size());
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

TEST(PlainDump, SkipCases) {
  ScratchDir dir;
  const std::string hundred = counting_bytes(100);
  const std::string f100 = dir.write("f100", hundred);
  const std::string f20 = dir.write("f20", counting_bytes(20));
  const std::string f3 = dir.write("f3", counting_bytes(3));
  struct Case {
    std::string skip, file, expected_lines;
  } cases[] = {
      {"20", f100, model_dump(hundred, 20)},
      {"16", f100, model_dump(hundred, 16)},
      {"0", f100, model_dump(hundred, 0)},
      {"1000", f100, ""},
      {"96", f100, model_dump(hundred, 96)},
      {"20", f20, model_line(0x10, "", 4)},  // four bytes read, none shown
      {"5", f3, model_line(0, "", 5)},       // every position blank
  };
  for (const Case& c : cases) {
    const auto r = run_tovix({"-pj", "-s", c.skip, c.file});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner() + header(c.file) + c.expected_lines) << "-s " << c.skip;
  }
  // The six lines of '-p -s 20' on 100 bytes: 10 to 60, four blanks first, four bytes last.
  const std::string lines = model_dump(hundred, 20);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 6);
  EXPECT_EQ(lines.substr(0, 8), "00000010");
  EXPECT_NE(lines.find("00000060  60 61 62 63   "), std::string::npos);
}

TEST(PlainDump, SizesAroundTheBlock) {
  ScratchDir dir;
  for (size_t size : {0u, 1u, 15u, 16u, 17u, 4095u, 4096u, 4097u, 65536u, 65537u, 70000u}) {
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

TEST(PlainDump, UsageTextForEveryUsageError) {
  ScratchDir dir;
  const std::string f = dir.write("f", "ab");
  const auto reference = run_tovix({});
  EXPECT_EQ(reference.exit_code, 0);
  ASSERT_EQ(reference.out.rfind(banner(), 0), 0u);
  EXPECT_NE(reference.out.find("-s \x90\x94\x92l"), std::string::npos);
  const std::vector<std::vector<std::string>> errors = {
      {"-k"}, {"-s"}, {"-s", f}, {"-s", "-1", f}, {"-s", "80000000H", f}, {"--", f}, {"-x", f},
  };
  for (const auto& args : errors) {
    const auto r = run_tovix(args);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, reference.out) << args[0];
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
