#include "app/options.h"

#include <cstring>
#include <string>

#include "app/banner.h"
#include "console/dump_options.h"
#include "console/output.h"
#include "console/run_end.h"
#include "encoding/text_encoding.h"
#include "platform/file.h"
#include "platform/output.h"
#include "text/messages.h"

namespace app {
namespace {

int digit_value(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9') v = c - '0';
  if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  return v < base ? v : -1;
}

// Sets the field of one option letter; false for a character that is no option.
bool apply_letter(char c, console::DumpOptions& o) {
  switch (c) {
    case 'J':
      o.japanese_display = true;
      return true;
    case 'j':
      o.japanese_display = false;
      return true;
    case 'k':
      o.highlight_lead = true;
      return true;
    case 'c':
      o.highlight_control = true;
      return true;
    case 'd':
      o.highlight_newline = true;
      return true;
    case 'm':
      o.highlight_jpeg_marker = true;
      return true;
    case 'P':
      o.pause = true;
      return true;
    case 'p':
      o.pause = false;
      return true;
    case 'H':
      o.hyphen = true;
      return true;
    case 'h':
      o.hyphen = false;
      return true;
    case 'a':
      o.squeeze = true;
      return true;
    default:
      return false;
  }
}

// Letters that take the next argument as their number.
bool takes_number(char c) {
  return c == 's' || c == 'n';
}

bool is_option_letter(char c) {
  return takes_number(c) || c == 'e' || std::strchr("JjkcdmPpHha", c) != nullptr;
}

// Whether an argument is a group of option letters. Where '/' is the root of absolute
// paths, "/usr/a.bin" must stay a file name: there '/' introduces a group only when
// every character after it is an option letter ("/k", "/ps"), so no real path that
// holds another '/' or any other character is taken for options.
bool is_option_group(const char* arg) {
  if (arg[0] == '-') return true;
  if (arg[0] != '/') return false;
  if (!platform::slash_is_path_root()) return true;
  for (const char* c = arg + 1; *c != '\0'; ++c) {
    if (!is_option_letter(*c)) return false;
  }
  return true;
}

ParsedOptions refused(UsageError error, const char* offending) {
  ParsedOptions result;
  result.usage = true;
  result.error = error;
  result.offending = offending;
  return result;
}

const char* reason_text(UsageError error) {
  switch (error) {
    case UsageError::kUnknownOption:
      return text::kUnknownOptionMessage;
    case UsageError::kMissingNumber:
      return text::kMissingNumberMessage;
    case UsageError::kBadNumber:
      return text::kBadNumberMessage;
    case UsageError::kMissingName:
      return text::kMissingNameMessage;
    case UsageError::kBadName:
      return text::kBadNameMessage;
    case UsageError::kNoFile:
      return text::kNoFileMessage;
    case UsageError::kNone:
      break;
  }
  return nullptr;
}

// "Tovix 2.1.0.2 <notice>" on a line of its own, without colour.
[[noreturn]] void show_version() {
  console::out_ascii(version_line().c_str());
  console::out_ascii_char('\n');
  console::end_run(0);
}

}  // namespace

int64_t parse_number(const char* text) {
  const char* c = text;
  const char* end = text + std::strlen(text);
  int base = 10;
  if (c[0] == '0' && (c[1] == 'x' || c[1] == 'X')) {
    base = 16;
    c += 2;
  }
  if (end > c && (end[-1] == 'H' || end[-1] == 'h')) {
    base = 16;
    --end;
  }
  if (c == end) return -1;  // no digits: "", "H", "0x"
  constexpr uint64_t kMax = INT64_MAX;
  uint64_t value = 0;
  for (; c != end; ++c) {
    const int d = digit_value(*c, base);
    // Anything but a digit is refused, never read up to: "1A", "1e3" and "10k" would
    // otherwise skip 1, 1 and 10 bytes without a word.
    if (d < 0) return -1;
    if (value > (kMax - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) return -1;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
  }
  return static_cast<int64_t>(value);
}

ParsedOptions read_options(int count, char** args) {
  console::DumpOptions& o = console::g_options;
  ParsedOptions result;
  int i = 0;
  while (count > 0 && is_option_group(args[i])) {
    if (std::strcmp(args[i], "--help") == 0 || std::strcmp(args[i], "--version") == 0) {
      result.request = args[i][2] == 'h' ? Request::kHelp : Request::kVersion;
      return result;
    }
    for (const char* c = args[i] + 1; *c != '\0'; ++c) {
      if (*c == 'e') {
        // The text encoding: the next argument names it, and ends the group like -s.
        --count;
        if (count < 1) return refused(UsageError::kMissingName, args[i]);
        ++i;
        if (!encoding::parse_encoding_name(args[i], &o.encoding))
          return refused(UsageError::kBadName, args[i]);
        break;
      }
      if (takes_number(*c)) {
        --count;  // now the number of arguments after this one
        if (count < 1) return refused(UsageError::kMissingNumber, args[i]);
        const int64_t value = parse_number(args[++i]);
        if (value < 0) return refused(UsageError::kBadNumber, args[i]);
        (*c == 's' ? o.skip : o.length) = value;
        break;  // the rest of the group after the letter is ignored
      }
      if (!apply_letter(*c, o)) return refused(UsageError::kUnknownOption, args[i]);
    }
    ++i;
    --count;
  }
  if (count <= 0) return refused(UsageError::kNoFile, nullptr);
  result.file_count = count;
  return result;
}

int parse_options(int count, char** args) {
  const ParsedOptions parsed = read_options(count, args);
  if (parsed.request == Request::kHelp) show_usage(0);
  if (parsed.request == Request::kVersion) show_version();
  if (!parsed.usage) return parsed.file_count;
  // Without a file name, input that is not typed at the terminal is what to dump.
  if (parsed.error == UsageError::kNoFile && !platform::standard_input_is_terminal()) return 0;
  show_usage(2, parsed.error, parsed.offending);
}

void show_usage(int code, UsageError error, const char* offending) {
  show_banner();
  console::out_message(text::kUsageText);
  // Where the usage text goes into a file or a pipe, the one line that says what was
  // wrong goes where the user looks.
  const char* reason = reason_text(error);
  if (reason != nullptr && !platform::output_is_terminal()) {
    // The argument is anybody's bytes, and standard error may be a terminal: a control
    // character in it is shown as '?', never sent to act on the screen.
    std::string shown = offending != nullptr ? offending : "";
    for (char& c : shown)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    console::out_flush();
    console::err_message(reason, shown.c_str());
  }
  console::end_run(code);
}

}  // namespace app
