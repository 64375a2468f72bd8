// POSIX directory search: opendir/readdir over the directory part, a match of our own
// on the final component, names sorted bytewise so the order does not depend on the
// file system or the locale.
//
// The match is not fnmatch(3): that needs an installed locale to know characters, and
// '[' and '\\' mean something to it. Here '*' is any run of characters, '?' exactly one
// character of the locale's charset (a UTF-8 sequence, a Shift_JIS or other double-byte
// pair, an EUC-JP character), every other character stands for itself, and a wildcard
// does not match a leading '.'.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/directory.h"
#include "platform/locale.h"

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

// How the names' bytes make characters.
enum class NameCharset { kSingleByte, kUtf8, kShiftJis, kDoubleByte, kEucJp };

NameCharset names_charset_kind() {
  const int code_page = system_code_page();
  const std::string charset = display_charset(code_page);
  if (charset == "UTF-8") return NameCharset::kUtf8;
  if (charset.empty()) {
    // The code page's own bytes.
    if (code_page == 932) return NameCharset::kShiftJis;
    if (code_page == 936 || code_page == 949 || code_page == 950 || code_page == 1361)
      return NameCharset::kDoubleByte;
    return NameCharset::kSingleByte;
  }
  std::string folded;
  for (char c : charset)
    if (c != '-' && c != '_') folded += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  if (folded == "EUCJP" || folded == "EUCJPMS") return NameCharset::kEucJp;
  return NameCharset::kSingleByte;
}

bool is_continuation(std::string_view s, size_t i) {
  return i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80;
}

// The length of the character at s[i]: a byte that begins no whole character of the
// charset is a character of its own.
size_t char_length(NameCharset charset, std::string_view s, size_t i) {
  const unsigned char b = static_cast<unsigned char>(s[i]);
  size_t n = 1;
  switch (charset) {
    case NameCharset::kSingleByte:
      return 1;
    case NameCharset::kUtf8:
      n = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 1;
      for (size_t k = 1; k < n; ++k)
        if (!is_continuation(s, i + k)) return 1;
      return n;
    case NameCharset::kShiftJis:
      n = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC) ? 2 : 1;
      break;
    case NameCharset::kDoubleByte:
      n = b >= 0x81 && b <= 0xFE ? 2 : 1;
      break;
    case NameCharset::kEucJp:
      n = b == 0x8F ? 3 : b == 0x8E || (b >= 0xA1 && b <= 0xFE) ? 2 : 1;
      break;
  }
  return i + n <= s.size() ? n : 1;
}

// Whether name matches the final component pattern.
bool name_matches(NameCharset charset, std::string_view pattern, std::string_view name) {
  if (!name.empty() && name[0] == '.' && !pattern.empty() &&
      (pattern[0] == '*' || pattern[0] == '?'))
    return false;
  // Walks both by characters; on a mismatch the last '*' takes one more character.
  size_t p = 0, n = 0;
  size_t star_p = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star_p = ++p;
      star_n = n;
      continue;
    }
    const size_t nl = char_length(charset, name, n);
    if (p < pattern.size()) {
      const size_t pl = char_length(charset, pattern, p);
      const bool any = pattern[p] == '?';
      if (any || (pl == nl && pattern.compare(p, pl, name, n, nl) == 0)) {
        p += any ? 1 : pl;
        n += nl;
        continue;
      }
    }
    if (star_p == std::string_view::npos) return false;
    star_n += char_length(charset, name, star_n);
    n = star_n;
    p = star_p;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
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
  const std::string_view final_pattern(pattern + prefix.size());

  files->clear();
  const std::unique_ptr<DIR, DirCloser> dir(opendir(prefix.empty() ? "." : prefix.c_str()));
  if (dir == nullptr) return false;

  const NameCharset charset = names_charset_kind();
  std::vector<Match> matches;
  // A failing readdir ends the search like the end of the directory does.
  while (const dirent* entry = readdir(dir.get())) {
    if (!name_matches(charset, final_pattern, entry->d_name)) continue;
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
