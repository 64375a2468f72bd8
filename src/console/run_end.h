// The ways a run ends. Every exit of the program after start-up goes through end_run,
// so the terminal is put back and the output flushed on each of them.
#pragma once

namespace console {

/// Remembers that a file could not be dumped (not opened, or the output itself); the
/// run goes on, and ends with exit code 1 however it ends.
void note_failure();

/// The exit code of a run that would end with code: 1 once a failure was noted.
int exit_code_for(int code);

/// Flushes the output, puts the terminal back (console_close) and exits with
/// exit_code_for(code).
[[noreturn]] void end_run(int code);

/// True once end_run has begun; a failing flush then exits at once instead of recursing.
bool run_is_ending();

}  // namespace console
