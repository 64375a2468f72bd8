// Command-line options: the letters of [-JjkcdmPpHha] [-s N] [-n N], grouped or apart,
// with '/' working like '-', and the long --help and --version.
#pragma once

#include <cstdint>

namespace app {

/// Reads a number text: decimal digits ("4096"), hexadecimal digits ending in 'H' or 'h'
/// ("1000H"), or hexadecimal digits after "0x" or "0X" ("0x1000", also with the 'H').
/// Returns the value, 0 to 2^63-1; -1 for any other text (a sign, a blank, a letter
/// after the digits, no digits, or a larger value).
int64_t parse_number(const char* text);

/// Why the command line was refused, for the line on standard error.
enum class UsageError {
  kNone,
  kUnknownOption,  ///< a letter or argument that is no option ("-x", "--")
  kMissingNumber,  ///< -s or -n with no argument after it
  kBadNumber,      ///< -s or -n with a text that is no number of the allowed forms
  kMissingName,    ///< -e with no argument after it
  kBadName,        ///< -e with a name that is no text encoding
  kNoFile,         ///< no file name, and standard input is a terminal
};

/// What the command line asks for besides dumping.
enum class Request { kDump, kHelp, kVersion };

/// The outcome of reading the options.
struct ParsedOptions {
  bool usage = false;  ///< the options are wrong: the usage text must be shown
  UsageError error = UsageError::kNone;
  const char* offending = nullptr;  ///< the argument the error is about, when there is one
  Request request = Request::kDump;
  int file_count = 0;  ///< otherwise the number of file arguments at the end
};

/// Reads the options from the count arguments after the program name into
/// console::g_options; does not show anything. No file argument is reported as
/// kNoFile: the caller decides whether standard input stands in for one.
ParsedOptions read_options(int count, char** args);

/// Reads the options; shows the usage text and ends the run for a wrong command line
/// (code 2), for --help (code 0) and with no file argument while standard input is a
/// terminal (code 2); shows the version line for --version (code 0). Returns the number
/// of file arguments, the last ones of args; 0 means standard input is to be dumped.
int parse_options(int count, char** args);

/// Shows the banner and the usage text and ends the run with code; for a usage error,
/// the reason goes to standard error as one line when standard output is no terminal.
[[noreturn]] void show_usage(int code, UsageError error = UsageError::kNone,
                             const char* offending = nullptr);

}  // namespace app
