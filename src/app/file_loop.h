// The per-file loop: every name of every file argument gets a header, is opened,
// positioned past the skip, and dumped line by line.
#pragma once

namespace app {

/// Dumps the files that the count arguments stand for, in command-line order.
void dump_file_arguments(int count, char** args);

/// Dumps one file by name: header, open (or the open-failure message), skip, lines.
void dump_file(const char* name);

}  // namespace app
