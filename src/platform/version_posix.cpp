// POSIX executables carry no version resource: the version is the one the build set,
// compiled in as TOVIX_VERSION.
#include "platform/version.h"

namespace platform {

std::string file_version(const char* program_name) {
  if (program_name == nullptr || *program_name == '\0') return "";
  return TOVIX_VERSION;
}

}  // namespace platform
