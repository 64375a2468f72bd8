// Every option string gives the usage text or a dump, never a crash, a hang or garbage:
// odd argument vectors chosen by hand, then many random ones, each run through the
// program and its whole output taken apart.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "line_model.h"
#include "reliability_child.h"
#include "run_tovix.h"
#include "text/messages.h"

namespace {

using tovix_test::banner;
using tovix_test::ChildEnd;
using tovix_test::Launch;
using tovix_test::open_failed;
using tovix_test::ScratchDir;

// The one file that exists in the directory the runs start in.
const char kFileName[] = "f";
const std::string kFileContent = tovix_test::counting_bytes(40);

// Returns "usage", "dump", "stdin", or what is wrong with out for a run with args: after
// the banner, a header for each of the last arguments in order, each followed by the
// open-failure message or by dump lines that show the end of the file exactly; or, with
// no file argument, the one header of standard input (which is empty here). The
// open-failure messages are appended to failures, as standard error must repeat them.
std::string classify(const std::string& out, const std::vector<std::string>& args,
                     std::string* failures) {
  if (out == banner() + text::kUsageText) return "usage";
  if (out.compare(0, banner().size(), banner()) != 0) return "no banner";
  std::vector<std::string> names;
  for (size_t pos = banner().size(); pos < out.size();) {
    if (out.compare(pos, 3, "\n[ ") != 0) return "no header at " + std::to_string(pos);
    const size_t name_end = out.find(" ]\n\n", pos + 3);
    if (name_end == std::string::npos) return "unclosed header";
    const std::string name = out.substr(pos + 3, name_end - pos - 3);
    names.push_back(name);
    const size_t body = name_end + 4;
    size_t next = out.find("\n[ ", body);
    if (next == std::string::npos) next = out.size();
    const std::string text = out.substr(body, next - body);
    pos = next;
    if (name == text::kStandardInputName) {
      if (pos != out.size() || names.size() != 1) return "standard input among files";
      return text.empty() ? "stdin" : "standard input is not empty";
    }
    if (text == open_failed(name)) {
      *failures += open_failed(name);
      continue;
    }
    if (name != kFileName) return "a dump of " + name + ", which does not exist";
    std::string bytes, error;
    uint32_t first = 0;
    if (!text.empty() && !line_model::read_hex_column(text, &bytes, &first, &error))
      return name + ": " + error;
    if (bytes.size() > kFileContent.size() ||
        kFileContent.compare(kFileContent.size() - bytes.size(), bytes.size(), bytes) != 0)
      return "the dump does not show the end of the file";
    if (!bytes.empty() && first != (kFileContent.size() - bytes.size()) / 16 * 16)
      return "the first line has the wrong address";
  }
  if (names.empty() || names.size() > args.size()) return "no file in a dump";
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] != args[args.size() - names.size() + i])
      return "header " + names[i] + " is not among the last arguments";
  return "dump";
}

std::string run_and_classify(const ScratchDir& dir, const std::vector<std::string>& args) {
  Launch launch;
  launch.cwd = dir.path();
  launch.args = args;
  std::string out, err;
  const ChildEnd end = tovix_test::run_child(launch, &out, &err);
  if (end.signal != 0) return "ended by signal " + std::to_string(end.signal);
  std::string failures;
  const std::string kind = classify(out, args, &failures);
  // A wrong command line ends with code 2 and says why in one line on standard error.
  if (kind == "usage") {
    if (end.exit_code != 2) return "usage with exit code " + std::to_string(end.exit_code);
    if (err.empty() || err.find('\n') != err.size() - 1) return "usage reason: " + err;
    return kind;
  }
  // A name that could not be opened makes the exit code 1, and standard error repeats
  // its message, since the dump went elsewhere.
  const int due = failures.empty() ? 0 : 1;
  if (end.exit_code != due) return "exit code " + std::to_string(end.exit_code);
  if (err != failures) return "wrote to standard error: " + err;
  return kind;
}

std::string describe(const std::vector<std::string>& args) {
  std::string s;
  for (const std::string& a : args) {
    s += " '";
    for (unsigned char c : a) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      s += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : std::string(hex);
    }
    s += "'";
  }
  return s.size() > 300 ? s.substr(0, 300) + "..." : s;
}

TEST(ReliabilityOptions, OddArgumentsGiveUsageOrADump) {
  ScratchDir dir;
  dir.write(kFileName, kFileContent);
  const std::string many_k = "-" + std::string(5000, 'k');
  struct Case {
    std::vector<std::string> args;
    const char* outcome;
  } cases[] = {
      {{"-p", "-s", "7FFFFFFFH", "f"}, "dump"},  // far past the end: the header only
      {{"-p", "-s", "2147483647", "f"}, "dump"},
      {{"-p", "-s", "80000000H", "f"}, "dump"},  // 64 bits: past 2 GiB is a skip too
      {{"-p", "-s", "4294967296", "f"}, "dump"},
      {{"-p", "-s", "100000010H", "f"}, "dump"},
      {{"-p", "-s", "9223372036854775807", "f"}, "dump"},
      {{"-p", "-s", "8000000000000000H", "f"}, "usage"},  // past 2^63-1
      {{"-p", "-s", "99999999999999999999999999999", "f"}, "usage"},
      {{"-p", "-s", "-4294967295", "f"}, "usage"},  // negative, whatever its width
      {{"-p", "-n", "-4294967295", "f"}, "usage"},
      {{"-p", "-n", "0", "f"}, "dump"},
      {{"-p", "-n"}, "usage"},
      {{"-p", "-s", "", "f"}, "usage"},
      {{"-p", "-s", "H", "f"}, "usage"},
      {{"-p", "-s", "0x", "f"}, "usage"},
      {{"-p", "-s", "0x10", "f"}, "dump"},
      {{"-p", "-s", " \t+25", "f"}, "usage"},  // blanks and signs are no number
      {{"-p", "-s", "-0", "f"}, "usage"},
      {{"-p", "-s"}, "usage"},
      {{"-p", "-s", "5"}, "stdin"},        // no file argument: standard input, not a terminal
      {{"-ps", "1", "-s", "f"}, "usage"},  // the second -s takes the name for its number
      {{"-p", "-ss", "1", "2", "f"}, "dump"},
      {{"-p", many_k, "f"}, "dump"},
      {{"-p", many_k + "x", "f"}, "usage"},
      {{"-p", "-\xFF", "f"}, "usage"},
      {{"-p", "-\x82\xA0", "f"}, "usage"},
      {{"-p", "-", "f"}, "dump"},
      {{"-p", "/", "f"}, nullptr},
      {{"-p", "f", "-s", "-x", "--", ""}, "dump"},  // names after the first name
      {{"-p", ""}, "dump"},                         // an empty name cannot be opened
      {{""}, nullptr},
      {{"-p", std::string(10000, '-'), "f"}, "usage"},
  };
  for (const Case& c : cases) {
    const std::string got = run_and_classify(dir, c.args);
    if (c.outcome != nullptr) {
      EXPECT_EQ(got, c.outcome) << describe(c.args);
    } else {
      EXPECT_TRUE(got == "usage" || got == "dump") << describe(c.args) << ": " << got;
    }
  }
}

TEST(ReliabilityOptions, RandomArgumentVectorsGiveUsageOrADump) {
  ScratchDir dir;
  dir.write(kFileName, kFileContent);
  static const char* const kPieces[] = {
      "-", "/", "s", "J", "j", "k", "c", "d",    "m",    "P",    "p", "H",        "h",
      "x", "1", "0", "F", "H", " ", "f", "\x82", "\xA0", "\xFF", "+", "7FFFFFFF", "x10"};
  uint32_t x = 2463534242u;  // a fixed seed: every run tries the same vectors
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
  };
  for (int run = 0; run < 150; ++run) {
    std::vector<std::string> args;
    for (uint32_t n = next() % 6; n > 0; --n) {
      std::string arg;
      for (uint32_t k = next() % 7; k > 0; --k) arg += kPieces[next() % std::size(kPieces)];
      args.push_back(arg);
    }
    if (next() % 3 != 0) args.push_back(kFileName);
    if (next() % 2 == 0) args.insert(args.begin(), "-p");
    const std::string got = run_and_classify(dir, args);
    EXPECT_TRUE(got == "usage" || got == "dump" || got == "stdin") << describe(args) << ": " << got;
  }
}

}  // namespace
