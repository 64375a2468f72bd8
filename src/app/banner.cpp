#include "app/banner.h"

#include <cstring>
#include <string>

#include "console/console.h"
#include "console/output.h"
#include "console/pager.h"
#include "platform/version.h"
#include "text/messages.h"

namespace app {
namespace {

// Four numbers of up to five digits and three points, and the terminator.
constexpr size_t kVersionTextSize = 24;
char g_version_text[kVersionTextSize];

}  // namespace

int module_version(const char* program_name, char* out, size_t size) {
  if (size == 0) return 0;
  out[0] = '\0';
  const std::string version = platform::file_version(program_name);
  if (version.empty() || version.size() >= size) return 0;
  std::memcpy(out, version.c_str(), version.size() + 1);
  return 1;
}

void load_version_text(const char* program_name) {
  module_version(program_name, g_version_text, sizeof g_version_text);
}

std::string version_line() {
  return std::string("Tovix ") + g_version_text + ' ' + text::kBannerNotice;
}

void show_banner() {
  const console::ConsoleColor previous = console::set_foreground(console::kColorBanner);
  console::out_ascii_char('\n');
  console::out_message(version_line().c_str());
  console::out_ascii_char('\n');
  console::set_foreground(previous);
  console::g_screen.lines_on_screen = 2;
}

}  // namespace app
