// Windows directory search: FindFirstFileA / FindNextFileA with the whole argument as
// the pattern. Which names match, and in which order they come, is the file system's
// own rule (NTFS delivers them sorted; the short 8.3 names take part in the matching).
#include <windows.h>

#include <cstring>

#include "platform/directory.h"

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
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  const SearchCloser closer{search};
  const std::string directory(pattern, directory_part_length(pattern));
  size_t stored = 0;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    if (stored == limit) break;
    files->push_back(directory + found.cFileName);
    ++stored;
  } while (FindNextFileA(search, &found));
  return true;
}

}  // namespace platform
