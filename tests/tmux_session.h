// A real terminal for end-to-end tests: the program runs in a detached tmux window of a
// fixed size, keys are sent with send-keys and the screen is read back with its colours
// (capture-pane -p -e).
//
// The command runs under a small sh wrapper that records the terminal modes before and
// after it, writes its exit status ($?) to a file, prints an end marker in whatever
// colours the program left behind, and then keeps the window open for inspection. Each
// session has its own tmux server (tmux -L), so tests can run side by side.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tovix_test {

/// Generous for a loaded machine; every wait polls and returns as soon as it can.
inline constexpr int kTmuxTimeoutMs = 20000;

/// The text the wrapper prints once the program has ended.
inline constexpr const char* kEndMarker = "@@END@@";

/// One row of a captured screen. For each byte of text, the colours in force: an SGR
/// colour code (30-37 and 90-97 foreground, 40-47 and 100-107 background) or 0 for the
/// terminal's default, and whether it is bold. Columns equal byte offsets as long as
/// the row is ASCII.
struct ScreenRow {
  std::string text;
  std::vector<int> fg;
  std::vector<int> bg;
  std::vector<bool> bold;
};

/// Splits capture-pane -p -e output into rows, following the SGR state across rows.
std::vector<ScreenRow> parse_screen(const std::string& capture);

/// A single-quoted sh word for text.
std::string sh_quote(const std::string& text);

class TmuxSession {
 public:
  /// True when a tmux program can be run.
  static bool available();

  /// Prepares a session with a width x height window whose programs run with LC_ALL
  /// set to locale; files for the command go into dir() before start.
  explicit TmuxSession(int width = 100, int height = 25, const std::string& locale = "C.UTF-8");
  ~TmuxSession();
  TmuxSession(const TmuxSession&) = delete;
  TmuxSession& operator=(const TmuxSession&) = delete;

  /// Runs command (a sh command line in dir(); TOVIX names the program) in the window.
  /// False, with error() telling why, when the window did not come up at its size.
  bool start(const std::string& command);
  const std::string& error() const { return error_; }

  /// Writes data to the file name in dir().
  void write_file(const std::string& name, const std::string& data) const;
  /// The contents of the file name in dir().
  std::string read_file(const std::string& name) const;

  /// Sends tmux key names ("Space", "Enter", "F1", "M-n", "C-c", "q") in one call.
  void send_keys(const std::vector<std::string>& keys) const;

  /// Makes the window width x height, as a user dragging its edge would (the program
  /// gets SIGWINCH).
  void resize(int width, int height) const;

  /// The visible screen with colour escapes (capture-pane -p -e).
  std::string capture() const;
  /// The visible screen parsed into rows.
  std::vector<ScreenRow> screen() const;
  /// The visible screen as plain text, rows joined by '\n'.
  std::string text() const;

  /// Waits until done holds for the visible screen.
  bool wait_for_screen(const std::function<bool(const std::vector<ScreenRow>&)>& done,
                       int timeout_ms = kTmuxTimeoutMs) const;
  /// Waits until the visible screen contains needle.
  bool wait_for_text(const std::string& needle, int timeout_ms = kTmuxTimeoutMs) const;
  /// Waits until the program in the window reads single keys (the terminal is in raw
  /// mode), so that keys sent next reach it as keys, not as line input or signals.
  bool wait_for_key_read(int timeout_ms = kTmuxTimeoutMs) const;
  /// Waits until the terminal is back in line mode (canonical input with echo).
  bool wait_for_line_mode(int timeout_ms = kTmuxTimeoutMs) const;
  /// Waits for the program to end and the end marker to show; its exit status as the
  /// shell reports it (128 + n after signal n), or nothing on time-out.
  std::optional<int> wait_for_exit(int timeout_ms = kTmuxTimeoutMs) const;
  /// The exit status if the program has ended already.
  std::optional<int> exit_status() const;

  /// True when the terminal shows its cursor.
  bool cursor_visible() const;
  /// True when the terminal modes after the program equal those before it.
  bool modes_restored() const;
  /// The process id of the running program (the wrapper's child), or -1.
  int program_pid() const;
  /// Copies every byte the window is sent from now on, unparsed, to the file name in
  /// dir() (tmux pipe-pane).
  void pipe_output_to(const std::string& name) const;
  /// The scratch directory of the session, for files the command reads or writes.
  const std::string& dir() const { return dir_; }

 private:
  std::string tmux(const std::vector<std::string>& args) const;
  std::string display(const std::string& format) const;
  bool wait_for_mode(bool raw, int timeout_ms) const;

  int width_, height_;
  std::string locale_;
  std::string socket_;
  std::string dir_;
  std::string error_;
  bool started_ = false;
};

}  // namespace tovix_test
