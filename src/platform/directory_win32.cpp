// Windows directory search: FindFirstFileW / FindNextFileW with the whole argument as
// the pattern, made wide so that it may be of any length (wide_path.h). Which names
// match, and in which order they come, is the file system's own rule (NTFS delivers
// them sorted; the short 8.3 names take part in the matching). A found name goes back to
// the ANSI code page the program's names are in; one with a character that code page
// cannot spell is given by its short name, which opens the same file.
#include <windows.h>

#include <cstring>

#include "platform/directory.h"
#include "platform/wide_path.h"

namespace platform {
namespace {

// The length of the pattern's drive and directory part: everything up to and including
// the last '\\' or '/', or the drive "X:" alone. A lead byte of the ANSI code page takes
// the byte after it along, so that a second byte 0x5C is not read as a separator.
size_t directory_part_length(const char* pattern) {
  const size_t n = std::strlen(pattern);
  size_t start = n >= 2 && pattern[1] == ':' ? 2 : 0;
  size_t end = start;
  for (size_t i = start; i < n; ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(pattern[i])) && i + 1 < n) {
      ++i;
    } else if (pattern[i] == '\\' || pattern[i] == '/') {
      end = i + 1;
    }
  }
  return end;
}

struct SearchCloser {
  HANDLE search;
  ~SearchCloser() { FindClose(search); }
};

}  // namespace

bool directory_search(const char* pattern, size_t limit, std::vector<std::string>* files) {
  const std::wstring wide = wide_path(pattern);
  if (wide.empty()) return false;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(wide.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  const SearchCloser closer{search};
  const std::string directory(pattern, directory_part_length(pattern));
  size_t stored = 0;
  std::string name;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    if (stored == limit) break;
    if (!ansi_name(found.cFileName, &name) && found.cAlternateFileName[0] != L'\0')
      ansi_name(found.cAlternateFileName, &name);
    files->push_back(directory + name);
    ++stored;
  } while (FindNextFileW(search, &found));
  return true;
}

}  // namespace platform
