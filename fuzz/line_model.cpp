#include "line_model.h"

#include <cstdio>

namespace line_model {
namespace {

bool is_lead(int b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool is_trail(int b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}
bool is_kana(int b) {
  return b >= 0xA1 && b <= 0xDF;
}
bool is_printable(int b) {
  return b >= 0x20 && b <= 0x7E;
}
bool shows_alone(int b) {
  return is_printable(b) || is_kana(b);
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower case is wrong too: the digits are upper case
}

std::string hex2(unsigned v) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
  return buf;
}

std::string fault(const char* what, int position) {
  return std::string(what) + " at position " + std::to_string(position);
}

// The character column with Japanese display off: every position exactly determined.
std::string check_plain_column(const std::string& col, const ExpectedLine& e) {
  if (col.size() != 16) return "plain column is " + std::to_string(col.size()) + " wide";
  for (int j = 0; j < 16; ++j) {
    const int b = e.bytes[j];
    const bool valid = j >= e.first && j <= e.last;
    const char want = !valid ? ' ' : shows_alone(b) ? static_cast<char>(b) : '.';
    if (col[static_cast<size_t>(j)] != want) return fault("wrong plain character", j);
  }
  return "";
}

// The character column with Japanese display on. The pairing decisions are not
// re-derived; what is checked is that everything shown is the line's own bytes in their
// own positions, that nothing unsafe reaches the terminal, and that no byte that could
// be shown was replaced by a dot without a lead byte to explain it.
std::string check_japanese_column(const std::string& col, const ExpectedLine& e, bool trail_in,
                                  bool* trail_out) {
  auto c = [&](int j) { return static_cast<uint8_t>(col[static_cast<size_t>(j)]); };
  auto valid = [&](int j) { return j >= e.first && j <= e.last; };
  *trail_out = false;
  if (col.size() == 17) {
    // A pair cut by the line end: the lead byte in position 15, its trail after it.
    if (e.last != 15 || !valid(15) || !is_lead(e.bytes[15]) || e.look_ahead < 0 ||
        !is_trail(e.look_ahead) || c(15) != e.bytes[15] || c(16) != e.look_ahead)
      return "a 17th position without a pair cut by the line end";
    if (e.first == 15 && trail_in) return "a 17th position after a blanked first byte";
    *trail_out = true;
  } else if (col.size() != 16) {
    return "column is " + std::to_string(col.size()) + " wide";
  }
  const bool dot_moved_to_end = e.last < 15 && e.last >= e.first && is_lead(e.bytes[e.last]) &&
                                !(trail_in && e.first == e.last) && c(e.last) == ' ' &&
                                c(15) == '.';
  for (int j = 0; j < 16; ++j) {
    const uint8_t ch = c(j);
    const int b = e.bytes[j];
    if (!valid(j)) {
      const bool held_lead_dot = j == 15 && dot_moved_to_end && ch == '.';
      if (ch != ' ' && !held_lead_dot) return fault("a blank position shows something", j);
      continue;
    }
    if (ch == ' ') {
      const bool blank_ok =
          b == 0x20 || (j == e.first && trail_in) || (j == e.last && dot_moved_to_end);
      if (!blank_ok) return fault("a byte shown as a blank", j);
      continue;
    }
    if (ch == '.') {
      if (b == '.') continue;
      if (shows_alone(b) && !(j == e.first && trail_in)) {
        // Only the byte after a held lead byte that it cannot complete is swallowed.
        const bool swallowed =
            j - 1 >= e.first && is_lead(e.bytes[j - 1]) && c(j - 1) == '.' && !is_trail(b);
        if (!swallowed) return fault("a showable byte replaced by a dot", j);
      }
      if (is_lead(b) && j < e.last && is_trail(e.bytes[j + 1]) && !(j == e.first && trail_in))
        return fault("a lead byte and its trail shown as dots", j);
      continue;
    }
    if (ch != b) return fault("shows a byte that is not the line's", j);
    if (shows_alone(b)) continue;
    // Any other byte may reach the terminal only as half of a double-byte character.
    const bool lead_of_pair =
        is_lead(b) &&
        ((j + 1 <= e.last && c(j + 1) == e.bytes[j + 1] && is_trail(e.bytes[j + 1])) ||
         (j == 15 && *trail_out));
    const bool trail_of_pair =
        j - 1 >= e.first && is_trail(b) && is_lead(e.bytes[j - 1]) && c(j - 1) == e.bytes[j - 1];
    if (!lead_of_pair && !trail_of_pair) return fault("a raw byte outside a pair", j);
  }
  return "";
}

// A converted column: whatever the file holds, what reaches the terminal is valid
// UTF-8 with no control character (C0, DEL or C1) that could act on the terminal.
std::string check_converted_column(const std::string& col) {
  for (size_t i = 0; i < col.size();) {
    const uint8_t b = static_cast<uint8_t>(col[i]);
    const int length = b < 0x80         ? 1
                       : (b >> 5) == 6  ? 2
                       : (b >> 4) == 14 ? 3
                       : (b >> 3) == 30 ? 4
                                        : 0;
    if (length == 0 || i + static_cast<size_t>(length) > col.size())
      return "not UTF-8 at byte " + std::to_string(i);
    uint32_t c = length == 1 ? b : b & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      const uint8_t next = static_cast<uint8_t>(col[i + static_cast<size_t>(k)]);
      if ((next & 0xC0) != 0x80) return "not UTF-8 at byte " + std::to_string(i);
      c = c << 6 | (next & 0x3F);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
      return "not UTF-8 at byte " + std::to_string(i);
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
      return "a control character reaches the terminal at byte " + std::to_string(i);
    i += static_cast<size_t>(length);
  }
  return "";
}

}  // namespace

std::string check_line(const std::string& whole, const ExpectedLine& e, const Format& format,
                       bool trail_in, bool* trail_out) {
  *trail_out = false;
  // Eight digits, or as many as an offset from 4 GiB on needs; the rest of the line
  // follows them as usual.
  char address[32];
  const int digits = std::snprintf(address, sizeof address, "%08llX  ",
                                   static_cast<unsigned long long>(e.address)) -
                     2;
  const size_t wide = static_cast<size_t>(digits) - 8;
  if (whole.size() < 60 + wide) return "line is too short";
  if (whole.compare(0, static_cast<size_t>(digits) + 2, address) != 0)
    return "address " + whole.substr(0, static_cast<size_t>(digits)) + " where " +
           std::string(address, static_cast<size_t>(digits)) + " was due";
  const std::string text = whole.substr(wide);
  for (int i = 0; i < 16; ++i) {
    const std::string cell = text.substr(10 + 3 * static_cast<size_t>(i), 3);
    const char sep = i == 7 && format.hyphen ? '-' : ' ';
    const bool valid = i >= e.first && i <= e.last;
    const std::string want = (valid ? hex2(e.bytes[i]) : std::string("  ")) + sep;
    if (cell != want) return fault(("hex cell '" + cell + "' not '" + want + "'").c_str(), i);
  }
  if (text.compare(58, 2, "  ") != 0) return "no gap before the character column";
  const std::string col = text.substr(60);
  if (format.converted) return check_converted_column(col);
  if (format.decoded && format.japanese) {
    for (size_t i = 0; i < col.size(); ++i) {
      const uint8_t b = static_cast<uint8_t>(col[i]);
      if (b < 0x20 || b == 0x7F)
        return fault("a control character reaches the terminal", static_cast<int>(i));
    }
    return "";
  }
  if (!format.japanese) return check_plain_column(col, e);
  return check_japanese_column(col, e, trail_in, trail_out);
}

std::vector<ExpectedLine> expected_lines(const std::string& data, uint64_t skip,
                                         const Format& format) {
  std::vector<ExpectedLine> lines;
  const uint64_t size = data.size();
  for (uint64_t row = skip - skip % 16; row < size; row += 16) {
    ExpectedLine e;
    e.address = row;
    e.first = row == skip - skip % 16 ? static_cast<int>(skip % 16) : 0;
    const uint64_t end = row + 16 < size ? row + 16 : size;
    e.last = static_cast<int>(end - row) - 1;
    for (uint64_t k = row; k < end; ++k) e.bytes[k - row] = static_cast<uint8_t>(data[k]);
    e.look_ahead = format.japanese && end < size ? static_cast<uint8_t>(data[end]) : -1;
    lines.push_back(e);
  }
  return lines;
}

std::string check_dump(const std::string& text, const std::string& data, uint64_t skip,
                       const Format& format) {
  const std::vector<ExpectedLine> lines = expected_lines(data, skip, format);
  size_t pos = 0;
  bool trail = false;
  for (size_t n = 0; n < lines.size(); ++n) {
    const size_t end = text.find('\n', pos);
    if (end == std::string::npos) return "line " + std::to_string(n) + " is missing";
    bool trail_out = false;
    const std::string error =
        check_line(text.substr(pos, end - pos), lines[n], format, trail, &trail_out);
    if (!error.empty()) return "line " + std::to_string(n) + ": " + error;
    trail = trail_out;
    pos = end + 1;
  }
  if (pos != text.size()) return "more text after the last line";
  return "";
}

bool read_hex_column(const std::string& text, std::string* bytes, uint32_t* first_address,
                     std::string* error) {
  size_t pos = 0;
  uint32_t due = 0;
  bool ended = false;  // a line with blanks after its data must be the last
  for (int n = 0; pos < text.size(); ++n) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    const std::string where = "line " + std::to_string(n) + ": ";
    if (ended) return *error = where + "follows a short line", false;
    if (line.size() < 60) return *error = where + "too short", false;
    uint32_t address = 0;
    for (int k = 0; k < 8; ++k) {
      const int v = hex_value(line[static_cast<size_t>(k)]);
      if (v < 0) return *error = where + "bad address", false;
      address = address << 4 | static_cast<uint32_t>(v);
    }
    if (n == 0) *first_address = address;
    if (n > 0 && address != due) return *error = where + "address out of step", false;
    due = address + 16;
    bool seen_data = false, seen_blank_after = false;
    for (int i = 0; i < 16; ++i) {
      const size_t at = 10 + 3 * static_cast<size_t>(i);
      if (line[at] == ' ' && line[at + 1] == ' ') {
        if (seen_data) seen_blank_after = true;
        if (!seen_data && n > 0) return *error = where + "blank before data", false;
        continue;
      }
      const int hi = hex_value(line[at]), lo = hex_value(line[at + 1]);
      if (hi < 0 || lo < 0 || seen_blank_after) return *error = where + "bad hex cell", false;
      seen_data = true;
      bytes->push_back(static_cast<char>(hi << 4 | lo));
    }
    if (seen_blank_after || !seen_data) ended = true;
  }
  return true;
}

}  // namespace line_model
