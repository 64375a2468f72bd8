// The tables behind the console's two-code keys. Keys of the keypad and the cursor
// block share their scan codes; the grey cursor keys carry the enhanced flag and answer
// with 0xE0 first, the keypad keys (Num Lock off) with 0.
#include "console/key_table.h"

namespace console {
namespace {

constexpr int kExtended = 0xE0;

// Second codes per modifier column: none, Shift, Ctrl, Alt. 0 means no pair.
struct KeyRow {
  int scan_code;
  int second[4];
};

// Function keys; F1 to F10 answer with 0 first, F11 and F12 with 0xE0.
constexpr KeyRow kFunctionKeys[] = {
    {59, {59, 84, 94, 104}},  {60, {60, 85, 95, 105}},    {61, {61, 86, 96, 106}},
    {62, {62, 87, 97, 107}},  {63, {63, 88, 98, 108}},    {64, {64, 89, 99, 109}},
    {65, {65, 90, 100, 110}}, {66, {66, 91, 101, 111}},   {67, {67, 92, 102, 112}},
    {68, {68, 93, 103, 113}}, {87, {133, 135, 137, 139}}, {88, {134, 136, 138, 140}},
};

// The keypad with Num Lock off: Home, Up, PgUp, Left, 5, Right, End, Down, PgDn, Ins,
// Del. With Shift they give their digits as characters, and with Alt nothing.
constexpr KeyRow kKeypad[] = {
    {71, {71, 0, 119, 0}}, {72, {72, 0, 141, 0}}, {73, {73, 0, 132, 0}}, {75, {75, 0, 115, 0}},
    {76, {76, 0, 143, 0}}, {77, {77, 0, 116, 0}}, {79, {79, 0, 117, 0}}, {80, {80, 0, 145, 0}},
    {81, {81, 0, 118, 0}}, {82, {82, 0, 146, 0}}, {83, {83, 0, 147, 0}},
};

// The grey cursor block: 0xE0 first, except with Alt, where the pair begins with 0.
constexpr KeyRow kCursorBlock[] = {
    {71, {71, 71, 119, 151}}, {72, {72, 72, 141, 152}}, {73, {73, 73, 134, 153}},
    {75, {75, 75, 115, 155}}, {77, {77, 77, 116, 157}}, {79, {79, 79, 117, 159}},
    {80, {80, 80, 145, 160}}, {81, {81, 81, 118, 161}}, {82, {82, 82, 146, 162}},
    {83, {83, 83, 147, 163}},
};

template <int N>
const KeyRow* find_row(const KeyRow (&rows)[N], int scan_code) {
  for (const KeyRow& row : rows) {
    if (row.scan_code == scan_code) return &row;
  }
  return nullptr;
}

}  // namespace

KeyPair key_pair(int scan_code, bool enhanced, KeyModifier modifier) {
  const int column = static_cast<int>(modifier);
  if (enhanced) {
    const KeyRow* row = find_row(kCursorBlock, scan_code);
    if (row == nullptr) return {};
    return {modifier == KeyModifier::kAlt ? 0 : kExtended, row->second[column]};
  }
  if (const KeyRow* row = find_row(kFunctionKeys, scan_code)) {
    return {scan_code >= 87 ? kExtended : 0, row->second[column]};
  }
  if (const KeyRow* row = find_row(kKeypad, scan_code)) return {0, row->second[column]};
  return {};
}

}  // namespace console
