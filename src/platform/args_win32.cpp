// Windows hands a program one command line; the program splits it itself, with its own
// lead-byte table, so that every double-byte character stays whole whatever the C
// runtime's splitting does.
#include <windows.h>

#include "platform/args.h"

namespace platform {

const char* command_line_text() {
  return GetCommandLineA();
}

}  // namespace platform
