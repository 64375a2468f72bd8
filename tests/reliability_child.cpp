#include "reliability_child.h"

#include "run_tovix.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <stdexcept>

extern char** environ;

namespace tovix_test {
namespace {

constexpr int kNobody = 65534;
constexpr int kParkedFdBase = 200;  // where extra descriptors wait before their move

// After fork, before exec: only async-signal-safe calls.
[[noreturn]] void exec_child(const Launch& launch, int in_fd, int out_fd, int err_fd, char** argv,
                             char** envp) {
  // argv[0] is the program's path.
  ::setsid();  // no controlling terminal: the pager can never wait for keys
  if (!launch.cwd.empty() && ::chdir(launch.cwd.c_str()) != 0) ::_exit(125);
  for (size_t i = 0; i < launch.fds.size(); ++i)
    ::dup2(launch.fds[i].first, kParkedFdBase + static_cast<int>(i));
  ::dup2(in_fd, 0);
  ::dup2(out_fd, 1);
  ::dup2(err_fd, 2);
  for (size_t i = 0; i < launch.fds.size(); ++i)
    ::dup2(kParkedFdBase + static_cast<int>(i), launch.fds[i].second);
  for (int fd = 3; fd < 1024; ++fd) {
    bool keep = false;
    for (const auto& m : launch.fds) keep = keep || m.second == fd;
    if (!keep) ::close(fd);
  }
  for (const int fd : launch.closed) ::close(fd);
  if (launch.unprivileged && ::geteuid() == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
      ::_exit(126);
  }
  ::execve(argv[0], argv, envp);
  ::_exit(127);
}

}  // namespace

Child::Child(const Launch& launch) {
  std::vector<std::string> env = child_environment(launch.locale);
  // A variable of launch.env takes the place of the one inherited (the first one counts);
  // a name alone removes it.
  const auto name_of = [](const std::string& var) { return var.substr(0, var.find('=')); };
  std::erase_if(env, [&](const std::string& var) {
    return std::any_of(launch.env.begin(), launch.env.end(),
                       [&](const std::string& own) { return name_of(own) == name_of(var); });
  });
  for (const std::string& own : launch.env)
    if (own.find('=') != std::string::npos) env.push_back(own);
  const char* program = launch.program.empty() ? TOVIX_BINARY : launch.program.c_str();
  std::vector<char*> argv{const_cast<char*>(program)};
  for (const std::string& a : launch.args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  int out_pipe[2] = {-1, -1}, err_pipe[2];
  if (launch.stdout_fd < 0 && ::pipe2(out_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  const int null_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int in_fd = launch.stdin_fd >= 0 ? launch.stdin_fd : null_fd;
  const int out_fd = launch.stdout_fd >= 0 ? launch.stdout_fd : out_pipe[1];
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) exec_child(launch, in_fd, out_fd, err_pipe[1], argv.data(), envp.data());
  ::close(null_fd);
  ::close(err_pipe[1]);
  err_fd_ = err_pipe[0];
  if (out_pipe[1] >= 0) ::close(out_pipe[1]);
  out_fd_ = out_pipe[0];
}

Child::~Child() {
  if (!waited_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (out_fd_ >= 0) ::close(out_fd_);
  if (err_fd_ >= 0) ::close(err_fd_);
}

void Child::drain_err(bool block) {
  char buf[4096];
  while (err_fd_ >= 0) {
    pollfd p{err_fd_, POLLIN, 0};
    if (!block && ::poll(&p, 1, 0) <= 0) return;
    const ssize_t n = ::read(err_fd_, buf, sizeof buf);
    if (n <= 0) {
      ::close(err_fd_);
      err_fd_ = -1;
      return;
    }
    err_.append(buf, static_cast<size_t>(n));
  }
}

void Child::read_out(size_t n) {
  char buf[1 << 16];
  size_t got = 0;
  while (out_fd_ >= 0 && (n == 0 || got < n)) {
    drain_err(false);
    const size_t want = n == 0 ? sizeof buf : std::min(sizeof buf, n - got);
    const ssize_t r = ::read(out_fd_, buf, want);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      close_out();
      return;
    }
    out_.append(buf, static_cast<size_t>(r));
    got += static_cast<size_t>(r);
  }
}

bool Child::read_out_until(size_t size, int timeout_ms) {
  char buf[1 << 16];
  timespec start;
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  while (out_fd_ >= 0 && out_.size() < size) {
    drain_err(false);
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const long elapsed =
        (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (elapsed >= timeout_ms) break;
    pollfd p{out_fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::min<long>(timeout_ms - elapsed, 100)));
    if (ready <= 0) continue;
    const ssize_t r = ::read(out_fd_, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      close_out();
      break;
    }
    out_.append(buf, static_cast<size_t>(r));
  }
  return out_.size() >= size;
}

void Child::close_out() {
  if (out_fd_ >= 0) ::close(out_fd_);
  out_fd_ = -1;
}

ChildEnd Child::wait() {
  read_out();
  drain_err(true);
  ChildEnd end;
  int status = 0;
  rusage usage{};
  ::wait4(pid_, &status, 0, &usage);
  waited_ = true;
  if (WIFEXITED(status)) end.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
  end.max_rss_kb = usage.ru_maxrss;
  return end;
}

ChildEnd run_child(const Launch& launch, std::string* out, std::string* err) {
  Child child(launch);
  const ChildEnd end = child.wait();
  if (out != nullptr) *out = child.out();
  if (err != nullptr) *err = child.err();
  return end;
}

std::string open_failed(const std::string& name) {
  // "ファイル:%sのオープンに失敗しました\n"
  return "\x83t\x83@\x83"
         "C\x83\x8B:" +
         name +
         "\x82\xCC\x83I\x81[\x83v\x83\x93\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD\n";
}

std::string input_is_output(const std::string& name) {
  // "ファイル:%sは出力先と同じファイルです\n"
  return "\x83t\x83@\x83"
         "C\x83\x8B:" +
         name +
         "\x82\xCD\x8Fo\x97\xCD\x90\xE6\x82\xC6\x93\xAF\x82\xB6\x83t\x83@\x83"
         "C\x83\x8B\x82\xC5\x82\xB7\n";
}

std::string read_failed(const std::string& name) {
  // "ファイル:%sの読み込みに失敗しました"
  return "\x83t\x83@\x83"
         "C\x83\x8B:" +
         name +
         "\x82\xCC\x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5"
         "\x82\xBD";
}

}  // namespace tovix_test
