// A scratch directory for Windows tests, named in the ANSI code page.
#pragma once

#include <string>

namespace tovix_test {

/// A fresh directory under the temporary folder, removed with its contents at the end.
class WinScratchDir {
 public:
  WinScratchDir();
  ~WinScratchDir();
  WinScratchDir(const WinScratchDir&) = delete;
  WinScratchDir& operator=(const WinScratchDir&) = delete;

  /// The directory's full path, without a trailing backslash.
  const std::string& path() const { return path_; }

  /// Writes data to the file name (relative to the directory); returns its full path.
  std::string write(const std::string& name, const std::string& data) const;

  /// Makes the subdirectory name; returns its full path.
  std::string make_dir(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace tovix_test
