// The program's arguments. Where the platform hands over one unsplit command line
// (Windows), it is split here by the C runtime's documented rules, with the program's
// own lead-byte table, so that a double-byte character whose second byte is a
// backslash (0x5C) or any other special byte is never cut; elsewhere main's argument
// vector is used as it is.
#pragma once

#include <string>
#include <vector>

namespace app {

/// Splits a command line: the program name up to the first blank or tab outside
/// double quotes (quotes removed, backslashes literal); then arguments separated by
/// blanks and tabs, double quotes grouping and removed, "" inside quotes one quote,
/// 2n backslashes before a quote giving n and a quote that groups, 2n+1 giving n and
/// a literal quote, other backslashes literal.
std::vector<std::string> split_command_line(const char* line);

/// The arguments main works with, owning their text.
class ProgramArguments {
 public:
  /// Splits the platform's command line when it hands one over, else copies argv.
  ProgramArguments(int argc, char** argv);
  ProgramArguments(const ProgramArguments&) = delete;
  ProgramArguments& operator=(const ProgramArguments&) = delete;

  /// The number of arguments, the program name included.
  int count() const { return static_cast<int>(text_.size()); }

  /// The arguments as a vector of count() strings followed by a null pointer.
  char** vector() { return pointers_.data(); }

 private:
  std::vector<std::string> text_;
  std::vector<char*> pointers_;
};

}  // namespace app
