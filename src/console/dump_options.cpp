#include "console/dump_options.h"

namespace console {

DumpOptions g_options;

}  // namespace console
