// Fuzz target for the option parser: the input, cut at its zero bytes, is the argument
// vector after the program name. Each argument lives in a heap block of exactly its own
// size, and the vector holds exactly the arguments, so that reading one byte or one
// argument too far is caught by AddressSanitizer. The number reader is also checked
// against a reference written from the rules of a number, not from the reader.
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

// The rules of a number text: decimal digits; hexadecimal digits followed by 'H' or
// 'h'; "0x" or "0X" followed by hexadecimal digits (an 'H' after them is allowed too).
// The value must be at most 2^63-1. Every other text (a sign, a blank, any stray
// character, no digits) is refused with -1.
int64_t reference_number(const char* text) {
  std::string t = text;
  bool hex = false;
  if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    hex = true;
    t.erase(0, 2);
  }
  if (!t.empty() && (t.back() == 'H' || t.back() == 'h')) {
    hex = true;
    t.pop_back();
  }
  if (t.empty()) return -1;
  if (t.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
    return -1;
  // Only digits are left, which strtoull reads whole; it reports a value past 64 bits.
  errno = 0;
  const unsigned long long v = std::strtoull(t.c_str(), nullptr, hex ? 16 : 10);
  if (errno == ERANGE || v > static_cast<unsigned long long>(INT64_MAX)) return -1;
  return static_cast<int64_t>(v);
}

bool same_options(const console::DumpOptions& a, const console::DumpOptions& b) {
  return a.japanese_display == b.japanese_display && a.pause == b.pause && a.hyphen == b.hyphen &&
         a.highlight_lead == b.highlight_lead && a.highlight_control == b.highlight_control &&
         a.highlight_newline == b.highlight_newline &&
         a.highlight_jpeg_marker == b.highlight_jpeg_marker && a.squeeze == b.squeeze &&
         a.skip == b.skip && a.length == b.length;
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
    const int64_t got = app::parse_number(args[i]);
    const int64_t want = reference_number(args[i]);
    if (got != want)
      fail(std::string("parse_number(\"") + args[i] + "\") is " + std::to_string(got) + ", not " +
           std::to_string(want));
  }

  console::g_options = console::DumpOptions{};
  const app::ParsedOptions parsed = app::read_options(count, args.get());
  const console::DumpOptions first_options = console::g_options;
  if (!parsed.usage && parsed.request == app::Request::kDump) {
    if (parsed.file_count < 1 || parsed.file_count > count) fail("file count out of range");
    if (console::g_options.skip < 0) fail("a negative skip was accepted");
    if (console::g_options.length < -1) fail("a negative length was accepted");
    if (args[count - parsed.file_count][0] == '-') fail("the first file name is an option");
  }
  // The same arguments read again give the same result.
  console::g_options = console::DumpOptions{};
  const app::ParsedOptions again = app::read_options(count, args.get());
  if (again.usage != parsed.usage || again.file_count != parsed.file_count ||
      again.request != parsed.request || again.error != parsed.error ||
      !same_options(first_options, console::g_options))
    fail("reading the same options twice differs");
  return 0;
}
