// The name of the file being dumped, as the header showed it; the open- and
// read-failure messages repeat it. Any length is kept whole.
#pragma once

#include <string>

namespace dump {

extern std::string g_current_file_name;

}  // namespace dump
