// POSIX conversion is iconv (glibc's gconv modules), under the names iconv uses.
#include <iconv.h>
#include <cerrno>

#include "platform/charset.h"

namespace platform {
namespace {

// Code pages 28591..28606 are ISO-8859-1..16; 1250..1258 are the Windows pages.
constexpr const char* kIso8859[] = {"ISO-8859-1",  "ISO-8859-2",  "ISO-8859-3",  "ISO-8859-4",
                                    "ISO-8859-5",  "ISO-8859-6",  "ISO-8859-7",  "ISO-8859-8",
                                    "ISO-8859-9",  "ISO-8859-10", "ISO-8859-11", "ISO-8859-12",
                                    "ISO-8859-13", "ISO-8859-14", "ISO-8859-15", "ISO-8859-16"};
constexpr const char* kWindows125x[] = {"CP1250", "CP1251", "CP1252", "CP1253", "CP1254",
                                        "CP1255", "CP1256", "CP1257", "CP1258"};

iconv_t handle_of(const Converter& converter) {
  return static_cast<iconv_t>(converter.handle);
}

}  // namespace

const char* code_page_charset(int code_page) {
  switch (code_page) {
    // glibc's CP932 keeps 0x5C and 0x7E as ASCII, which its SHIFT_JIS does not.
    case 932:
      return "CP932";
    case 936:
      return "CP936";
    case 949:
      return "CP949";
    case 950:
      return "CP950";
    case 1361:
      return "JOHAB";
    case 20127:
      return "ANSI_X3.4-1968";
    case 20866:
      return "KOI8-R";
    case 21866:
      return "KOI8-U";
    default:
      break;
  }
  // ISO-8859-12 never existed; iconv_open fails for it and the caller shows no conversion.
  if (code_page >= 28591 && code_page <= 28606) return kIso8859[code_page - 28591];
  if (code_page >= 1250 && code_page <= 1258) return kWindows125x[code_page - 1250];
  return nullptr;
}

bool charset_open(Converter* converter, const char* to, const char* from) {
  charset_close(converter);
  const iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  converter->handle = cd;
  return true;
}

void charset_close(Converter* converter) {
  if (converter->handle == nullptr) return;
  iconv_close(handle_of(*converter));
  converter->handle = nullptr;
}

ConvertResult charset_convert(Converter& converter, const char* in, size_t n, char* out,
                              size_t cap) {
  const iconv_t cd = handle_of(converter);
  // Each piece stands on its own: start from the initial state, whatever came before.
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in_at = const_cast<char*>(in);  // iconv's signature; it does not write the input
  size_t in_left = n;
  char* out_at = out;
  size_t out_left = cap - kShiftRoom;
  ConvertResult result;
  if (iconv(cd, &in_at, &in_left, &out_at, &out_left) == static_cast<size_t>(-1)) {
    result.status = errno == EILSEQ   ? ConvertStatus::kInvalid
                    : errno == EINVAL ? ConvertStatus::kIncomplete
                                      : ConvertStatus::kNoRoom;
  }
  // A stateful target (ISO-2022-JP) must end the piece back in its initial state.
  out_left += kShiftRoom;
  iconv(cd, nullptr, nullptr, &out_at, &out_left);
  result.consumed = n - in_left;
  result.produced = static_cast<size_t>(out_at - out);
  return result;
}

}  // namespace platform
