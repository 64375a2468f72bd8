// POSIX directory search: opendir/readdir over the directory part, fnmatch(3) on the
// final component, names sorted bytewise so the order does not depend on the file
// system or the locale.
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/directory.h"

namespace platform {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// One entry that matched, with what readdir already knows of its kind.
struct Match {
  std::string name;
  unsigned char type;
};

// '[' opens a bracket expression for fnmatch but is an ordinary character to the home
// platform's search, and a Shift_JIS second byte can be '[' (0x5B) or ']' (0x5D): "[[]"
// matches exactly one '['. FNM_NOESCAPE already makes '\\' ordinary.
std::string literal_brackets(const char* pattern) {
  std::string out;
  for (const char* p = pattern; *p != '\0'; ++p) {
    if (*p == '[') {
      out += "[[]";
    } else {
      out += *p;
    }
  }
  return out;
}

// A pattern takes only files: a match that is a directory, a FIFO, a socket or a device
// (or a link to one) is passed over, since opening a FIFO waits for a writer and a
// device may never end, and the user named neither. d_type tells most kinds at once; a
// link, or a file system that does not fill d_type, needs a stat, which follows links
// and opens nothing. A match that cannot be looked at (a link that leads nowhere) is no
// file either: a stale link among the matches must not fail a run that named none.
bool is_taken(DIR* dir, const Match& match) {
  if (match.type == DT_REG) return true;
  if (match.type != DT_UNKNOWN && match.type != DT_LNK) return false;
  struct stat st;
  return fstatat(dirfd(dir), match.name.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool directory_search(const char* pattern, size_t limit, std::vector<std::string>* files) {
  // Only '/' separates directories here; a '\\' is part of a name.
  const char* slash = std::strrchr(pattern, '/');
  const std::string prefix(pattern,
                           slash != nullptr ? static_cast<size_t>(slash - pattern) + 1 : 0);
  const std::string final_pattern = literal_brackets(pattern + prefix.size());

  files->clear();
  const std::unique_ptr<DIR, DirCloser> dir(opendir(prefix.empty() ? "." : prefix.c_str()));
  if (dir == nullptr) return false;

  std::vector<Match> matches;
  // A failing readdir ends the search like the end of the directory does.
  while (const dirent* entry = readdir(dir.get())) {
    if (fnmatch(final_pattern.c_str(), entry->d_name, FNM_PERIOD | FNM_NOESCAPE) != 0) continue;
    matches.push_back(Match{entry->d_name, entry->d_type});
  }
  if (matches.empty()) return false;

  std::sort(matches.begin(), matches.end(), [](const Match& a, const Match& b) {
    return std::strcmp(a.name.c_str(), b.name.c_str()) < 0;
  });
  for (const Match& match : matches) {
    if (files->size() >= limit) break;
    if (!is_taken(dir.get(), match)) continue;
    files->push_back(prefix + match.name);
  }
  return true;
}

}  // namespace platform
