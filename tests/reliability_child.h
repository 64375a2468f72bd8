// Running the built program under conditions that run_tovix cannot set up: standard
// input and output on any descriptor (a FIFO, /dev/full, a pipe the test reads slowly or
// closes early), extra descriptors for /dev/fd names, an unprivileged user, and the
// child's peak memory.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace tovix_test {

/// How to start the program.
struct Launch {
  std::vector<std::string> args;
  std::string locale = "ja_JP.SJIS";     ///< LC_ALL; "" leaves the locale unset
  int stdin_fd = -1;                     ///< -1: /dev/null
  int stdout_fd = -1;                    ///< -1: a pipe the test reads (Child::out_fd)
  std::vector<std::pair<int, int>> fds;  ///< {descriptor here, number in the child}
  bool unprivileged = false;             ///< run as user and group 65534 when root
  std::string cwd;                       ///< working directory; "" keeps the test's
  std::vector<int> closed;               ///< standard descriptors (0-2) it starts without
  std::vector<std::string> env;          ///< more variables ("TERM=xterm"); "NAME" unsets one
  std::string program;                   ///< "" for the program under test
};

/// How the program ended.
struct ChildEnd {
  int exit_code = -1;   ///< -1 when it was ended by a signal
  int signal = 0;       ///< the signal that ended it, 0 if none
  long max_rss_kb = 0;  ///< peak resident memory
};

/// A running program. Standard error is always captured.
class Child {
 public:
  explicit Child(const Launch& launch);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  /// The read end of the child's standard output, or -1 when it went elsewhere.
  int out_fd() const { return out_fd_; }
  /// Reads standard output up to n bytes more (all of it when n is 0) into out().
  void read_out(size_t n = 0);
  /// Reads standard output until out() holds at least size bytes, the output ends or
  /// timeout_ms pass; true when out() has reached size.
  bool read_out_until(size_t size, int timeout_ms);
  /// Closes the test's end of standard output: the child's next write meets EPIPE.
  void close_out();
  /// Reads what is left of both outputs and waits for the end.
  ChildEnd wait();

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  void drain_err(bool block);
  pid_t pid_ = -1;
  int out_fd_ = -1, err_fd_ = -1;
  bool waited_ = false;
  std::string out_, err_;
};

/// Runs the program to its end with launch and returns how it ended; out and err, when
/// given, receive what it wrote.
ChildEnd run_child(const Launch& launch, std::string* out = nullptr, std::string* err = nullptr);

/// The open-failure message for name, as the program writes it under code page 932.
std::string open_failed(const std::string& name);

/// The read-failure message for name (it has no line end).
std::string read_failed(const std::string& name);

/// "ファイル:%sは出力先と同じファイルです\n" with name, as the program writes it.
std::string input_is_output(const std::string& name);

}  // namespace tovix_test
