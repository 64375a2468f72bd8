// The ways a run ends. Every exit of the program after start-up goes through end_run,
// so the terminal is put back and the output flushed on each of them.
#pragma once

namespace console {

/// Flushes the output, puts the terminal back (console_close) and exits with code.
[[noreturn]] void end_run(int code);

/// True once end_run has begun; a failing flush then exits at once instead of recursing.
bool run_is_ending();

}  // namespace console
