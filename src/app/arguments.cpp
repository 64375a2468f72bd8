#include "app/arguments.h"

#include <cstdint>

#include "dump/byte_class.h"
#include "platform/args.h"

namespace app {
namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

// Copies the character at *p (one byte, or a lead byte and its second byte) to out and
// moves past it. A lead byte at the very end of the line stands alone.
void take_character(const char*& p, std::string& out) {
  if (dump::is_lead_byte(static_cast<uint8_t>(*p)) && p[1] != '\0') out += *p++;
  out += *p++;
}

// The program name is a file name and cannot hold a quote: quotes only switch blanks
// on and off as separators, and backslashes are kept as they are.
const char* read_program_name(const char* p, std::string& out) {
  bool quoted = false;
  while (*p != '\0' && (quoted || !is_blank(*p))) {
    if (*p == '"') {
      quoted = !quoted;
      ++p;
    } else {
      take_character(p, out);
    }
  }
  return p;
}

// One argument from p, which is not blank; returns where it ended.
const char* read_argument(const char* p, std::string& out) {
  bool quoted = false;
  for (;;) {
    size_t backslashes = 0;
    while (*p == '\\') {
      ++backslashes;
      ++p;
    }
    bool copy = true;
    if (*p == '"') {
      if (backslashes % 2 == 0) {
        if (quoted && p[1] == '"') {
          ++p;  // "" inside quotes: the second one is a literal quote
        } else {
          copy = false;
          quoted = !quoted;
        }
      }
      backslashes /= 2;
    }
    out.append(backslashes, '\\');
    if (*p == '\0' || (!quoted && is_blank(*p))) return p;
    if (copy) {
      take_character(p, out);
    } else {
      ++p;
    }
  }
}

}  // namespace

std::vector<std::string> split_command_line(const char* line) {
  std::vector<std::string> args(1);
  const char* p = read_program_name(line, args[0]);
  for (;;) {
    while (is_blank(*p)) ++p;
    if (*p == '\0') return args;
    args.emplace_back();
    p = read_argument(p, args.back());
  }
}

ProgramArguments::ProgramArguments(int argc, char** argv) {
  const char* line = platform::command_line_text();
  if (line != nullptr) {
    text_ = split_command_line(line);
  } else {
    text_.assign(argv, argv + argc);
  }
  for (std::string& arg : text_) pointers_.push_back(arg.data());
  pointers_.push_back(nullptr);
}

}  // namespace app
