// The per-file loop: every name of every file argument gets a header, is opened,
// positioned past the skip, and dumped line by line.
#pragma once

namespace app {

/// Dumps the files that the count arguments stand for, in command-line order; with no
/// argument, standard input.
void dump_file_arguments(int count, char** args);

/// Dumps standard input under the header "(標準入力)", live as it arrives.
void dump_standard_input();

/// Dumps one file by name: header, open (or the open-failure message), skip, lines.
void dump_file(const char* name);

}  // namespace app
