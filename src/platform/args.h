// Argument seam: where the program's arguments come from.
//
// A platform provides command_line_text in args_<platform>.cpp: the whole command line
// as the process received it, on a platform that passes a program one line to split
// (the split then follows app/arguments.h); nullptr where the argument vector that
// main receives is already split by the caller (a POSIX shell).
#pragma once

namespace platform {

/// The unsplit command line, or nullptr when main's argument vector is the one to use.
const char* command_line_text();

}  // namespace platform
