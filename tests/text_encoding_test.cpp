// Text encodings of the dumped bytes: the decoders on hostile input, the names -e
// takes, what auto chooses, and whole dumps of Japanese text in every encoding checked
// against the system converter (iconv) and against the dump of the same bytes as
// Shift_JIS.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/display_char.h"
#include "console/display_encoding.h"
#include "console/display_width.h"
#include "dump/byte_class.h"
#include "dump/decoded_column.h"
#include "dump/decoded_row.h"
#include "dump/hex_simd.h"
#include "dump/japanese.h"
#include "dump/line_format.h"
#include "dump/utf8_row.h"
#include "encoding/text_encoding.h"
#include "run_tovix.h"

namespace {

using encoding::TextEncoding;
using tovix_test::banner;
using tovix_test::run_tovix;
using tovix_test::ScratchDir;

// text (UTF-8) in charset, through iconv; fails the test when it cannot be converted.
std::string convert(const std::string& text, const char* charset) {
  iconv_t cd = iconv_open(charset, "UTF-8");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << charset;
  std::string out(text.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  size_t in_left = text.size();
  char* o = out.data();
  size_t out_left = out.size();
  EXPECT_NE(iconv(cd, &in, &in_left, &o, &out_left), static_cast<size_t>(-1)) << charset;
  iconv_close(cd);
  out.resize(out.size() - out_left);
  return out;
}

// The code points of UTF-8 text, as the program's own decoder reads them.
std::vector<char32_t> code_points(const std::string& text) {
  std::vector<char32_t> cps;
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  for (size_t i = 0; i < text.size();) {
    const encoding::Decoded d = encoding::decode_utf8(p + i, text.size() - i);
    cps.push_back(d.cp);
    i += d.length;
  }
  return cps;
}

// Cells a UTF-8 column takes on a terminal.
int display_width(const std::string& column) {
  int cells = 0;
  for (char32_t cp : code_points(column)) {
    cells += console::cell_width(cp) == console::CellWidth::kWide ? 2 : 1;
  }
  return cells;
}

struct DumpLines {
  std::string head;                // banner and header
  std::vector<std::string> lines;  // without their line ends
};

DumpLines split_dump(const std::string& out, const std::string& name) {
  DumpLines d;
  const size_t start = out.find("[ " + name + " ]");
  const size_t body = out.find("\n\n", start);
  if (start == std::string::npos || body == std::string::npos) return d;
  d.head = out.substr(0, body + 2);
  for (size_t at = body + 2; at < out.size();) {
    const size_t end = out.find('\n', at);
    d.lines.push_back(out.substr(at, end - at));
    at = end + 1;
  }
  return d;
}

std::string without_blanks(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c != ' ') out += c;
  }
  return out;
}

TEST(TextEncoding, NamesIgnoreCaseHyphensAndUnderscores) {
  const struct {
    const char* name;
    bool known;
    TextEncoding encoding;
  } cases[] = {
      {"auto", true, TextEncoding::kAuto},          {"SJIS", true, TextEncoding::kCodePage},
      {"Shift_JIS", true, TextEncoding::kCodePage}, {"cp932", true, TextEncoding::kCodePage},
      {"MS932", true, TextEncoding::kCodePage},     {"Windows-31J", true, TextEncoding::kCodePage},
      {"EUC-JP", true, TextEncoding::kEucJp},       {"euc_jp", true, TextEncoding::kEucJp},
      {"UTF-8", true, TextEncoding::kUtf8},         {"utf-16le", true, TextEncoding::kUtf16Le},
      {"UTF_16_BE", true, TextEncoding::kUtf16Be},  {"utf16", false, TextEncoding::kAuto},
      {"utf32", false, TextEncoding::kAuto},        {"", false, TextEncoding::kAuto},
      {"sjis-x", false, TextEncoding::kAuto},       {"utf-8-----------------x", false, {}},
  };
  for (const auto& c : cases) {
    TextEncoding e = TextEncoding::kAuto;
    EXPECT_EQ(encoding::parse_encoding_name(c.name, &e), c.known) << c.name;
    if (c.known) {
      EXPECT_EQ(e, c.encoding) << c.name;
    }
  }
}

TEST(TextEncoding, DecodersTakeWholeCharactersAndRefuseTheRest) {
  const struct {
    TextEncoding encoding;
    std::string bytes;
    uint32_t length;
    char32_t cp;
  } cases[] = {
      {TextEncoding::kUtf8, "\xE6\x97\xA5", 3, 0x65E5},
      {TextEncoding::kUtf8, "\xF0\x9F\x98\x80", 4, 0x1F600},
      {TextEncoding::kUtf8, "\xC0\xAF", 1, encoding::kNoChar},          // overlong '/'
      {TextEncoding::kUtf8, "\xE0\x80\xAF", 1, encoding::kNoChar},      // overlong
      {TextEncoding::kUtf8, "\xED\xA0\x80", 1, encoding::kNoChar},      // a surrogate
      {TextEncoding::kUtf8, "\xF4\x90\x80\x80", 1, encoding::kNoChar},  // past U+10FFFF
      {TextEncoding::kUtf8, "\xE6\x97", 1, encoding::kNoChar},          // cut short
      {TextEncoding::kUtf8, "\xE6\x97\x41", 1, encoding::kNoChar},      // the A is not taken
      {TextEncoding::kUtf8, "\x80", 1, encoding::kNoChar},
      {TextEncoding::kEucJp, "\xC6\xFC", 2, 0x65E5},
      {TextEncoding::kEucJp, "\x8E\xB1", 2, 0xFF71},      // half-width kana
      {TextEncoding::kEucJp, "\x8F\xB0\xA1", 3, 0x4E02},  // JIS X 0212
      {TextEncoding::kEucJp, "\x8E\xE0", 1, encoding::kNoChar},
      {TextEncoding::kEucJp, "\xA9\xA1", 1, encoding::kNoChar},  // unassigned row
      {TextEncoding::kEucJp, "\xC6\x41", 1, encoding::kNoChar},
      {TextEncoding::kEucJp, "\x82\xA0", 1, encoding::kNoChar},
      {TextEncoding::kUtf16Le, std::string("A\0", 2), 2, 0x41},
      {TextEncoding::kUtf16Le, std::string("\x3D\xD8\x00\xDE", 4), 4, 0x1F600},
      {TextEncoding::kUtf16Be, std::string("\xD8\x3D\xDE\x00", 4), 4, 0x1F600},
      {TextEncoding::kUtf16Le, std::string("\x3D\xD8\x41\x00", 4), 2, encoding::kNoChar},
      {TextEncoding::kUtf16Le, std::string("\x00\xDC", 2), 2, encoding::kNoChar},
      {TextEncoding::kUtf16Le, "\x3D\xD8", 2, encoding::kNoChar},
      {TextEncoding::kUtf16Be, "\x30", 1, encoding::kNoChar},
  };
  for (const auto& c : cases) {
    const encoding::Decoded d = encoding::decode_char(
        c.encoding, reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(d.length, c.length) << testing::PrintToString(c.bytes);
    EXPECT_EQ(d.cp, c.cp) << testing::PrintToString(c.bytes);
  }
}

const std::string kProse =
    "日本語のテキストです。カタカナ、ｶﾀｶﾅ！ΩαБ漢字かな交じり文「引用」ABC.xyz123〜";

// auto on whole files: the header names what it chose.
TEST(TextEncoding, AutoChoosesOnEvidenceOnly) {
  std::string random;
  uint32_t seed = 12345;
  for (int i = 0; i < 5000; ++i) {
    seed = seed * 1103515245 + 12345;
    random += static_cast<char>(seed >> 24);
  }
  const struct {
    const char* what;
    std::string data;
    const char* label;  // "" for the code page's own
  } cases[] = {
      {"UTF-8 prose", kProse, " UTF-8"},
      {"EUC-JP prose", convert(kProse, "EUC-JP"), " EUC-JP"},
      {"UTF-16LE with its BOM", convert("\uFEFF" + kProse, "UTF-16LE"), " UTF-16LE"},
      {"UTF-16BE with its BOM", convert("\uFEFF" + kProse, "UTF-16BE"), " UTF-16BE"},
      {"UTF-16LE without a BOM", convert(kProse, "UTF-16LE"), ""},
      {"Shift_JIS prose", convert(kProse, "CP932"), ""},
      {"Shift_JIS half-width kana only", convert("ｱｲｳｴｵ ｶｷｸｹｺ ﾊﾟﾋﾟ", "CP932"), ""},
      {"JPEG start", std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11), ""},
      {"random bytes", random, ""},
      {"ASCII", "plain text\r\n", ""},
      {"UTF-8 after an invalid byte", "abc\xE6\x97\xA5\xFF", ""},
  };
  ScratchDir dir;
  for (const auto& c : cases) {
    const std::string f = dir.write("f", c.data);
    const auto r = run_tovix({"-p", f}, "C.UTF-8");
    EXPECT_EQ(split_dump(r.out, f).head, banner() + "\n[ " + f + " ]" + c.label + "\n\n") << c.what;
    if (*c.label == '\0') {
      // Not chosen: byte for byte the dump of -e sjis, on both kinds of display.
      for (const char* locale : {"C.UTF-8", "ja_JP.SJIS"}) {
        EXPECT_EQ(run_tovix({"-p", f}, locale).out, run_tovix({"-p", "-e", "sjis", f}, locale).out)
            << c.what << " under " << locale;
      }
    }
  }
}

TEST(TextEncoding, AutoLooksPastAnAsciiPrologueLongerThanABlock) {
  ScratchDir dir;
  const std::string prologue(70000, 'a');
  const std::string f = dir.write("f", prologue + kProse);
  const auto r = run_tovix({"-p", f}, "C.UTF-8");
  const auto forced = run_tovix({"-p", "-e", "utf8", f}, "C.UTF-8");
  const DumpLines a = split_dump(r.out, f), u = split_dump(forced.out, f);
  // The header was written before the choice; the lines are those of -e utf8.
  EXPECT_EQ(a.head, banner() + "\n[ " + f + " ]\n\n");
  EXPECT_EQ(a.lines, u.lines);
  EXPECT_NE(r.out.find("日 本 語"), std::string::npos);
}

// Every encoding, with the text starting at each offset in a line, over more than one
// block of the reader: the column holds the text itself, each line is 16 or 17 cells,
// and the hex side is that of -e sjis.
TEST(TextEncoding, EveryEncodingShowsTheTextAligned) {
  const struct {
    const char* option;
    const char* charset;
    std::string extra;  // characters only this encoding holds
  } encodings[] = {
      {"utf8", "UTF-8", "𠮷😀"},
      {"eucjp", "EUC-JP", "丂"},
      {"utf16le", "UTF-16LE", "𠮷😀"},
      {"utf16be", "UTF-16BE", "𠮷😀"},
  };
  ScratchDir dir;
  for (const auto& e : encodings) {
    for (const char* prefix : {"", "x", "xy", "xyz"}) {
      SCOPED_TRACE(std::string(e.option) + " after \"" + prefix + "\"");
      std::string text = prefix;
      while (text.size() < 70000) text += kProse + e.extra;
      const std::string f = dir.write("f", convert(text, e.charset));
      const auto r = run_tovix({"-p", "-e", e.option, f}, "C.UTF-8");
      const auto sjis = run_tovix({"-p", "-e", "sjis", f}, "C.UTF-8");
      const DumpLines d = split_dump(r.out, f), s = split_dump(sjis.out, f);
      ASSERT_EQ(d.lines.size(), s.lines.size());
      std::string column_text;
      for (size_t i = 0; i < d.lines.size(); ++i) {
        const std::string& line = d.lines[i];
        ASSERT_GE(line.size(), 60u);
        EXPECT_EQ(line.substr(0, 60), s.lines[i].substr(0, 60)) << "line " << i;
        const std::string column = line.substr(60);
        const int width = display_width(column);
        EXPECT_TRUE(width == 16 || width == 17) << "line " << i << ": " << line;
        column_text += column;
      }
      EXPECT_EQ(without_blanks(column_text), without_blanks(text));
      // Live input gives the same lines.
      const std::string data = convert(text, e.charset);
      const auto live = run_tovix({"-p", "-e", e.option, "/dev/stdin"}, "C.UTF-8", &data);
      EXPECT_EQ(split_dump(live.out, "/dev/stdin").lines, d.lines);
      // Japanese display off: every byte by itself, as in a Shift_JIS file, live or not.
      const auto plain = run_tovix({"-p", "-j", "-e", e.option, f}, "C.UTF-8");
      const auto plain_sjis = run_tovix({"-p", "-j", "-e", "sjis", f}, "C.UTF-8");
      const auto plain_live =
          run_tovix({"-p", "-j", "-e", e.option, "/dev/stdin"}, "C.UTF-8", &data);
      EXPECT_EQ(split_dump(plain.out, f).lines, split_dump(plain_sjis.out, f).lines);
      EXPECT_EQ(split_dump(plain_live.out, "/dev/stdin").lines, split_dump(plain.out, f).lines);
    }
  }
}

// The full-row columns (no classes wanted) take shortcuts of their own; they must give
// what the general column gives, carry-over included, on text, on damaged text and on
// random bytes, with the look-ahead cut short (the bytes past it must not count),
// through the row writers of every row kernel's instruction set (which must serve most
// rows where they exist).
TEST(TextEncoding, FullRowShortcutsMatchTheGeneralColumn) {
  dump::build_byte_classes(932);
  console::display_setup(932, "UTF-8");
  console::display_char_setup(932, "UTF-8");
  dump::char_column_setup();
  dump::line_format_setup();
  const struct {
    TextEncoding e;
    const char* charset;
    std::string extra;  // characters only this encoding holds
  } encodings[] = {{TextEncoding::kUtf8, "UTF-8", "𠮷"},
                   {TextEncoding::kEucJp, "EUC-JP", "丂"},
                   {TextEncoding::kUtf16Le, "UTF-16LE", "𠮷"},
                   {TextEncoding::kUtf16Be, "UTF-16BE", "𠮷"}};
  uint32_t seed = 7;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  const dump::RowKernelList& kernels = dump::row_kernels();
  for (int kernel = 0; kernel < kernels.count; ++kernel) {
    const std::string_view name = kernels.kernels[kernel].name;
    dump::decoded_rows_setup(name.data());
    for (const auto& [e, charset, extra] : encodings) {
      std::vector<std::string> texts = {
          convert(kProse + "ascii . \t\r\n" + extra + kProse, charset)};
      // In UTF-8 besides: two-byte characters, marks and spaces of no width.
      if (e == TextEncoding::kUtf8) texts.push_back("é×Ωабв\u0301\u200B\u00A0ｶﾅ\u0085" + kProse);
      int served = 0, rows = 0;
      for (const std::string& text : texts) {
        for (int n = 0; n < 20000; ++n, ++rows) {
          uint8_t row[16 + dump::kDecodeLookAhead];
          const size_t at = next() % (text.size() - sizeof row);
          std::memcpy(row, text.data() + at, sizeof row);
          for (int k = next() % 4; k > 0; --k)
            row[next() % sizeof row] = static_cast<uint8_t>(next());
          if (n % 4 == 3) {
            for (uint8_t& b : row) b = static_cast<uint8_t>(next());
          }
          const size_t ahead = n % 8 == 5 ? next() % 4 : 3;
          const int carried = n % 2 == 0 ? 0 : static_cast<int>(next() % 4);
          char fast[dump::kDecodedColumnRoom], general[dump::kDecodedColumnRoom];
          dump::g_file_encoding = {e, true, true, carried};
          served += dump::put_decoded_row_by_words(fast, row, ahead) != nullptr ? 1 : 0;
          dump::g_file_encoding.carried = carried;
          const char* fast_end = dump::put_decoded_column(fast, row, 0, 15, ahead, nullptr);
          const int fast_carried = dump::g_file_encoding.carried;
          dump::g_file_encoding.carried = carried;
          dump::DecodedClasses classes;
          const char* general_end = dump::put_decoded_column(general, row, 0, 15, ahead, &classes);
          ASSERT_EQ(std::string(fast, static_cast<size_t>(fast_end - fast)),
                    std::string(general, static_cast<size_t>(general_end - general)))
              << name << " " << charset << " "
              << testing::PrintToString(std::string(row, row + sizeof row)) << " ahead " << ahead
              << " carried " << carried;
          ASSERT_EQ(fast_carried, dump::g_file_encoding.carried) << name << " " << charset;
        }
      }
      const bool has_writer =
          e == TextEncoding::kUtf16Le || e == TextEncoding::kUtf16Be ||
          (e == TextEncoding::kEucJp && (name.starts_with("sse") || name.starts_with("avx"))) ||
          (e == TextEncoding::kUtf8 && dump::g_decoded_row_paths.utf8 != nullptr);
      if (has_writer) {
        EXPECT_GT(served, rows / 2) << name << " " << charset;
      }
    }
  }
  dump::g_decoded_row_paths = {};
  dump::g_file_encoding = {};
}

// A UTF-8 row writer serves a UTF-8 display only, and never past the kernel cap.
TEST(TextEncoding, Utf8RowWriterFollowsTheDisplayAndTheKernelCap) {
  const dump::Utf8RowWriters& writers = dump::utf8_row_writers();
  const dump::PutUtf8RowFn fastest =
      writers.count > 0 ? writers.writers[writers.count - 1].put : nullptr;
  const char* fastest_name = writers.count > 0 ? writers.writers[writers.count - 1].name : "";
  const struct {
    const char* display;  // nullptr: the code page's own
    const char* cap;
    bool chosen;
  } cases[] = {{"UTF-8", fastest_name, true},  {"UTF-8", "portable", false},
               {"UTF-8", "sse2", false},       {"UTF-8", "no-such-kernel", false},
               {nullptr, fastest_name, false}, {"EUC-JP", fastest_name, false}};
  for (const auto& c : cases) {
    console::display_setup(932, c.display);
    console::display_char_setup(932, c.display);
    dump::decoded_rows_setup(c.cap);
    EXPECT_EQ(dump::g_decoded_row_paths.utf8, c.chosen ? fastest : nullptr)
        << (c.display ? c.display : "own") << " " << c.cap;
  }
  // Each writer under the cap of its own kernel.
  console::display_setup(932, "UTF-8");
  console::display_char_setup(932, "UTF-8");
  for (int k = 0; k < writers.count; ++k) {
    dump::decoded_rows_setup(writers.writers[k].name);
    EXPECT_EQ(dump::g_decoded_row_paths.utf8, writers.writers[k].put) << writers.writers[k].name;
  }
  dump::g_decoded_row_paths = {};
  console::display_setup(932, "UTF-8");
  console::display_char_setup(932, "UTF-8");
}

// A skip that lands inside a character: its remaining bytes are dots, and after them the
// dump is that of the whole file (from the line after next at the latest: a character
// cut by the skip may reach into the next line, whose first bytes are then dots).
TEST(TextEncoding, SkipInsideACharacterResynchronises) {
  std::string text;
  while (text.size() < 300) text += kProse + "𠮷";
  ScratchDir dir;
  const std::pair<const char*, const char*> encodings[] = {
      {"utf8", "UTF-8"}, {"utf16le", "UTF-16LE"}, {"utf16be", "UTF-16BE"}};
  for (const auto& [option, charset] : encodings) {
    const std::string f = dir.write("f", convert(text, charset));
    const DumpLines whole = split_dump(run_tovix({"-p", "-e", option, f}, "C.UTF-8").out, f);
    for (int skip : {1, 2, 3, 5, 17, 31, 33}) {
      SCOPED_TRACE(std::string(option) + " -s " + std::to_string(skip));
      const DumpLines part = split_dump(
          run_tovix({"-p", "-e", option, "-s", std::to_string(skip), f}, "C.UTF-8").out, f);
      const size_t first = static_cast<size_t>(skip) / 16;
      ASSERT_EQ(part.lines.size() + first, whole.lines.size());
      for (size_t i = 1; i < part.lines.size(); ++i) {
        const size_t compared = i == 1 ? 60 : std::string::npos;
        EXPECT_EQ(part.lines[i].substr(0, compared), whole.lines[first + i].substr(0, compared));
      }
      EXPECT_EQ(display_width(part.lines[0].substr(60)) >= 16, true) << part.lines[0];
    }
  }
}

// Sequences that must not reach the terminal as themselves: a dot per byte, the bytes
// after them read anew.
TEST(TextEncoding, HostileSequencesAreDots) {
  const struct {
    const char* option;
    std::string bytes;
    std::string column;  // before the blank fill
  } cases[] = {
      {"utf8",
       "A\xC0\xAF"
       "B",
       "A..B"},
      {"utf8", "\xED\xA0\x80", "..."},
      {"utf8",
       "\xE6\x97"
       "A",
       "..A"},
      {"utf8", "\xF4\x90\x80\x80", "...."},
      {"utf8",
       "\xE2\x80\xAE"
       "abc",
       "...abc"},                       // right-to-left override
      {"utf8", "\xE2\x81\xA6", "..."},  // left-to-right isolate
      {"utf8", "\xE2\x80\x8B", "..."},  // zero-width space
      {"utf8", "e\xCC\x81", "e.."},     // combining acute accent
      {"utf8", "\xE2\x80\xA8", "..."},  // line separator
      {"utf8",
       "\xEF\xBB\xBF"
       "A",
       "...A"},                    // byte order mark
      {"utf8", "\xC2\x85", ".."},  // C1 control
      {"utf8", "\x1B[2J", ".[2J"},
      {"utf8", "\xEE\x80\x80", "..."},       // private use
      {"utf8", "\xF3\xA0\x80\x81", "...."},  // a tag character
      {"utf8", "\xE6\x97", ".."},            // cut by the end of the file
      {"utf16le", std::string("\x00\xD8\x41\x00", 4), "..A "},
      {"utf16le", std::string("\x00\xDC\x0A\x00\x2E\x20", 6),
       "...."
       ".."},  // U+202E
      {"utf16be", std::string("\xFE\xFF\x00\x41", 4), "..A "},
      // A full stop is a character; a line feed a control code of two bytes.
      {"utf16le", std::string(".\0\n\0A\0", 6), ". ..A "},
      {"eucjp",
       "\xA9\xA1\x8E\xE0"
       "A",
       "....A"},
      {"eucjp", "\x8F\xA1\x41", "..A"},
  };
  ScratchDir dir;
  for (const auto& c : cases) {
    const std::string f = dir.write("f", c.bytes);
    const DumpLines d = split_dump(run_tovix({"-p", "-e", c.option, f}, "C.UTF-8").out, f);
    ASSERT_EQ(d.lines.size(), 1u);
    EXPECT_EQ(d.lines[0].substr(60), c.column + std::string(16 - c.column.size(), ' '))
        << c.option << " " << testing::PrintToString(c.bytes);
  }
}

// On a Shift_JIS display the characters are converted to CP932, and one it lacks is
// the geta mark in the cells the character had.
TEST(TextEncoding, ShiftJisDisplayConvertsOrShowsTheGetaMark) {
  ScratchDir dir;
  const std::string f = dir.write("f",
                                  "日本\xF0\x9F\x98\x80\xC3\xA9"
                                  "A");
  const DumpLines d = split_dump(run_tovix({"-p", "-e", "utf8", f}, "ja_JP.SJIS").out, f);
  ASSERT_EQ(d.lines.size(), 1u);
  EXPECT_EQ(d.lines[0].substr(60), convert("日 本 〓  〓A", "CP932") + std::string(3, ' '));
}

TEST(TextEncoding, OptionGroupsAndUnknownNames) {
  ScratchDir dir;
  const std::string f = dir.write("f", "\xE6\x97\xA5");
  const std::string usage = run_tovix({"--help"}, "C.UTF-8").out;
  const auto grouped = run_tovix({"-pk", "-e", "UTF-8", f}, "C.UTF-8");
  EXPECT_NE(grouped.out.find("[ " + f + " ] UTF-8"), std::string::npos);
  const auto in_group = run_tovix({"-pe", "utf8", f}, "C.UTF-8");
  EXPECT_EQ(in_group.out, grouped.out);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-p", "-e", "latin1", f}, {"-p", "-e"}, {"-pe"}}) {
    const auto refused = run_tovix(args, "C.UTF-8");
    EXPECT_EQ(refused.out, usage) << testing::PrintToString(args);
    EXPECT_EQ(refused.exit_code, 2) << testing::PrintToString(args);
  }
}

}  // namespace
