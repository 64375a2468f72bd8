// Output seam: raw writes to standard output and standard error.
//
// A platform provides, in output_<platform>.cpp:
//   - output_write: write a whole buffer to standard output or standard error, retrying
//     short writes; the line end is the platform's text form (a platform whose text form
//     is CR LF turns each LF into CR LF here, and nowhere else).
//   - output_is_terminal: whether standard output is an interactive terminal.
//   - output_terminal_is_dumb: whether that terminal cannot take escape sequences.
//   - output_prepare: one-time set-up before the first write (a broken pipe must come
//     back as kBrokenPipe, not end the process).
//   - output_writes_behind, output_write_behind, output_wait_written: writing standard
//     output on a thread of its own while the dump goes on, where a write costs the
//     program real time (a pipe, a file) and the platform has such a thread.
//   - output_hold_standard_slots: at the very start, before anything is opened, fill
//     each standard descriptor that the program was started without, so that no file
//     opened later takes its number (a dumped file on descriptor 1 would be taken for
//     the output) and writes to a closed standard output still fail.
#pragma once

#include <cstddef>

namespace platform {

enum class OutputStream { kStdout, kStderr };

enum class WriteResult {
  kOk,
  kBrokenPipe,  ///< The reader went away: the run ends quietly.
  kFailed,      ///< Anything else (a full disk, an I/O error).
};

/// Fills the standard descriptors the process was started without; first thing in main.
void output_hold_standard_slots();

/// Prepares standard output for writing; called once before the first write.
void output_prepare();

/// Writes all n bytes of data, or reports why it could not.
WriteResult output_write(OutputStream stream, const char* data, size_t n);

/// True when standard output is written behind: it is no terminal and no device (writing
/// to /dev/null costs nothing), and the platform has started a thread to write it.
bool output_writes_behind();

/// Starts writing all n bytes of data to standard output and returns at once; only once
/// output_writes_behind has said yes. The bytes must stay as they are until
/// output_wait_written returns; one write at a time.
void output_write_behind(const char* data, size_t n);

/// Waits until the write begun by output_write_behind is done and tells how it went
/// (kOk when none was begun).
WriteResult output_wait_written();

/// True when standard output is an interactive terminal.
bool output_is_terminal();

/// True when the terminal declares itself unable to take escape sequences.
bool output_terminal_is_dumb();

/// A short description of the last failed write, for the failure message.
const char* output_last_error();

}  // namespace platform
