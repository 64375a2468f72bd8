// The console key tables: which pair of codes a key without a character stands for.
#include <gtest/gtest.h>

#include "console/key_table.h"

namespace {

using console::KeyModifier;

struct PairCase {
  const char* key;
  int scan_code;
  bool enhanced;
  KeyModifier modifier;
  int first, second;
};

TEST(KeyTable, GivesThePairsOfKeysWithoutCharacters) {
  const PairCase cases[] = {
      {"arrow up", 72, true, KeyModifier::kNone, 0xE0, 72},
      {"arrow left", 75, true, KeyModifier::kNone, 0xE0, 75},
      {"arrow right", 77, true, KeyModifier::kNone, 0xE0, 77},
      {"arrow down", 80, true, KeyModifier::kNone, 0xE0, 80},
      {"Page Down", 81, true, KeyModifier::kNone, 0xE0, 81},
      {"keypad 3, Num Lock off", 81, false, KeyModifier::kNone, 0, 81},
      {"keypad 7, Num Lock off", 71, false, KeyModifier::kNone, 0, 71},
      {"F1", 59, false, KeyModifier::kNone, 0, 59},
      {"F10", 68, false, KeyModifier::kNone, 0, 68},
      {"Shift+F1", 59, false, KeyModifier::kShift, 0, 84},
      {"Ctrl+F1", 59, false, KeyModifier::kCtrl, 0, 94},
      {"Alt+F7", 65, false, KeyModifier::kAlt, 0, 110},
      {"Alt+F10", 68, false, KeyModifier::kAlt, 0, 113},
      {"F11", 87, false, KeyModifier::kNone, 0xE0, 133},
      {"Alt+F12", 88, false, KeyModifier::kAlt, 0xE0, 140},
      {"Ctrl+Home", 71, true, KeyModifier::kCtrl, 0xE0, 119},
      {"Shift+Delete", 83, true, KeyModifier::kShift, 0xE0, 83},
      {"Alt+arrow up", 72, true, KeyModifier::kAlt, 0, 152},
      {"Ctrl+keypad 9", 73, false, KeyModifier::kCtrl, 0, 132},
      {"Ctrl+Page Up", 73, true, KeyModifier::kCtrl, 0xE0, 134},
  };
  for (const PairCase& c : cases) {
    const console::KeyPair pair = console::key_pair(c.scan_code, c.enhanced, c.modifier);
    EXPECT_EQ(pair.first, c.first) << c.key;
    EXPECT_EQ(pair.second, c.second) << c.key;
  }
}

TEST(KeyTable, HoldsNoPairForModifiersAndCharacterKeys) {
  const struct {
    const char* key;
    int scan_code;
    bool enhanced;
    KeyModifier modifier;
  } cases[] = {
      {"Shift alone", 42, false, KeyModifier::kShift},
      {"Ctrl alone", 29, false, KeyModifier::kCtrl},
      {"Alt alone", 56, false, KeyModifier::kAlt},
      {"right Ctrl", 29, true, KeyModifier::kCtrl},
      {"Shift+keypad 3 gives a digit", 81, false, KeyModifier::kShift},
      {"Alt+keypad 3 builds a character code", 81, false, KeyModifier::kAlt},
      {"Q", 16, false, KeyModifier::kNone},
      {"enhanced F1 does not exist", 59, true, KeyModifier::kNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(console::key_pair(c.scan_code, c.enhanced, c.modifier).second, 0) << c.key;
  }
}

}  // namespace
