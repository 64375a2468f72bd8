// Names as the wide file calls take them, for the Windows file and directory seams
// (file_win32.cpp, directory_win32.cpp): the ANSI functions stop at MAX_PATH, the wide
// ones reach 32767 characters when the name is a full one marked "\\?\".
#pragma once

#include <string>

namespace platform {

/// The name, in the ANSI code page, as a wide name that the wide file calls open however
/// long it is: unchanged when it is short, else made full and marked "\\?\".
std::wstring wide_path(const char* name);

/// A wide name in the ANSI code page; false when some character has no spelling there.
bool ansi_name(const wchar_t* name, std::string* out);

}  // namespace platform
