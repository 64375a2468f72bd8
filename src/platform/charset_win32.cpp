// A Windows console shows the bytes of its own code page, and the program writes those
// bytes unchanged (display_charset is always empty there): no charset is converted, so
// none is named and no converter opens.
#include "platform/charset.h"

namespace platform {

const char* code_page_charset(int) {
  return nullptr;
}

bool charset_open(Converter* converter, const char*, const char*) {
  converter->handle = nullptr;
  return false;
}

void charset_close(Converter* converter) {
  converter->handle = nullptr;
}

ConvertResult charset_convert(Converter&, const char*, size_t, char*, size_t) {
  ConvertResult result;
  result.status = ConvertStatus::kInvalid;
  return result;
}

}  // namespace platform
