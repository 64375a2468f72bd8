// The dump engine set up in-process for code page 932 with the column unconverted and no
// pauses, for tests that drive the reader and the line writer themselves. The options
// the test found are put back when it ends.
#pragma once

#include "console/display_encoding.h"
#include "console/dump_options.h"
#include "dump/byte_class.h"
#include "dump/japanese.h"
#include "dump/line_format.h"

namespace tovix_test {

class RawEngine {
 public:
  RawEngine() : saved_(console::g_options) {
    dump::build_byte_classes(932);
    console::display_setup(932, "");
    dump::char_column_setup();
    dump::line_format_setup();
    console::g_options = console::DumpOptions{};
    console::g_options.pause = false;
  }
  ~RawEngine() { console::g_options = saved_; }
  RawEngine(const RawEngine&) = delete;
  RawEngine& operator=(const RawEngine&) = delete;

 private:
  console::DumpOptions saved_;
};

}  // namespace tovix_test
