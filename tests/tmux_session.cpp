#include "tmux_session.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tovix_test {
namespace {

constexpr int kPollMs = 20;

// Runs argv (looked up in PATH) with standard input from /dev/null; its standard output,
// or nothing when it could not be started or failed.
std::optional<std::string> run_capture(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int out[2];
  if (pipe(out) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, out[1]);
  pid_t pid;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (failed != 0) {
    close(out[0]);
    return std::nullopt;
  }
  std::string text;
  char buf[8192];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) != 0;) {
    if (n < 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return text;
}

bool poll_until(int timeout_ms, const auto& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
}

// An SGR parameter list applied to fg, bg and bold.
void apply_sgr(const std::string& params, int& fg, int& bg, bool& bold) {
  std::vector<int> p;
  std::stringstream in(params);
  for (std::string item; std::getline(in, item, ';');)
    p.push_back(item.empty() ? 0 : std::stoi(item));
  if (p.empty()) p.push_back(0);
  for (const int v : p) {
    if (v == 0) {
      fg = bg = 0;
      bold = false;
    } else if (v == 1) {
      bold = true;
    } else if (v == 22) {
      bold = false;
    } else if ((v >= 30 && v <= 37) || (v >= 90 && v <= 97)) {
      fg = v;
    } else if (v == 39) {
      fg = 0;
    } else if ((v >= 40 && v <= 47) || (v >= 100 && v <= 107)) {
      bg = v;
    } else if (v == 49) {
      bg = 0;
    }
  }
}

}  // namespace

std::vector<ScreenRow> parse_screen(const std::string& capture) {
  std::vector<ScreenRow> rows(1);
  int fg = 0, bg = 0;
  bool bold = false;
  for (size_t i = 0; i < capture.size(); ++i) {
    const char c = capture[i];
    if (c == '\n') {
      rows.emplace_back();
      continue;
    }
    if (c != '\x1b') {
      rows.back().text += c;
      rows.back().fg.push_back(fg);
      rows.back().bg.push_back(bg);
      rows.back().bold.push_back(bold);
      continue;
    }
    if (i + 1 < capture.size() && capture[i + 1] == '[') {
      size_t end = i + 2;
      while (end < capture.size() && !(capture[end] >= 0x40 && capture[end] <= 0x7E)) ++end;
      if (end < capture.size() && capture[end] == 'm')
        apply_sgr(capture.substr(i + 2, end - i - 2), fg, bg, bold);
      i = end;
    } else if (i + 1 < capture.size() && capture[i + 1] == ']') {
      size_t end = i + 2;  // OSC: up to BEL or ESC backslash
      while (end < capture.size() && capture[end] != '\a' && capture[end] != '\x1b') ++end;
      i = end < capture.size() && capture[end] == '\x1b' ? end + 1 : end;
    } else {
      ++i;
    }
  }
  if (rows.back().text.empty()) rows.pop_back();
  return rows;
}

std::string sh_quote(const std::string& text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool TmuxSession::available() {
  static const bool found = run_capture({"tmux", "-V"}).has_value();
  return found;
}

TmuxSession::TmuxSession(int width, int height, const std::string& locale)
    : width_(width), height_(height), locale_(locale) {
  static std::atomic<int> counter{0};
  std::string templ = (std::filesystem::temp_directory_path() / "tovix-tmux-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) {
    error_ = "mkdtemp failed";
    return;
  }
  dir_ = templ;
  socket_ = "tovix-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

bool TmuxSession::start(const std::string& command) {
  if (dir_.empty()) return false;
  std::ofstream script(dir_ + "/run.sh");
  script << "unset LANG LANGUAGE LC_CTYPE LC_MESSAGES TMUX\n"
         << "export LC_ALL=" << sh_quote(locale_) << "\n"
         << "TOVIX=" << sh_quote(TOVIX_BINARY) << "\n"
         << "cd " << sh_quote(dir_) << "\n"
         << "ulimit -c 0\n"
         << "stty -g > modes.before\n"
         // The wrapper outlives Ctrl+C; the program, started afresh, gets the default.
         << "trap : INT\n"
         << command << "\n"
         << "status=$?\n"
         << "stty -g > modes.after\n"
         << "printf '%s' '" << kEndMarker << "'\n"
         << "echo $status > status.part && mv status.part status\n"
         << "exec sleep 3600\n";
  script.close();

  const std::string w = std::to_string(width_), h = std::to_string(height_);
  if (!run_capture({"tmux", "-L", socket_, "-f", "/dev/null", "new-session", "-d", "-s", "t", "-x",
                    w, "-y", h, "sh " + sh_quote(dir_ + "/run.sh")})) {
    error_ = "tmux new-session failed";
    return false;
  }
  started_ = true;
  tmux({"set-option", "-t", "t", "status", "off"});
  const std::string size = display("#{pane_width}x#{pane_height}");
  if (size != w + "x" + h) error_ = "pane size " + size + ", not " + w + "x" + h;
  return error_.empty();
}

void TmuxSession::write_file(const std::string& name, const std::string& data) const {
  std::ofstream(dir_ + "/" + name, std::ios::binary) << data;
}

TmuxSession::~TmuxSession() {
  if (started_) run_capture({"tmux", "-L", socket_, "kill-server"});
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

std::string TmuxSession::tmux(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{"tmux", "-L", socket_};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_capture(argv).value_or("");
}

std::string TmuxSession::display(const std::string& format) const {
  std::string out = tmux({"display-message", "-p", "-t", "t", format});
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string TmuxSession::read_file(const std::string& name) const {
  std::ifstream in(dir_ + "/" + name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void TmuxSession::resize(int width, int height) const {
  tmux({"resize-window", "-t", "t", "-x", std::to_string(width), "-y", std::to_string(height)});
  // tmux sets the terminal's size a little later: the program must find it set when
  // the next key arrives.
  const std::string tty = display("#{pane_tty}");
  poll_until(kTmuxTimeoutMs, [&] {
    const int fd = ::open(tty.c_str(), O_RDONLY | O_NOCTTY);
    if (fd < 0) return false;
    struct winsize ws {};
    const bool done =
        ::ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_row == height && ws.ws_col == width;
    ::close(fd);
    return done;
  });
}

void TmuxSession::send_keys(const std::vector<std::string>& keys) const {
  std::vector<std::string> args{"send-keys", "-t", "t"};
  args.insert(args.end(), keys.begin(), keys.end());
  tmux(args);
}

std::string TmuxSession::capture() const {
  return tmux({"capture-pane", "-p", "-e", "-t", "t"});
}

std::vector<ScreenRow> TmuxSession::screen() const {
  return parse_screen(capture());
}

std::string TmuxSession::text() const {
  std::string all;
  for (const ScreenRow& row : screen()) all += row.text + "\n";
  return all;
}

bool TmuxSession::wait_for_screen(const std::function<bool(const std::vector<ScreenRow>&)>& done,
                                  int timeout_ms) const {
  return poll_until(timeout_ms, [&] { return done(screen()); });
}

bool TmuxSession::wait_for_text(const std::string& needle, int timeout_ms) const {
  return poll_until(timeout_ms, [&] { return text().find(needle) != std::string::npos; });
}

bool TmuxSession::wait_for_mode(bool raw, int timeout_ms) const {
  const std::string tty = display("#{pane_tty}");
  const int fd = open(tty.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  const bool reached = poll_until(timeout_ms, [&] {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    const tcflag_t line = t.c_lflag & (ICANON | ECHO);
    return raw ? line == 0 : line == (ICANON | ECHO);
  });
  close(fd);
  return reached;
}

bool TmuxSession::wait_for_key_read(int timeout_ms) const {
  return wait_for_mode(true, timeout_ms);
}

bool TmuxSession::wait_for_line_mode(int timeout_ms) const {
  return wait_for_mode(false, timeout_ms);
}

std::optional<int> TmuxSession::exit_status() const {
  const std::string s = read_file("status");
  if (s.empty()) return std::nullopt;
  return std::atoi(s.c_str());
}

std::optional<int> TmuxSession::wait_for_exit(int timeout_ms) const {
  if (!poll_until(timeout_ms, [&] { return exit_status().has_value(); })) return std::nullopt;
  if (!wait_for_text(kEndMarker, timeout_ms)) return std::nullopt;
  return exit_status();
}

bool TmuxSession::cursor_visible() const {
  return display("#{cursor_flag}") == "1";
}

bool TmuxSession::modes_restored() const {
  const std::string before = read_file("modes.before");
  return !before.empty() && before == read_file("modes.after");
}

void TmuxSession::pipe_output_to(const std::string& name) const {
  tmux({"pipe-pane", "-o", "-t", "t", "cat >> " + sh_quote(dir_ + "/" + name)});
}

int TmuxSession::program_pid() const {
  const std::string shell = display("#{pane_pid}");
  const std::string program = std::filesystem::path(TOVIX_BINARY).filename().string().substr(0, 15);
  // A child of the wrapper: the program itself when it runs as one (a background job
  // shares the wrapper with its sleeps), else the one child that is not the final sleep.
  int any_child = -1;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    std::getline(stat, line);
    const size_t open_paren = line.find('(');
    const size_t close_paren = line.rfind(')');
    if (open_paren == std::string::npos || close_paren == std::string::npos) continue;
    std::istringstream rest(line.substr(close_paren + 2));
    std::string state, ppid;
    rest >> state >> ppid;
    if (ppid != shell) continue;
    if (line.substr(open_paren + 1, close_paren - open_paren - 1) == program)
      return std::atoi(name.c_str());
    if (any_child < 0) any_child = std::atoi(name.c_str());
  }
  return any_child;
}

}  // namespace tovix_test
