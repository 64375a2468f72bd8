#include "app/wildcard.h"

#include <cstdint>
#include <new>

#include "console/output.h"
#include "console/run_end.h"
#include "dump/byte_class.h"
#include "platform/directory.h"
#include "platform/locale.h"
#include "text/messages.h"

namespace app {
namespace {

// Under UTF-8 (or EUC) a byte of a multi-byte character can look like a Shift_JIS lead
// byte and would swallow a following '/', while no byte of such a character ever equals
// '/', '\\' or '.', so names not in the code page take the bytewise walk.
bool names_are_in_code_page() {
  return platform::names_in_code_page(platform::system_code_page());
}

[[noreturn]] void fail_out_of_memory() {
  console::out_flush();
  console::err_message(text::kOutOfMemoryMessage, nullptr);
  console::end_run(1);
}

}  // namespace

PathParts split_path(std::string_view argument, bool lead_byte_aware) {
  PathParts parts;
  size_t start = 0;
  if (argument.size() >= 2 && argument[1] == ':') {
    parts.drive = argument.substr(0, 2);
    start = 2;
  }
  size_t final_start = start;
  size_t last_point = std::string_view::npos;
  for (size_t i = start; i < argument.size(); ++i) {
    const char c = argument[i];
    if (lead_byte_aware && dump::is_lead_byte(static_cast<uint8_t>(c))) {
      // The second byte belongs to the character, even when it is 0x5C or '/'; a lead
      // byte at the very end stands alone.
      if (i + 1 < argument.size()) ++i;
      continue;
    }
    if (c == '\\' || c == '/') final_start = i + 1;
    if (c == '.') last_point = i;
  }
  parts.directory = argument.substr(start, final_start - start);
  std::string_view final_component = argument.substr(final_start);
  if (last_point != std::string_view::npos && last_point >= final_start) {
    parts.extension = argument.substr(last_point);
    final_component = argument.substr(final_start, last_point - final_start);
  }
  parts.name = final_component;
  return parts;
}

bool has_wildcard(std::string_view text) {
  return text.find_first_of("*?") != std::string_view::npos;
}

bool argument_is_pattern(const char* argument) {
  // A wildcard in the drive or directory part does not count: the name is used as it is.
  const PathParts parts = split_path(argument, names_are_in_code_page());
  return has_wildcard(parts.name) || has_wildcard(parts.extension);
}

size_t expand_file_argument(const char* argument, FileList& list) {
  try {
    list.clear();
    if (!argument_is_pattern(argument)) {
      list.emplace_back(argument);
      return list.size();
    }
    // No match at all: the pattern itself is the name, so its open failure is reported.
    if (!platform::directory_search(argument, SIZE_MAX, &list)) {
      list.clear();
      list.emplace_back(argument);
    }
    return list.size();
  } catch (const std::bad_alloc&) {
    fail_out_of_memory();
  }
}

}  // namespace app
