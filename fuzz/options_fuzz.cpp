// Fuzz target for the option parser: the input, cut at its zero bytes, is the argument
// vector after the program name. Each argument lives in a heap block of exactly its own
// size, and the vector holds exactly the arguments, so that reading one byte or one
// argument too far is caught by AddressSanitizer. The number reader is also checked
// against the C library's strtoull.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/options.h"
#include "console/dump_options.h"

namespace {

constexpr size_t kMaxArguments = 64;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "options_fuzz: %s\n", what.c_str());
  std::abort();
}

// What scanf's %lx or %ld would read, as a signed 32-bit value; -1 when its magnitude
// needs more than 32 bits (such a skip is refused, never wrapped).
enum class Reading { kValue, kNoNumber };
Reading reference_number(const char* text, int32_t* value) {
  const size_t len = std::strlen(text);
  const bool hex = len > 0 && (text[len - 1] == 'H' || text[len - 1] == 'h');
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text, &end, hex ? 16 : 10);
  if (end == text) return Reading::kNoNumber;
  if (errno == ERANGE) {  // past 64 bits: refused like any value past 32 bits
    *value = -1;
    return Reading::kValue;
  }
  // strtoull negates a '-' number in 64 bits; its magnitude is what must fit.
  const char* first = text;
  while (*first == ' ' || (*first >= '\t' && *first <= '\r')) ++first;
  const unsigned long long magnitude = *first == '-' ? 0ull - v : v;
  if (magnitude > UINT32_MAX) {
    *value = -1;
    return Reading::kValue;
  }
  *value = static_cast<int32_t>(static_cast<uint32_t>(v));
  return Reading::kValue;
}

bool same_options(const console::DumpOptions& a, const console::DumpOptions& b) {
  return a.japanese_display == b.japanese_display && a.pause == b.pause && a.hyphen == b.hyphen &&
         a.highlight_lead == b.highlight_lead && a.highlight_control == b.highlight_control &&
         a.highlight_newline == b.highlight_newline &&
         a.highlight_jpeg_marker == b.highlight_jpeg_marker && a.skip == b.skip;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  std::vector<std::unique_ptr<char[]>> storage;
  for (size_t pos = 0; pos <= size && storage.size() < kMaxArguments;) {
    const void* zero = std::memchr(input + pos, 0, size - pos);
    const size_t end =
        zero != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - input) : size;
    std::unique_ptr<char[]> arg(new char[end - pos + 1]);
    std::memcpy(arg.get(), input + pos, end - pos);
    arg[end - pos] = '\0';
    storage.push_back(std::move(arg));
    pos = end + 1;
  }
  const int count = static_cast<int>(storage.size());
  std::unique_ptr<char*[]> args(new char*[storage.size()]);
  for (size_t i = 0; i < storage.size(); ++i) args[i] = storage[i].get();

  for (int i = 0; i < count; ++i) {
    const int32_t got = app::parse_number(args[i]);
    int32_t want = -1;  // a text with no number to read gives -1, which shows the usage
    (void)reference_number(args[i], &want);
    if (got != want)
      fail(std::string("parse_number(\"") + args[i] + "\") is " + std::to_string(got) + ", not " +
           std::to_string(want));
  }

  console::g_options = console::DumpOptions{};
  const app::ParsedOptions parsed = app::read_options(count, args.get());
  const console::DumpOptions first_options = console::g_options;
  if (!parsed.usage) {
    if (parsed.file_count < 1 || parsed.file_count > count) fail("file count out of range");
    if (console::g_options.skip < 0) fail("a negative skip was accepted");
    if (args[count - parsed.file_count][0] == '-') fail("the first file name is an option");
  }
  // The same arguments read again give the same result.
  console::g_options = console::DumpOptions{};
  const app::ParsedOptions again = app::read_options(count, args.get());
  if (again.usage != parsed.usage || again.file_count != parsed.file_count ||
      !same_options(first_options, console::g_options))
    fail("reading the same options twice differs");
  return 0;
}
