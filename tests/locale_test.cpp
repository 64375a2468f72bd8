// The code page read off the locale's text, and which variable's text is used.
#include "platform/locale.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Stands for "some single-byte code page the platform knows".
constexpr int kSingleByte = -1;

bool is_single_byte(int code_page) {
  platform::CodePageInfo info;
  return platform::code_page_info(code_page, &info) && info.max_char_size == 1;
}

TEST(CodePageFromLocale, CharsetThenLanguage) {
  struct Case {
    const char* locale;
    int expected;
  } cases[] = {
      // The charset names the code page; case, '-' and '_' do not matter.
      {"ja_JP.SJIS", 932},
      {"ja_JP.sjis@euro", 932},
      {"ja_JP.Shift_JIS", 932},
      {"ja_JP.shift-jis", 932},
      {"ja_JP.CP932", 932},
      {"ja_JP.MS932", 932},
      {"ja_JP.Windows-31J", 932},
      {"en_US.SJIS", 932},
      {"zh_CN.GBK", 936},
      {"zh_CN.gb2312", 936},
      {"zh_CN.GB18030", 936},
      {"zh_CN.EUC-CN", 936},
      {"zh_CN.eucCN", 936},
      {"ja_JP.CP936", 936},
      {"ko_KR.EUC-KR", 949},
      {"ko_KR.euckr", 949},
      {"ko_KR.UHC", 949},
      {"ko_KR.CP949", 949},
      {"zh_TW.Big5", 950},
      {"zh_HK.BIG5-HKSCS", 950},
      {"zh_HK.big5hkscs", 950},
      {"zh_TW.CP950", 950},
      {"ko_KR.JOHAB", 1361},
      {"ko_KR.cp1361", 1361},
      // Known single-byte charsets, whatever the language.
      {"de_DE.ISO-8859-15", kSingleByte},
      {"de_DE.ISO-8859-1", kSingleByte},
      {"de_DE.iso88591", kSingleByte},
      {"ja_JP.ISO8859-1", kSingleByte},
      {"ru_RU.KOI8-R", kSingleByte},
      {"uk_UA.KOI8-U", kSingleByte},
      {"en_US.CP1252", kSingleByte},
      {"en_US.windows-1252", kSingleByte},
      {"pl_PL.Windows-1250", kSingleByte},
      {"ja_JP.windows-31j", 932},
      {"ru_RU.cp1251", kSingleByte},
      {"en_US.ASCII", kSingleByte},
      {"en_US.US-ASCII", kSingleByte},
      {"C.ANSI_X3.4-1968", kSingleByte},
      // No charset that decides: the language does.
      {"C", 932},
      {"POSIX", 932},
      {"", 932},
      {"C.UTF-8", 932},
      {"en_US.UTF-8", 932},
      {"ja_JP", 932},
      {"ja_JP.UTF-8", 932},
      {"ja_JP.eucJP", 932},  // EUC-JP names no code page
      {"de_DE@euro", 932},
      {"zh_CN.UTF-8", 936},
      {"zh_SG", 936},
      {"zh_TW.UTF-8", 950},
      {"zh_HK.utf8", 950},
      {"zh", 932},
      {"ko_KR", 949},
      {"ko_KR.UTF-8", 949},
      {"ko", 949},
      {"en_US.CP1259", 932},  // not a code page of the CP125x family
  };
  for (const Case& c : cases) {
    const int got = platform::code_page_from_locale(c.locale);
    if (c.expected == kSingleByte) {
      EXPECT_TRUE(is_single_byte(got)) << c.locale << " gave " << got;
    } else {
      EXPECT_EQ(got, c.expected) << c.locale;
    }
  }
  EXPECT_EQ(platform::code_page_from_locale(nullptr), 932);
}

TEST(CodePageFromLocale, DoubleByteCodePagesAreNotSingleByte) {
  for (int code_page : {932, 936, 949, 950, 1361}) EXPECT_FALSE(is_single_byte(code_page));
}

// Sets the three locale variables for one test and puts the old values back.
class LocaleEnvironment : public ::testing::Test {
 protected:
  static constexpr const char* kNames[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  void SetUp() override {
    for (int i = 0; i < 3; ++i) {
      const char* v = std::getenv(kNames[i]);
      saved_[i] = v != nullptr ? std::optional<std::string>(v) : std::nullopt;
    }
  }
  void TearDown() override {
    for (int i = 0; i < 3; ++i) set(kNames[i], saved_[i] ? saved_[i]->c_str() : nullptr);
  }
  static void set(const char* name, const char* value) {
    if (value == nullptr) {
      unsetenv(name);
    } else {
      setenv(name, value, 1);
    }
  }

 private:
  std::optional<std::string> saved_[3];
};

TEST_F(LocaleEnvironment, FirstNonEmptyOfLcAllLcCtypeLang) {
  struct Case {
    const char *lc_all, *lc_ctype, *lang;
    int expected;
  } cases[] = {
      {"zh_CN.GBK", "ko_KR", "zh_TW.UTF-8", 936}, {"", "ko_KR", "zh_TW.UTF-8", 949},
      {nullptr, "ko_KR", "zh_TW.UTF-8", 949},     {"", "", "zh_TW.UTF-8", 950},
      {nullptr, nullptr, "zh_TW.UTF-8", 950},     {"", "", "", 932},
      {nullptr, nullptr, nullptr, 932},
  };
  for (const Case& c : cases) {
    set("LC_ALL", c.lc_all);
    set("LC_CTYPE", c.lc_ctype);
    set("LANG", c.lang);
    EXPECT_EQ(platform::system_code_page(), c.expected)
        << (c.lc_all ? c.lc_all : "-") << " " << (c.lc_ctype ? c.lc_ctype : "-") << " "
        << (c.lang ? c.lang : "-");
  }
}

}  // namespace
