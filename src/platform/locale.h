// Locale seam: which code page the dumped text is taken to be in, and which charset the
// reader's display uses.
//
// A platform provides, in locale_<platform>.cpp:
//   - system_code_page: the code page in force (the ANSI code page where the platform
//     has one; derived from the locale's text where it has not).
//   - code_page_info: what the platform knows of a code page: its maximum character size
//     and its lead-byte ranges; false when it does not know the code page.
//   - display_charset: the iconv name of the charset to show text in, or an empty string
//     when the code page's own bytes go out unchanged.
//   - names_in_code_page: whether file names come in the code page in force, so that a
//     lead byte in them takes the byte after it along.
//   - name_charset: the charset file names come in, as code_page_charset names it, or
//     nullptr where they come in the display's charset already.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

/// What the platform knows of a code page.
struct CodePageInfo {
  static constexpr int kLeadByteSlots = 12;
  int max_char_size = 1;
  /// Pairs of first and last lead byte, ended by the first pair holding a 0.
  uint8_t lead_byte[kLeadByteSlots] = {};
};

/// The code page in force for this process.
int system_code_page();

/// Fills info for code_page; false when the platform does not know the code page.
bool code_page_info(int code_page, CodePageInfo* info);

/// The charset text is shown in, as an iconv name; empty for the code page's own bytes.
std::string display_charset(int code_page);

/// True when file names are spelt in code_page.
bool names_in_code_page(int code_page);

/// The charset of file names, or nullptr when they are in the display's charset.
const char* name_charset();

// The rules behind the POSIX answers, exposed for testing.

/// The code page that a locale text (language_TERRITORY.charset@modifier) stands for.
int code_page_from_locale(const char* locale);

/// The display charset for a locale text and the code page in force; empty for raw.
std::string display_charset_from_locale(const char* locale, int code_page);

}  // namespace platform
