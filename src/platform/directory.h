// Directory seam: the search behind a file argument that holds wildcards.
//
// A platform provides, in directory_<platform>.cpp:
//   - directory_search: take a whole file argument as the pattern, search its directory
//     part (taken literally: '*' and '?' are wildcards only in the final component) for
//     entries whose names match the final component, and deliver, in a stable order, the
//     paths of the matches that are files, each the pattern's directory part as written
//     followed by the found name. Directories are passed over, and so are FIFOs,
//     sockets and devices where the platform has them (a pattern must not wait on or
//     stream endlessly from something that was not named); a symbolic link counts as
//     what it leads to, and one that leads nowhere is kept (its open fails and says so).
//     The first `limit` such paths are kept and the rest passed over. The result says
//     whether anything matched at all (a search whose matches were all passed over did
//     match) or the directory could not be searched, since the caller treats those two
//     cases differently.
//   - Which names match is the platform's own rule; a '?' matches one character of the
//     charset names are in (on POSIX that of the locale), a '*' or '?' at the start of
//     the pattern does not match a leading '.', and '[' is an ordinary character.
// Names of any length are handled; nothing is cut. Running out of memory throws
// std::bad_alloc, which the caller turns into the out-of-memory message.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

/// Fills files with the paths of up to limit files that pattern names; false when
/// nothing matches or the directory cannot be searched.
bool directory_search(const char* pattern, size_t limit, std::vector<std::string>* files);

}  // namespace platform
