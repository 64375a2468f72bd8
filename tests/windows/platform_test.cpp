// The Windows platform seams: files, directory search, code pages, output, version,
// and the split of the process's own command line.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/arguments.h"
#include "app/options.h"
#include "console/dump_options.h"
#include "platform/charset.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/locale.h"
#include "platform/output.h"
#include "platform/version.h"
#include "scratch_win32.h"

namespace {

using tovix_test::WinScratchDir;

std::string read_whole(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<cannot open>";
  std::string data;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) data.append(buffer, got);
  CloseHandle(file);
  return data;
}

// Points standard output or standard error at a handle for the length of a test.
class StdHandleSwap {
 public:
  StdHandleSwap(DWORD which, HANDLE handle) : which_(which), saved_(GetStdHandle(which)) {
    SetStdHandle(which, handle);
  }
  ~StdHandleSwap() { SetStdHandle(which_, saved_); }

 private:
  DWORD which_;
  HANDLE saved_;
};

// Files other programs hold open (a log being written, a file open in an editor) are
// dumped; only a holder that shares no reading keeps them shut.
TEST(FileSeam, FilesThatOthersHoldOpenOpenUnlessTheyDenyReading) {
  const struct {
    DWORD access, share;
    bool opens;
  } cases[] = {
      {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
      {GENERIC_WRITE, FILE_SHARE_READ, true},  // a writer that lets nobody else write
      {GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, true},
      {GENERIC_READ, FILE_SHARE_READ, true},
      {GENERIC_WRITE, 0, false},
  };
  for (const auto& c : cases) {
    WinScratchDir dir;
    const std::string path = dir.write("a.bin", "abc");
    const HANDLE holder =
        CreateFileA(path.c_str(), c.access, c.share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const platform::FileHandle file = platform::file_open(path.c_str());
    EXPECT_EQ(file != platform::kInvalidFile, c.opens) << c.access << " " << c.share;
    if (file != platform::kInvalidFile) {
      char buffer[8];
      EXPECT_EQ(platform::file_read(file, buffer, sizeof buffer), 3);
      platform::file_close(file);
    }
    CloseHandle(holder);
  }
}

// The file that standard output writes to is known by its ID on its volume, however it
// was opened and whatever its name looks like.
TEST(FileSeam, KnowsTheOutputFileByItsId) {
  WinScratchDir dir;
  const std::string out = dir.write("out.txt", "o");
  const std::string other = dir.write("other.txt", "x");
  const HANDLE output = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(output, INVALID_HANDLE_VALUE);
  const struct {
    std::string name;
    bool is_output;
  } cases[] = {
      {out, true},
      {dir.path() + "\\.\\out.txt", true},
      {dir.path() + "/OUT.TXT", true},
      {other, false},
  };
  StdHandleSwap swap(STD_OUTPUT_HANDLE, output);
  for (const auto& c : cases) {
    const platform::FileHandle file = platform::file_open(c.name.c_str());
    ASSERT_NE(file, platform::kInvalidFile) << c.name;
    EXPECT_EQ(platform::file_is_output(file), c.is_output) << c.name;
    platform::file_close(file);
  }
  CloseHandle(output);
}

// Names past MAX_PATH, relative and full, open through the wide calls, and a wildcard
// finds a file in a folder with such a name.
TEST(FileSeam, NamesPastMaxPathOpen) {
  WinScratchDir dir;
  const std::string folder(150, 'd');
  const std::string name = folder + "\\" + std::string(146, 'n') + ".txt";  // 301 bytes
  const std::wstring wide_dir = L"\\\\?\\" + std::wstring(dir.path().begin(), dir.path().end());
  ASSERT_TRUE(CreateDirectoryW(
      (wide_dir + L"\\" + std::wstring(folder.begin(), folder.end())).c_str(), nullptr));
  const HANDLE made =
      CreateFileW((wide_dir + L"\\" + std::wstring(name.begin(), name.end())).c_str(),
                  GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(made, INVALID_HANDLE_VALUE);
  DWORD put = 0;
  WriteFile(made, "long", 4, &put, nullptr);
  CloseHandle(made);

  char previous[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
  for (const std::string& path : {name, dir.path() + "\\" + name, ".\\" + name}) {
    const platform::FileHandle file = platform::file_open(path.c_str());
    ASSERT_NE(file, platform::kInvalidFile) << path.size() << " bytes";
    EXPECT_EQ(platform::file_size(file), 4u);
    platform::file_close(file);
  }
  bool matched = false;
  std::vector<std::string> files;
  matched = platform::directory_search((folder + "\\n*").c_str(), 10, &files);
  EXPECT_TRUE(matched);
  EXPECT_EQ(files, std::vector<std::string>{name});
  SetCurrentDirectoryA(previous);
  DeleteFileW((wide_dir + L"\\" + std::wstring(name.begin(), name.end())).c_str());
  RemoveDirectoryW((wide_dir + L"\\" + std::wstring(folder.begin(), folder.end())).c_str());
}

TEST(FileSeam, DirectoriesAndMissingNamesDoNotOpen) {
  WinScratchDir dir;
  const std::string sub = dir.make_dir("sub");
  for (const std::string& name : {sub, dir.path() + "\\none.bin", std::string()}) {
    EXPECT_EQ(platform::file_open(name.c_str()), platform::kInvalidFile) << name;
  }
}

TEST(FileSeam, ReadsSizesAndSeeksDiskFiles) {
  WinScratchDir dir;
  std::string data(70000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  const std::string path = dir.write("big.bin", data);
  const platform::FileHandle file = platform::file_open(path.c_str());
  ASSERT_NE(file, platform::kInvalidFile);
  EXPECT_EQ(platform::file_size(file), data.size());
  EXPECT_FALSE(platform::file_is_live(file));
  ASSERT_TRUE(platform::file_seek_forward(file, 65536 + 3));
  char buffer[8192];
  const ptrdiff_t got = platform::file_read(file, buffer, sizeof buffer);
  ASSERT_EQ(got, static_cast<ptrdiff_t>(data.size() - 65539));
  EXPECT_EQ(std::string(buffer, 4), data.substr(65539, 4));
  EXPECT_EQ(platform::file_read(file, buffer, sizeof buffer), 0);  // the end
  platform::file_close(file);
}

TEST(FileSeam, DevicesHaveNoSizeAndDoNotSeek) {
  const platform::FileHandle file = platform::file_open("NUL");
  ASSERT_NE(file, platform::kInvalidFile);
  EXPECT_EQ(platform::file_size(file), 0u);
  EXPECT_FALSE(platform::file_seek_forward(file, 16));
  EXPECT_TRUE(platform::file_is_live(file));
  platform::file_close(file);
}

// A pipe is live input: a read waits while it is empty, and not once bytes or the end
// are there.
TEST(FileSeam, PipesTellWhetherAReadWouldWait) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  const auto file = reinterpret_cast<platform::FileHandle>(read_end);
  EXPECT_TRUE(platform::file_is_live(file));
  EXPECT_FALSE(platform::file_read_ready(file));
  DWORD put = 0;
  ASSERT_TRUE(WriteFile(write_end, "ab", 2, &put, nullptr));
  EXPECT_TRUE(platform::file_read_ready(file));
  char buffer[4];
  EXPECT_EQ(platform::file_read(file, buffer, sizeof buffer), 2);
  EXPECT_FALSE(platform::file_read_ready(file));
  CloseHandle(write_end);
  EXPECT_TRUE(platform::file_read_ready(file));
  // The writer gone is the end of the input, not a failed read.
  EXPECT_EQ(platform::file_read(file, buffer, sizeof buffer), 0);
  CloseHandle(read_end);
}

// Paths on Windows begin with a drive or a backslash, so '/' always begins a group of
// option letters, and a POSIX-looking path is a wrong option.
TEST(FileSeam, SlashAlwaysBeginsAnOptionGroup) {
  EXPECT_FALSE(platform::slash_is_path_root());
  const struct {
    std::vector<std::string> args;
    bool usage;
    bool highlight_lead;
  } cases[] = {
      {{"/k", "f"}, false, true},
      {{"/etc/passwd"}, true, false},
      {{"-p", "/tmp/a.bin"}, true, false},
      {{"f", "/k"}, false, false},  // after the first file name everything is a name
  };
  for (const auto& c : cases) {
    console::g_options = console::DumpOptions{};
    std::vector<std::string> args = c.args;
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const app::ParsedOptions parsed =
        app::read_options(static_cast<int>(c.args.size()), argv.data());
    EXPECT_EQ(parsed.usage, c.usage) << c.args[0];
    if (!c.usage) {
      EXPECT_EQ(console::g_options.highlight_lead, c.highlight_lead) << c.args[0];
    }
  }
}

std::vector<std::string> search(const std::string& pattern, size_t limit, bool* matched) {
  std::vector<std::string> files;
  *matched = platform::directory_search(pattern.c_str(), limit, &files);
  std::sort(files.begin(), files.end());  // the order is the file system's
  return files;
}

TEST(DirectorySeam, FindsFilesButNotDirectories) {
  WinScratchDir dir;
  dir.write("a.bin", "a");
  dir.write("b.bin", "b");
  dir.write("c.txt", "c");
  dir.make_dir("x.bin");
  dir.make_dir("only");
  dir.make_dir("only\\d1");
  const std::string& d = dir.path();
  struct Case {
    std::string pattern;
    size_t limit;
    bool matched;
    std::vector<std::string> files;
  } cases[] = {
      {d + "\\*.bin", 10, true, {d + "\\a.bin", d + "\\b.bin"}},
      {d + "/*.bin", 10, true, {d + "/a.bin", d + "/b.bin"}},  // the '/' stays
      {d + "\\?.txt", 10, true, {d + "\\c.txt"}},
      {d + "\\*.bin", 1, true, {}},     // one of the two, whichever comes first
      {d + "\\only\\*", 10, true, {}},  // every match a directory ('.', '..', d1)
      {d + "\\none*.bin", 10, false, {}},
      {d + "\\missing\\*.bin", 10, false, {}},
  };
  for (const Case& c : cases) {
    bool matched = false;
    const std::vector<std::string> files = search(c.pattern, c.limit, &matched);
    EXPECT_EQ(matched, c.matched) << c.pattern;
    if (c.limit == 1) {
      ASSERT_EQ(files.size(), 1u) << c.pattern;
      EXPECT_TRUE(files[0] == d + "\\a.bin" || files[0] == d + "\\b.bin") << files[0];
    } else {
      EXPECT_EQ(files, c.files) << c.pattern;
    }
  }
}

TEST(DirectorySeam, BareAndDrivePatternsGiveNamesAsWritten) {
  WinScratchDir dir;
  dir.write("a.bin", "a");
  char previous[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(dir.path().c_str()));
  const std::string drive = dir.path().substr(0, 2);  // "C:": the drive's current folder
  bool matched = false;
  EXPECT_EQ(search("*.bin", 10, &matched), std::vector<std::string>{"a.bin"});
  EXPECT_EQ(search(drive + "*.bin", 10, &matched), std::vector<std::string>{drive + "a.bin"});
  SetCurrentDirectoryA(previous);
}

// 表 is 0x95 0x5C: its second byte is a backslash, which must not end the directory.
TEST(DirectorySeam, DoubleByteNamesAreNotCutAtTheirSecondByte) {
  if (GetACP() != 932) GTEST_SKIP() << "needs the ANSI code page 932";
  WinScratchDir dir;
  dir.write("\x95\x5Cx.bin", "a");
  dir.make_dir("\x95\x5C");
  dir.write("\x95\x5C\\in.bin", "b");
  bool matched = false;
  EXPECT_EQ(search(dir.path() + "\\\x95\x5C*.bin", 10, &matched),
            std::vector<std::string>{dir.path() + "\\\x95\x5Cx.bin"});
  EXPECT_EQ(search(dir.path() + "\\\x95\x5C\\*", 10, &matched),
            std::vector<std::string>{dir.path() + "\\\x95\x5C\\in.bin"});
}

TEST(LocaleSeam, KnowsCodePagesThroughTheSystem) {
  platform::CodePageInfo info;
  ASSERT_TRUE(platform::code_page_info(932, &info));
  EXPECT_EQ(info.max_char_size, 2);
  const uint8_t lead_932[] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0};
  EXPECT_TRUE(std::equal(lead_932, lead_932 + 6, info.lead_byte));

  ASSERT_TRUE(platform::code_page_info(1252, &info));
  EXPECT_EQ(info.max_char_size, 1);
  EXPECT_EQ(info.lead_byte[0], 0);

  EXPECT_FALSE(platform::code_page_info(12345, &info));
}

// The code page of the dumped text: the ANSI code page when it is a double-byte one,
// else the user locale's double-byte one, else 932. Output that is no console's stays
// in the code page's own bytes where the console (or the ANSI code page) has it.
TEST(LocaleSeam, TheCodePageIsDoubleByte) {
  const int code_page = platform::system_code_page();
  EXPECT_TRUE(code_page == 932 || code_page == 936 || code_page == 949 || code_page == 950 ||
              code_page == 1361)
      << code_page;
  if (GetACP() != 932) GTEST_SKIP() << "the rest needs the ANSI code page 932";
  EXPECT_EQ(code_page, 932);
  EXPECT_TRUE(platform::names_in_code_page(932));
  EXPECT_FALSE(platform::names_in_code_page(936));
  if (GetConsoleWindow() == nullptr && GetConsoleOutputCP() == 0) {
    EXPECT_EQ(platform::display_charset(932), "");  // no console: the ANSI code page's bytes
    EXPECT_EQ(platform::display_charset(936), "CP932");
  }
}

// Conversions through the system's code page tables, a character at a time, stopping
// exactly where the input stops being convertible.
TEST(CharsetSeam, ConvertsThroughCodePages) {
  EXPECT_STREQ(platform::code_page_charset(932), "CP932");
  EXPECT_STREQ(platform::code_page_charset(65001), "UTF-8");
  EXPECT_EQ(platform::code_page_charset(12345), nullptr);
  platform::Converter none;
  EXPECT_FALSE(platform::charset_open(&none, "UTF-8", "KLINGON"));
  EXPECT_FALSE(platform::charset_open(&none, "CP12345", "CP932"));
  EXPECT_EQ(none.handle, nullptr);

  using platform::ConvertStatus;
  const struct {
    const char *to, *from;
    std::string in;
    ConvertStatus status;
    size_t consumed;
    std::string out;
  } cases[] = {
      {"UTF-8", "CP932", "A\x95\x5C\xB6", ConvertStatus::kDone, 4, "A\xE8\xA1\xA8\xEF\xBD\xB6"},
      {"utf8", "cp932", "\x95\x5C\x95", ConvertStatus::kIncomplete, 2, "\xE8\xA1\xA8"},
      // The system's own table: 0x8160 is U+FF5E, not the U+301C of JIS.
      {"UCS-4LE", "CP932", "\x81\x60", ConvertStatus::kDone, 2, std::string("\x5E\xFF\0\0", 4)},
      {"CP932", "UTF-8", "\xE8\xA1\xA8!", ConvertStatus::kDone, 4, "\x95\x5C!"},
      {"CP932", "UTF-8", "a\xF0\x9F\x98\x80", ConvertStatus::kInvalid, 1, "a"},  // no emoji
      {"CP437", "CP932", "ab\x95\x5C", ConvertStatus::kInvalid, 2, "ab"},        // no kanji
      {"CP932", "UTF-8", "\xE8\xA1", ConvertStatus::kIncomplete, 0, ""},
      {"CP932", "UTF-8", "\xE8\x41", ConvertStatus::kInvalid, 0, ""},
      {"UTF-8", "UCS-4LE", std::string("\x00\xF6\x01\x00", 4), ConvertStatus::kDone, 4,
       "\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    platform::Converter converter;
    ASSERT_TRUE(platform::charset_open(&converter, c.to, c.from)) << c.to << " " << c.from;
    char out[32];
    const platform::ConvertResult r =
        platform::charset_convert(converter, c.in.data(), c.in.size(), out, sizeof out);
    EXPECT_EQ(r.status, c.status) << c.to << " from " << c.from << ": " << c.in;
    EXPECT_EQ(r.consumed, c.consumed) << c.in;
    EXPECT_EQ(std::string(out, r.produced), c.out) << c.in;
    platform::charset_close(&converter);
  }

  // Full output: the characters that fit, and where to go on.
  platform::Converter converter;
  ASSERT_TRUE(platform::charset_open(&converter, "UTF-8", "CP932"));
  const std::string kanji =
      "\x95\x5C\x8E\xA6\x95\x5C\x8E\xA6";  // four characters, 12 bytes in UTF-8
  char out[platform::kShiftRoom + 7];
  const platform::ConvertResult r =
      platform::charset_convert(converter, kanji.data(), kanji.size(), out, sizeof out);
  EXPECT_EQ(r.status, ConvertStatus::kNoRoom);
  EXPECT_EQ(r.consumed, 4u);
  EXPECT_EQ(r.produced, 6u);
  platform::charset_close(&converter);
}

TEST(OutputSeam, EveryLineFeedBecomesCrLf) {
  const struct {
    platform::OutputStream stream;
    DWORD which;
    std::string text, expected;
  } cases[] = {
      {platform::OutputStream::kStdout, STD_OUTPUT_HANDLE, "a\nb\n", "a\r\nb\r\n"},
      {platform::OutputStream::kStdout, STD_OUTPUT_HANDLE, "\r\n\n", "\r\r\n\r\n"},
      {platform::OutputStream::kStdout, STD_OUTPUT_HANDLE, "\x95\x5C\x0A\x8A", "\x95\x5C\r\n\x8A"},
      {platform::OutputStream::kStderr, STD_ERROR_HANDLE, "e\n", "e\r\n"},
  };
  for (const auto& c : cases) {
    WinScratchDir dir;
    const std::string path = dir.path() + "\\out.txt";
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    {
      StdHandleSwap swap(c.which, file);
      EXPECT_EQ(platform::output_write(c.stream, c.text.data(), c.text.size()),
                platform::WriteResult::kOk);
      EXPECT_FALSE(platform::output_is_terminal() && c.which == STD_OUTPUT_HANDLE);
    }
    CloseHandle(file);
    EXPECT_EQ(read_whole(path), c.expected);
  }
}

TEST(OutputSeam, LargeWritesArriveWhole) {
  WinScratchDir dir;
  const std::string path = dir.path() + "\\out.txt";
  const HANDLE file =
      CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::string text, expected;
  for (int i = 0; i < 5000; ++i) {
    const std::string line = "line " + std::to_string(i);
    text += line + "\n";
    expected += line + "\r\n";
  }
  {
    StdHandleSwap swap(STD_OUTPUT_HANDLE, file);
    EXPECT_EQ(platform::output_write(platform::OutputStream::kStdout, text.data(), text.size()),
              platform::WriteResult::kOk);
  }
  CloseHandle(file);
  EXPECT_EQ(read_whole(path), expected);
}

TEST(OutputSeam, AClosedPipeIsABrokenPipe) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  CloseHandle(read_end);
  {
    StdHandleSwap swap(STD_OUTPUT_HANDLE, write_end);
    EXPECT_EQ(platform::output_write(platform::OutputStream::kStdout, "x\n", 2),
              platform::WriteResult::kBrokenPipe);
  }
  CloseHandle(write_end);
}

std::string own_path() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

TEST(VersionSeam, ReadsTheProgramsVersionResource) {
  const std::string path = own_path();
  const std::string without_extension = path.substr(0, path.size() - 4);  // no ".exe"
  const std::string base = path.substr(path.find_last_of('\\') + 1);
  const struct {
    std::string name, expected;
  } cases[] = {
      {path, TOVIX_EXPECTED_VERSION},
      {without_extension, TOVIX_EXPECTED_VERSION},  // ".exe" is added
      {base, TOVIX_EXPECTED_VERSION},               // the loaded module by its name
      {"no_such_program", ""},
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(platform::file_version(c.name.c_str()), c.expected) << c.name;
  EXPECT_EQ(platform::file_version(nullptr), "");
}

TEST(VersionSeam, DescriptionIsShiftJis) {
  const std::string path = own_path();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(
      VerQueryValueA(block.data(), "\\StringFileInfo\\041103A4\\FileDescription", &value, &length));
  // ファイル内容16進数表示
  EXPECT_STREQ(static_cast<const char*>(value),
               "\x83\x74\x83\x40\x83\x43\x83\x8B\x93\xE0\x97\x65"
               "16"
               "\x90\x69\x90\x94\x95\x5C\x8E\xA6");
}

TEST(ArgumentSeam, SplitsTheCommandLineAsTheRuntimeDoes) {
  // The runner's command line is plain ASCII: the runtime's vector is the reference.
  app::ProgramArguments arguments(0, nullptr);
  ASSERT_EQ(arguments.count(), __argc);
  for (int i = 0; i < __argc; ++i) EXPECT_STREQ(arguments.vector()[i], __argv[i]) << i;
  EXPECT_EQ(arguments.vector()[__argc], nullptr);
}

}  // namespace
