// End-to-end runs with wildcard file arguments in a scratch directory: which names are
// dumped, in which order, and which of them fail to open.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "reliability_child.h"
#include "run_tovix.h"

namespace {

using tovix_test::run_tovix;
using tovix_test::ScratchDir;

// The names in the headers of out, in order; a name whose header is followed by anything
// but a dump line (the open-failure message) gets a '!' after it.
std::vector<std::string> dumped_names(const std::string& out) {
  std::vector<std::string> names;
  for (size_t at = out.find("\n[ "); at != std::string::npos; at = out.find("\n[ ", at)) {
    const size_t end = out.find(" ]\n\n", at);
    if (end == std::string::npos) break;
    std::string name = out.substr(at + 3, end - at - 3);
    at = end + 4;
    if (out.compare(at, 8, "00000000") != 0) name += '!';
    names.push_back(name);
  }
  return names;
}

void make_dir(const ScratchDir& dir, const std::string& name) {
  std::filesystem::create_directories(dir.path() + "/" + name);
}

void make_link(const ScratchDir& dir, const std::string& target, const std::string& name) {
  ASSERT_EQ(symlink(target.c_str(), (dir.path() + "/" + name).c_str()), 0) << name;
}

TEST(WildcardRun, ExpandsTheFinalComponentOnly) {
  ScratchDir dir;
  make_dir(dir, "sub");
  for (const char* name : {"a.bin", "b.bin", "br[1].bin", "sub\\q.bin", ".h.bin", "sub/a.bin",
                           "sub/b.bin", "sub/c.txt"})
    dir.write(name, "x");
  make_dir(dir, "x.bin");
  make_dir(dir, "dirs/d1");
  make_dir(dir, "dirs/d2");
  make_link(dir, "nowhere", "z.bin");  // leads nowhere: no file, passed over
  make_link(dir, "sub", "y.bin");      // leads to a directory: passed over
  const std::string abs = dir.path();

  const struct {
    std::vector<std::string> args;
    std::vector<std::string> names;
  } cases[] = {
      {{"*.bin"}, {"a.bin", "b.bin", "br[1].bin", "sub\\q.bin"}},
      {{"sub/*.bin"}, {"sub/a.bin", "sub/b.bin"}},
      {{abs + "/sub/?.txt"}, {abs + "/sub/c.txt"}},
      {{"sub\\*.bin"}, {"sub\\q.bin"}},  // only '/' separates directories here
      {{"dirs/*"}, {}},
      {{"*"}, {"a.bin", "b.bin", "br[1].bin", "sub\\q.bin"}},
      {{"z*"}, {}},  // only the stale link matches: nothing, as for directories
      {{"none*.bin"}, {"none*.bin!"}},
      {{"su*/a.bin"}, {"su*/a.bin!"}},
      {{"sub"}, {"sub!"}},
      {{"br[1]*"}, {"br[1].bin"}},
      {{".*.bin"}, {".h.bin"}},
      {{"?h.bin"}, {"?h.bin!"}},
      {{"sub/b*", "a*", "dirs/*", "sub/c*"}, {"sub/b.bin", "a.bin", "sub/c.txt"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"-p"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const tovix_test::RunResult r = run_tovix(args, "ja_JP.SJIS", nullptr, dir.path());
    EXPECT_EQ(dumped_names(r.out), c.names) << "first argument '" << c.args[0] << "'";
    // A name that could not be opened (marked '!') makes the exit code 1 and is
    // repeated on standard error.
    const bool failed = std::any_of(c.names.begin(), c.names.end(),
                                    [](const std::string& n) { return n.back() == '!'; });
    EXPECT_EQ(r.exit_code, failed ? 1 : 0) << "first argument '" << c.args[0] << "'";
    EXPECT_EQ(r.err.empty(), !failed) << r.err;
  }
}

// A pattern takes files only: a FIFO would hold the run waiting for a writer, and a
// device may never end. Named on their own they are still dumped (the reliability tests
// dump FIFOs, /dev/stdin and /dev/zero by name).
TEST(WildcardRun, PassesOverFifosSocketsDevicesAndStaleLinks) {
  ScratchDir dir;
  dir.write("a.bin", "x");
  make_link(dir, "a.bin", "l.bin");  // a link to a file is a file
  const std::string fifo = dir.path() + "/f.bin";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  make_link(dir, "f.bin", "g.bin");
  make_link(dir, "/dev/zero", "z.bin");
  make_link(dir, "/dev/null", "n.bin");
  make_link(dir, "nowhere", "d.bin");  // a link that leads nowhere is no file either
  {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socket_name = dir.path() + "/s.bin";
    ASSERT_LT(socket_name.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socket_name.c_str());
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(s, 0);
    ASSERT_EQ(::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(s);
  }
  // A device node of its own where the test may make one (the kernel's "zero").
  (void)::mknod((dir.path() + "/c.bin").c_str(), S_IFCHR | 0600, ::makedev(1, 5));

  for (const char* pattern : {"*.bin", "?.bin", "*"}) {
    SCOPED_TRACE(pattern);
    // Should the FIFO be opened after all, a writer that comes and goes at once lets the
    // open return, so that the run ends and the test fails instead of hanging.
    std::atomic<bool> done{false};
    std::thread unblock([&] {
      while (!done) {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
        ::usleep(10000);
      }
    });
    tovix_test::Launch launch;
    launch.args = {"-p", pattern};
    launch.cwd = dir.path();
    tovix_test::Child child(launch);
    // A device dumped without end would fill this; the run is killed then.
    constexpr size_t kEndless = 1 << 20;
    child.read_out(kEndless);
    done = true;
    unblock.join();
    ASSERT_LT(child.out().size(), kEndless) << "a match was dumped without end";
    const tovix_test::ChildEnd end = child.wait();
    EXPECT_EQ(dumped_names(child.out()), (std::vector<std::string>{"a.bin", "l.bin"}));
    EXPECT_EQ(end.exit_code, 0);
    EXPECT_EQ(child.err(), "");
  }
}

// Regression: matches past the 4096th were dropped without a word and with exit code 0.
TEST(WildcardRun, TakesEveryMatchInNameOrder) {
  ScratchDir dir;
  char name[16];
  for (int i = 4099; i >= 0; --i) {  // created backwards, so the order is not creation's
    std::snprintf(name, sizeof name, "f%04d", i);
    dir.write(name, "x");
  }
  const tovix_test::RunResult r = run_tovix({"-p", "f*"}, "ja_JP.SJIS", nullptr, dir.path());
  const std::vector<std::string> names = dumped_names(r.out);
  ASSERT_EQ(names.size(), 4100u);
  for (int i = 0; i < 4100; ++i) {
    std::snprintf(name, sizeof name, "f%04d", i);
    ASSERT_EQ(names[static_cast<size_t>(i)], name);
  }
  EXPECT_EQ(r.exit_code, 0);
}

// A '?' is one character of the locale's charset: a whole UTF-8 sequence, a whole
// Shift_JIS pair, or a byte that begins no character.
TEST(WildcardRun, QuestionMarkTakesOneCharacterOfTheLocale) {
  ScratchDir dir;
  const std::string utf8_a = "\xE3\x81\x82";  // あ in UTF-8
  const std::string sjis_a = "\x82\xA0";      // あ in Shift_JIS
  for (const std::string& n :
       {utf8_a + ".txt", sjis_a + ".txt", std::string("b.txt"), std::string("bc.txt"),
        utf8_a + utf8_a + ".txt", std::string("\xFF.txt")})
    dir.write(n, "x");
  const struct {
    const char* locale;
    std::string pattern;
    std::vector<std::string> names;
  } cases[] = {
      {"C.UTF-8", "?.txt", {"b.txt", utf8_a + ".txt", "\xFF.txt"}},
      {"C.UTF-8", "??.txt", {"bc.txt", sjis_a + ".txt", utf8_a + utf8_a + ".txt"}},
      {"C.UTF-8", "?" + utf8_a + ".txt", {utf8_a + utf8_a + ".txt"}},
      {"C.UTF-8", utf8_a + "?.txt", {utf8_a + utf8_a + ".txt"}},
      {"ja_JP.SJIS", "?.txt", {sjis_a + ".txt", "b.txt", "\xFF.txt"}},
      {"ja_JP.SJIS", sjis_a + "*", {sjis_a + ".txt"}},
  };
  for (const auto& c : cases) {
    const tovix_test::RunResult r = run_tovix({"-p", c.pattern}, c.locale, nullptr, dir.path());
    std::vector<std::string> names = dumped_names(r.out);
    std::sort(names.begin(), names.end());
    std::vector<std::string> want = c.names;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(names, want) << c.locale << " " << c.pattern;
  }
}

TEST(WildcardRun, ShiftJisSecondByte5CDoesNotSplitTheName) {
  ScratchDir dir;
  dir.write(
      "\x95\x5C"
      "a.bin",
      "x");                     // 表a.bin
  dir.write("x\x95\x5C", "x");  // x表
  const struct {
    const char* pattern;
    std::vector<std::string> names;
  } cases[] = {
      {"\x95\x5C*",
       {"\x95\x5C"
        "a.bin"}},
      // Split at the 5C, the final component would be empty and the '*' not count.
      {"*\x95\x5C", {"x\x95\x5C"}},
  };
  for (const auto& c : cases) {
    const tovix_test::RunResult r = run_tovix({"-p", c.pattern}, "ja_JP.SJIS", nullptr, dir.path());
    EXPECT_EQ(dumped_names(r.out), c.names) << c.pattern;
  }
}

// Regression: under a UTF-8 locale, the split paired the 82 of あ (E3 81 82) with a
// following '/' as if it were Shift_JIS, so a '*' in the directory counted as a wildcard.
TEST(WildcardRun, Utf8NamesSplitAtEverySlash) {
  ScratchDir dir;
  make_dir(dir, "*\xE3\x81\x82/d");
  make_dir(dir, "\xE3\x81\x82");
  dir.write("\xE3\x81\x82/k.bin", "x");
  const struct {
    const char* pattern;
    std::vector<std::string> names;
  } cases[] = {
      {"*\xE3\x81\x82/d", {"*\xE3\x81\x82/d!"}},
      {"\xE3\x81\x82/*.bin", {"\xE3\x81\x82/k.bin"}},
  };
  for (const auto& c : cases) {
    const tovix_test::RunResult r =
        run_tovix({"-p", c.pattern}, "ja_JP.UTF-8", nullptr, dir.path());
    EXPECT_EQ(dumped_names(r.out), c.names) << c.pattern;
  }
}

}  // namespace
