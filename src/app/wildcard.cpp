#include "app/wildcard.h"

namespace app {

size_t expand_file_argument(const char* argument, FileList& list) {
  list.clear();
  list.emplace_back(argument);
  return list.size();
}

}  // namespace app
