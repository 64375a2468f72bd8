// File seam: opening, reading and closing the files that are dumped.
//
// A platform provides, in file_<platform>.cpp:
//   - file_open: open a file by name for reading; a directory or anything that cannot
//     be read as a byte stream counts as a failed open. Opened as a file only (a
//     wildcard's match), the open never waits and anything but a regular file is
//     closed again and told apart from a failed open.
//   - file_open_may_wait: whether opening the name as given may wait (for a FIFO's
//     writer, a device's readiness), so that what was written before is shown first.
//   - file_read: read up to n bytes at the current position; the count read, 0 at the
//     end of the input, negative on failure. A short count does not mean the end.
//   - file_size: the size of a regular file, 0 when the input has no known size (a
//     pipe, a terminal, a character device).
//   - file_seek_forward: move forward n bytes when the input can seek; false when it
//     cannot (the caller then reads and discards instead).
//   - file_is_output: whether an open file is the very file that standard output
//     writes to (standard output a regular file, and the same file on the same device).
//   - file_is_live: whether the input arrives over time (a pipe, a FIFO, a socket, a
//     terminal, a device) rather than lying complete on a disk.
//   - file_read_ready: for live input, whether a read would return at once (with bytes,
//     the end of the input or a failure) rather than wait for the other end.
//   - file_close.
//   - file_open_standard_input: a handle of its own on standard input, which file_close
//     closes without closing standard input itself.
//   - standard_input_is_terminal: whether standard input is an interactive terminal.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

/// An open file, or kInvalidFile.
using FileHandle = intptr_t;
inline constexpr FileHandle kInvalidFile = -1;

/// Returned by a file-only open when the name leads to something other than a file.
inline constexpr FileHandle kNotAFile = -2;

/// How a name is opened: as the user gave it (a FIFO waits for its writer), or as a
/// wildcard's match, which may have been replaced by a FIFO or a device since it was
/// found, and is taken only while it is a regular file.
enum class OpenAs { kNamed, kFileOnly };

/// Opens the named file for reading; kInvalidFile when it cannot be opened or is a
/// directory, kNotAFile when opened as kFileOnly and not a regular file.
FileHandle file_open(const char* name, OpenAs as = OpenAs::kNamed);

/// True when opening name as given may wait, or when that cannot be told.
bool file_open_may_wait(const char* name);

/// Reads up to n bytes; returns the count, 0 at the end of the input, negative on failure.
ptrdiff_t file_read(FileHandle file, void* buffer, size_t n);

/// The size in bytes of a regular file; 0 when the input has no size of its own.
uint64_t file_size(FileHandle file);

/// Moves the position n bytes forward when the input can seek; false otherwise.
bool file_seek_forward(FileHandle file, uint64_t n);

/// True when standard output is a regular file and file is that same file, so that
/// dumping it would append the dump to its own input.
bool file_is_output(FileHandle file);

/// True when the input is live: its bytes arrive over time, so a read may wait.
bool file_is_live(FileHandle file);

/// True when a read of live input would not wait; false when it would, or when that
/// cannot be told (the caller then treats the read as one that may wait).
bool file_read_ready(FileHandle file);

/// Closes the file.
void file_close(FileHandle file);

/// Opens standard input for reading as a file of its own; kInvalidFile when it is closed.
FileHandle file_open_standard_input();

/// True when standard input is an interactive terminal (or console).
bool standard_input_is_terminal();

}  // namespace platform

namespace platform {

/// True where '/' begins an absolute path, so that an argument starting with it is a
/// file name unless it can only be a group of option letters.
bool slash_is_path_root();

}  // namespace platform
