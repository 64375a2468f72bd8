// Version seam: the program's own file version, for the banner.
//
// A platform provides file_version in version_<platform>.cpp: the version of the
// program file named by argument 0 as "a.b.c.d", or an empty string when it has none.
#pragma once

#include <string>

namespace platform {

/// The file version of the program started under program_name; empty when unknown.
std::string file_version(const char* program_name);

}  // namespace platform
