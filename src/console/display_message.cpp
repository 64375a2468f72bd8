// Messages are few and short: they go through the converter whole (into UTF-8, through the
// program's own CP932 table instead), never through the character column's tables, so they
// come out exactly as their Unicode text.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "console/display_encoding.h"
#include "console/display_message.h"
#include "console/output.h"
#include "encoding/text_encoding.h"
#include "platform/charset.h"
#include "text/messages.h"

namespace console {
namespace {

constexpr size_t kCharsetNameSize = 64;

struct MessageDisplay {
  bool raw = true;
  char charset[kCharsetNameSize] = {};
  platform::Converter converter;  // code page 932 -> charset, opened on first use
  bool tried = false;
  bool utf8 = false;  // spelt through the program's own CP932 table, without the converter
  bool unconvertible_told = false;  // report_unconvertible has spoken
};
MessageDisplay g_messages;

// File names, where they come in another charset than the display's (Windows: the
// ANSI code page, whatever the console shows).
struct NameDisplay {
  platform::Converter converter;
};
NameDisplay g_names;

// A message write may end between a lead byte and its trail byte; the lead byte waits
// here for the next message write.
struct MessageCarry {
  char lead = 0;
};
MessageCarry g_message_carry;

bool is_message_lead(uint8_t b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool is_message_trail(uint8_t b) {
  return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

bool is_ascii(const char* text, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (static_cast<uint8_t>(text[i]) >= 0x80) return false;
  return true;
}

// Converts CP932 text into UTF-8 through the program's own table, as the converter
// would: whole characters only, the last kShiftRoom bytes of out left free.
platform::ConvertResult convert_cp932_to_utf8(const char* in, size_t n, char* out, size_t cap) {
  platform::ConvertResult r;
  const size_t room = cap - platform::kShiftRoom;
  while (r.consumed < n) {
    const uint8_t b = static_cast<uint8_t>(in[r.consumed]);
    size_t length = 1;
    char32_t cp = encoding::cp932_single_char(b);
    if (is_message_lead(b)) {
      if (r.consumed + 1 == n) {
        r.status = platform::ConvertStatus::kIncomplete;
        break;
      }
      length = 2;
      cp = encoding::cp932_pair_char(b, static_cast<uint8_t>(in[r.consumed + 1]));
    }
    if (cp == 0 && b != 0) {
      r.status = platform::ConvertStatus::kInvalid;
      break;
    }
    char spelt[encoding::kMaxCharBytes];
    const size_t produced = encoding::encode_utf8(cp, spelt);
    if (room - r.produced < produced) {
      r.status = platform::ConvertStatus::kNoRoom;
      break;
    }
    std::memcpy(out + r.produced, spelt, produced);
    r.consumed += length;
    r.produced += produced;
  }
  return r;
}

bool converter_ready() {
  if (g_messages.utf8) return true;
  if (!g_messages.tried) {
    g_messages.tried = true;
    const char* from = platform::code_page_charset(kMessageCodePage);
    if (!platform::charset_open(&g_messages.converter, g_messages.charset, from))
      report_unconvertible(from, g_messages.charset, "messages show ? for each character");
  }
  return g_messages.converter.handle != nullptr;
}

// Converts message text into out[0..cap); a character that cannot be converted shows as
// '?'. Stops before a lead byte that ends the text, and returns in *used the bytes
// consumed. REQUIRES: cap > kShiftRoom + 1.
size_t convert_message(const char* text, size_t n, char* out, size_t cap, size_t* used) {
  size_t i = 0, len = 0;
  const bool ready = converter_ready();
  while (i < n && cap - len > platform::kShiftRoom + 1) {
    platform::ConvertResult r;
    r.status = platform::ConvertStatus::kInvalid;
    // One byte is kept back for the '?' of a character that cannot be converted.
    if (g_messages.utf8) {
      r = convert_cp932_to_utf8(text + i, n - i, out + len, cap - len - 1);
    } else if (ready) {
      r = platform::charset_convert(g_messages.converter, text + i, n - i, out + len,
                                    cap - len - 1);
    }
    i += r.consumed;
    len += r.produced;
    if (r.status == platform::ConvertStatus::kNoRoom ||
        r.status == platform::ConvertStatus::kIncomplete)
      break;
    if (r.status != platform::ConvertStatus::kInvalid) continue;
    const uint8_t b = static_cast<uint8_t>(text[i]);
    if (b < 0x80) {
      out[len++] = text[i++];  // ASCII needs no converter
      continue;
    }
    if (is_message_lead(b) && i + 1 == n) break;  // its trail byte comes later
    // The '?' stands for the whole character: a lead byte takes its trail byte along.
    const bool pair = is_message_lead(b) && is_message_trail(static_cast<uint8_t>(text[i + 1]));
    out[len++] = '?';
    i += pair ? 2 : 1;
  }
  *used = std::min(i, n);
  return len;
}

}  // namespace

void message_display_setup(const char* charset) {
  platform::charset_close(&g_messages.converter);
  g_messages = MessageDisplay{};
  g_message_carry = MessageCarry{};
  if (charset == nullptr || std::strlen(charset) >= kCharsetNameSize) return;
  std::strcpy(g_messages.charset, charset);
  g_messages.raw = false;
  g_messages.utf8 = encoding::is_utf8_name(charset);
}

void name_display_setup(const char* from, const char* to) {
  platform::charset_close(&g_names.converter);
  if (from == nullptr || to == nullptr || std::strcmp(from, to) == 0) return;
  platform::charset_open(&g_names.converter, to, from);
}

std::string display_name(const char* name, size_t n) {
  if (g_names.converter.handle == nullptr) return std::string(name, n);
  std::string shown;
  char out[256];
  size_t i = 0;
  while (i < n) {
    const platform::ConvertResult r =
        platform::charset_convert(g_names.converter, name + i, n - i, out, sizeof out);
    shown.append(out, r.produced);
    i += r.consumed;
    // A byte that is no character of the names' charset, or one the display cannot
    // show, stands as '?'; so does a lead byte that ends the name.
    if (r.status == platform::ConvertStatus::kInvalid ||
        r.status == platform::ConvertStatus::kIncomplete) {
      shown += '?';
      ++i;
    }
  }
  return shown;
}

void report_unconvertible(const char* from, const char* to, const char* shown) {
  if (g_messages.unconvertible_told) return;
  g_messages.unconvertible_told = true;  // the message below may meet the same failure
  // The charset names come from the locale: only their printable ASCII is shown.
  std::string detail;
  for (const char* name : {from != nullptr ? from : "?", " -> ", to}) {
    for (const char* c = name; *c != '\0'; ++c) detail += *c >= 0x20 && *c < 0x7F ? *c : '?';
  }
  detail = detail + "; " + shown;
  err_message(text::kConversionUnavailableMessage, detail.c_str());
}

void display_write_message(const char* text, size_t n) {
  if (g_messages.raw || (g_message_carry.lead == 0 && is_ascii(text, n))) {
    out_raw(text, n);
    return;
  }
  if (g_message_carry.lead != 0 && n > 0) {
    // The held lead byte and the first byte of this write make one character.
    const char unit[2] = {g_message_carry.lead, text[0]};
    g_message_carry.lead = 0;
    size_t used = 0;
    char* p = out_reserve(kMaxReserve);
    out_commit(p + convert_message(unit, 2, p, kMaxReserve, &used));
    const size_t from_text = used > 0 ? used - 1 : 0;
    text += from_text;
    n -= from_text;
  }
  while (n > 0) {
    size_t used = 0;
    char* p = out_reserve(kMaxReserve);
    out_commit(p + convert_message(text, n, p, kMaxReserve, &used));
    if (used == 0) {
      if (n == 1) g_message_carry.lead = text[0];  // a lead byte waiting for its trail
      break;
    }
    text += used;
    n -= used;
  }
}

size_t display_convert_message_to(const char* text, size_t n, char* out, size_t cap) {
  if (g_messages.raw) {
    const size_t len = std::min(n, cap);
    std::memcpy(out, text, len);
    return len;
  }
  if (cap <= platform::kShiftRoom + 1) return 0;
  size_t used = 0;
  return convert_message(text, n, out, cap, &used);
}

}  // namespace console
