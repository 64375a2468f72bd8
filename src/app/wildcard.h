// Wildcard expansion of file arguments: a '*' or '?' in the final component of an
// argument makes it a search for every matching file that is not a directory.
#pragma once

#include <string>
#include <vector>

namespace app {

/// At most this many names come from one argument.
inline constexpr size_t kMaxFileListEntries = 4096;

/// The names one file argument stands for, in the order they are dumped.
using FileList = std::vector<std::string>;

/// Fills list with the names that argument stands for and returns how many (0-4096):
/// the argument itself when it has no wildcard in its final component or matches
/// nothing, none when every match is a directory.
size_t expand_file_argument(const char* argument, FileList& list);

}  // namespace app
