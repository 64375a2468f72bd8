// Whether the user has asked for no colour: the NO_COLOR convention, which many
// command-line tools honour. Read once by each platform's console_open.
#include <cstdlib>

#include "console/console.h"

namespace console {

bool colour_refused() {
  const char* value = std::getenv("NO_COLOR");
  return value != nullptr && *value != '\0';
}

}  // namespace console
