// Charset seam: conversion of text from one charset to another, for the display stage.
//
// A platform provides, in charset_<platform>.cpp:
//   - code_page_charset: the name under which its converter knows a code page's charset,
//     or nullptr when it has none.
//   - charset_open and charset_close: a converter between two charsets named as
//     code_page_charset names them, plus "UTF-8" and "UCS-4LE"; opening fails when the
//     platform cannot convert between them.
//   - charset_convert: converts one piece of text on its own, starting and ending in the
//     charsets' initial shift state, and stops at the first byte it cannot convert.
#pragma once

#include <cstddef>

namespace platform {

/// An open converter; handle is null when none is open.
struct Converter {
  void* handle = nullptr;
};

/// Why charset_convert stopped.
enum class ConvertStatus {
  kDone,        ///< all of the input was converted
  kInvalid,     ///< the input holds a sequence the source charset does not map
  kIncomplete,  ///< the input ends inside a character
  kNoRoom,      ///< the output is full
};

/// What charset_convert did: why it stopped, bytes consumed and bytes produced.
struct ConvertResult {
  ConvertStatus status = ConvertStatus::kDone;
  size_t consumed = 0;
  size_t produced = 0;
};

/// Room that charset_convert keeps at the end of out for the return to the initial state.
inline constexpr size_t kShiftRoom = 8;

/// The converter's name for the charset of code_page, or nullptr when it has none.
const char* code_page_charset(int code_page);

/// Opens a converter from charset from to charset to; false when there is none.
bool charset_open(Converter* converter, const char* to, const char* from);

/// Closes converter if it is open.
void charset_close(Converter* converter);

/// Converts in[0..n) into out[0..cap); whole characters only.
/// REQUIRES: converter is open; cap > kShiftRoom.
ConvertResult charset_convert(Converter& converter, const char* in, size_t n, char* out,
                              size_t cap);

}  // namespace platform
