// Wildcard expansion of file arguments: a '*' or '?' in the final component of an
// argument makes it a search for every matching file that is not a directory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace app {

/// The names one file argument stands for, in the order they are dumped.
using FileList = std::vector<std::string>;

/// Fills list with the names that argument stands for and returns how many, all of them:
/// the argument itself when it has no wildcard in its final component or matches
/// nothing, none when every match is a directory.
size_t expand_file_argument(const char* argument, FileList& list);

// The split of an argument into its parts, exposed for testing.

/// An argument cut into drive ("C:" or empty), directory (ending in its separator, or
/// empty), name and extension (from the last '.' of the final component, or empty).
struct PathParts {
  std::string drive;
  std::string directory;
  std::string name;
  std::string extension;
};

/// Splits argument at its last '\\' or '/' and the last '.' after it; when
/// lead_byte_aware, a lead byte and the byte after it are one character and never a
/// separator or a point.
PathParts split_path(std::string_view argument, bool lead_byte_aware);

/// True when argument is a search: a wildcard in its final component.
bool argument_is_pattern(const char* argument);

/// True when text holds '*' or '?'.
bool has_wildcard(std::string_view text);

}  // namespace app
