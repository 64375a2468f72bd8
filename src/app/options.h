// Command-line options: the letters of [-JjkcdmPpHh] [-s N], grouped or apart, with '/'
// working like '-'.
#pragma once

#include <cstdint>

namespace app {

/// Reads a number text: hexadecimal when it ends in 'H' or 'h', else decimal, as
/// scanf's %lx / %ld read it, and returned as signed 32 bits (a value from 2^31 on comes
/// back negative). A text with no digits to read, or whose value needs more than 32
/// bits, gives -1.
int32_t parse_number(const char* text);

/// The outcome of reading the options.
struct ParsedOptions {
  bool usage = false;  ///< the options are wrong: the usage text must be shown
  int file_count = 0;  ///< otherwise the number of file arguments at the end
};

/// Reads the options from the count arguments after the program name into
/// console::g_options; does not show anything.
ParsedOptions read_options(int count, char** args);

/// Reads the options, or shows the banner and usage text and ends the run (code 0).
/// Returns the number of file arguments, the last ones of args.
int parse_options(int count, char** args);

/// Shows the banner and the usage text and ends the run with exit code 0.
[[noreturn]] void show_usage();

}  // namespace app
