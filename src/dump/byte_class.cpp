#include "dump/byte_class.h"

#include <cstring>

#include "platform/locale.h"

namespace dump {

uint8_t g_multibyte_class[256];

namespace {

struct ByteRange {
  uint8_t first, last;
};

// Up to three inclusive ranges per flag. A range whose first byte is above its last
// sets nothing; kNone pads the lists with one.
struct BuiltinCodePage {
  int code_page;
  ByteRange symbol[3], punct[3], lead[3], trail[3];
};

constexpr ByteRange kNone = {1, 0};

constexpr BuiltinCodePage kBuiltinCodePages[] = {
    {932,
     {{0xA6, 0xDF}, kNone, kNone},
     {{0xA1, 0xA5}, kNone, kNone},
     {{0x81, 0x9F}, {0xE0, 0xFC}, kNone},
     {{0x40, 0x7E}, {0x80, 0xFC}, kNone}},
    {936,
     {kNone, kNone, kNone},
     {kNone, kNone, kNone},
     {{0x81, 0xFE}, kNone, kNone},
     {{0x40, 0xFE}, kNone, kNone}},
    {949,
     {kNone, kNone, kNone},
     {kNone, kNone, kNone},
     {{0x81, 0xFE}, kNone, kNone},
     {{0x41, 0xFE}, kNone, kNone}},
    {950,
     {kNone, kNone, kNone},
     {kNone, kNone, kNone},
     {{0x81, 0xFE}, kNone, kNone},
     {{0x40, 0x7E}, {0xA1, 0xFE}, kNone}},
    {1361,
     {kNone, kNone, kNone},
     {kNone, kNone, kNone},
     {{0x81, 0xD3}, {0xD8, 0xDE}, {0xE0, 0xF9}},
     {{0x31, 0x7E}, {0x81, 0xFE}, kNone}},
};

void set_ranges(const ByteRange (&ranges)[3], uint8_t flag) {
  for (const ByteRange& r : ranges) {
    if (r.first > r.last) continue;
    for (int b = r.first; b <= r.last; ++b) g_multibyte_class[b] |= flag;
  }
}

}  // namespace

void build_byte_classes(int code_page) {
  std::memset(g_multibyte_class, 0, sizeof g_multibyte_class);
  for (const BuiltinCodePage& page : kBuiltinCodePages) {
    if (page.code_page != code_page) continue;
    set_ranges(page.symbol, MB_SYMBOL);
    set_ranges(page.punct, MB_PUNCT);
    set_ranges(page.lead, MB_LEAD);
    set_ranges(page.trail, MB_TRAIL);
    return;
  }
  platform::CodePageInfo info;
  if (!platform::code_page_info(code_page, &info) || info.max_char_size < 2) return;
  for (int i = 0; i + 1 < platform::CodePageInfo::kLeadByteSlots; i += 2) {
    const uint8_t first = info.lead_byte[i], last = info.lead_byte[i + 1];
    if (first == 0 || last == 0) break;
    for (int b = first; b <= last; ++b) g_multibyte_class[b] |= MB_LEAD;
  }
  for (int b = 0x01; b <= 0xFE; ++b) g_multibyte_class[b] |= MB_TRAIL;
}

}  // namespace dump
