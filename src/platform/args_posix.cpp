// The shell splits the command line on POSIX; the argument vector is used as it is.
#include "platform/args.h"

namespace platform {

const char* command_line_text() {
  return nullptr;
}

}  // namespace platform
