#include "console/run_end.h"

#include <cstdlib>

#include "console/console.h"
#include "console/output.h"

namespace console {
namespace {

struct RunEnd {
  bool ending = false;
  bool failed = false;  // a file was passed over because it could not be dumped
};
RunEnd g_run_end;

}  // namespace

void note_failure() {
  g_run_end.failed = true;
}

int exit_code_for(int code) {
  return code == 0 && g_run_end.failed ? 1 : code;
}

bool run_is_ending() {
  return g_run_end.ending;
}

void end_run(int code) {
  g_run_end.ending = true;
  console_close();
  out_drain();
  std::exit(exit_code_for(code));
}

}  // namespace console
