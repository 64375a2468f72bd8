#include "console/run_end.h"

#include <cstdlib>

#include "console/console.h"
#include "console/output.h"

namespace console {
namespace {
bool g_ending = false;
}  // namespace

bool run_is_ending() {
  return g_ending;
}

void end_run(int code) {
  g_ending = true;
  console_close();
  out_flush();
  std::exit(code);
}

}  // namespace console
