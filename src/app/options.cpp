#include "app/options.h"

#include <cstring>

#include "app/banner.h"
#include "console/dump_options.h"
#include "console/output.h"
#include "console/run_end.h"
#include "encoding/text_encoding.h"
#include "platform/file.h"
#include "text/messages.h"

namespace app {
namespace {

bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

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
    default:
      return false;
  }
}

bool is_option_letter(char c) {
  return c == 's' || c == 'e' || std::strchr("JjkcdmPpHh", c) != nullptr;
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

}  // namespace

int32_t parse_number(const char* text) {
  const size_t len = std::strlen(text);
  const bool hex = len > 0 && (text[len - 1] == 'H' || text[len - 1] == 'h');
  const int base = hex ? 16 : 10;
  const char* c = text;
  while (is_space(*c)) ++c;
  bool negative = false;
  if (*c == '+' || *c == '-') negative = *c++ == '-';
  if (hex && c[0] == '0' && (c[1] == 'x' || c[1] == 'X') && digit_value(c[2], 16) >= 0) c += 2;
  if (digit_value(*c, base) < 0) return -1;  // nothing to read: no value
  // A value that does not fit in 32 bits would wrap to a small skip ("4294967312" to
  // 16) and dump from the wrong place: it is refused like a negative one.
  uint64_t value = 0;
  for (int d; (d = digit_value(*c, base)) >= 0; ++c) {
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (value > UINT32_MAX) return -1;
  }
  uint32_t low = static_cast<uint32_t>(value);
  if (negative) low = 0u - low;
  return static_cast<int32_t>(low);
}

ParsedOptions read_options(int count, char** args) {
  console::DumpOptions& o = console::g_options;
  ParsedOptions result;
  int i = 0;
  while (count > 0 && is_option_group(args[i])) {
    for (const char* c = args[i] + 1; *c != '\0'; ++c) {
      if (*c == 'e') {
        // The text encoding: the next argument names it, and ends the group like -s.
        --count;
        if (count < 1 || !encoding::parse_encoding_name(args[++i], &o.encoding)) {
          result.usage = true;
          return result;
        }
        break;
      }
      if (*c == 's') {
        --count;  // now the number of arguments after this one
        if (count < 1) {
          result.usage = true;
          return result;
        }
        o.skip = parse_number(args[++i]);
        if (o.skip < 0) {
          result.usage = true;
          return result;
        }
        break;  // the rest of the group after 's' is ignored
      }
      if (!apply_letter(*c, o)) {
        result.usage = true;
        return result;
      }
    }
    ++i;
    --count;
  }
  if (count <= 0) {
    result.usage = true;
    return result;
  }
  result.file_count = count;
  return result;
}

int parse_options(int count, char** args) {
  const ParsedOptions parsed = read_options(count, args);
  if (parsed.usage) show_usage();
  return parsed.file_count;
}

void show_usage() {
  show_banner();
  console::out_message(text::kUsageText);
  console::end_run(0);
}

}  // namespace app
