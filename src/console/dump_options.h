// The option settings of a run, filled once from the command line and read by the dump
// engine and the pager for the whole run.
#pragma once

#include <cstdint>

#include "encoding/text_encoding.h"

namespace console {

struct DumpOptions {
  bool japanese_display = true;        ///< -J on, -j off: Shift_JIS pairs shown whole.
  bool pause = true;                   ///< -P on, -p off: prompt after every screenful.
  bool hyphen = true;                  ///< -H on, -h off: "-" after the eighth byte.
  bool highlight_lead = false;         ///< -k: lead bytes in light cyan.
  bool highlight_control = false;      ///< -c: control codes in light magenta.
  bool highlight_newline = false;      ///< -d: CR and LF in yellow.
  bool highlight_jpeg_marker = false;  ///< -m: 0xFF and its code byte in light red.
  bool squeeze = false;                ///< -a: runs of identical lines shown as "*".
  int64_t skip = 0;                    ///< -s: bytes to skip at the start of every file.
  int64_t length = -1;                 ///< -n: most bytes to show after the skip; -1: all.
  /// -e: the text encoding the character column reads the bytes in.
  encoding::TextEncoding encoding = encoding::TextEncoding::kAuto;
};

/// The run's options.
extern DumpOptions g_options;

}  // namespace console
