// Helpers for end-to-end tests: run the built program with arguments and an environment,
// capture what it writes, and make scratch files.
#pragma once

#include <string>
#include <vector>

namespace tovix_test {

struct RunResult {
  std::string out;  ///< everything written to standard output
  std::string err;  ///< everything written to standard error
  int exit_code = -1;
  int signal = 0;  ///< the signal that ended the process, 0 if none
};

/// This process's environment without LC_*, LANG and TERM, plus LC_ALL=locale unless
/// locale is empty: what the program under test is started with.
std::vector<std::string> child_environment(const std::string& locale);

/// Runs build/tovix with args. locale is put in LC_ALL ("" leaves LC_ALL, LC_CTYPE and
/// LANG unset); stdin_data, when given, is fed through a pipe; working_dir, when not
/// empty, is the program's current directory.
RunResult run_tovix(const std::vector<std::string>& args, const std::string& locale = "ja_JP.SJIS",
                    const std::string* stdin_data = nullptr, const std::string& working_dir = "");

/// A fresh directory for one test, removed with everything in it at destruction.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  /// Writes data to name inside the directory and returns the full path.
  std::string write(const std::string& name, const std::string& data) const;

 private:
  std::string path_;
};

/// The banner as the program writes it.
std::string banner();

/// The header of one file: "\n[ name ]\n\n".
std::string header(const std::string& name);

/// The bytes 0, 1, ..., n-1 (mod 256).
std::string counting_bytes(size_t n);

}  // namespace tovix_test
