// Directory seam: the search behind a file argument that holds wildcards.
//
// A platform provides, in directory_<platform>.cpp:
//   - directory_search: take a whole file argument as the pattern, search its directory
//     part (taken literally: '*' and '?' are wildcards only in the final component) for
//     entries whose names match the final component, and deliver, in a stable order, the
//     paths of the matches that are not directories, each the pattern's directory part
//     as written followed by the found name. The first `limit` such paths are kept and
//     the rest passed over. A symbolic link to a directory is a directory; a link that
//     leads nowhere is not. The result says whether anything matched at all (a search
//     whose matches were all directories did match) or the directory could not be
//     searched, since the caller treats those two cases differently.
//   - Which names match is the platform's own rule; on POSIX a '*' or '?' at the start
//     of the pattern does not match a leading '.', and '[' is an ordinary character.
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
