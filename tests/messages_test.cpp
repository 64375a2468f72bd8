#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "display_text.h"
#include "text/messages.h"

namespace {

TEST(Messages, ConvertToExactlyTheirUnicodeText) {
  struct Case {
    const char* sjis;
    const char* unicode;
  } cases[] = {
      {text::kOpenFailedFormat, "ファイル:%sのオープンに失敗しました\n"},
      {text::kInputIsOutputFormat, "ファイル:%sは出力先と同じファイルです\n"},
      {text::kReadFailedFormat, "ファイル:%sの読み込みに失敗しました"},
      {text::kWriteFailedMessage, "標準出力への書き込みに失敗しました"},
      {text::kOutOfMemoryMessage, "メモリが足りません"},
      {text::kConversionUnavailableMessage, "文字コードを表示用に変換できません"},
      {text::kUsageText, tovix_test::kUsageUnicode},
      {text::kStandardInputName, "(標準入力)"},
      {text::kUnknownOptionMessage, "不明なオプションです"},
      {text::kMissingNumberMessage, "オプションの数値がありません"},
      {text::kBadNumberMessage, "数値が正しくありません"},
      {text::kNoFileMessage, "ファイル名がありません"},
  };
  for (const Case& c : cases) {
    // iconv_text is empty when a byte does not convert, so a broken literal fails too.
    EXPECT_EQ(tovix_test::iconv_text(c.sjis, "CP932", "UTF-8"), c.unicode);
  }
}

TEST(Messages, UsageTextHasNoFormatCharacter) {
  EXPECT_EQ(std::strchr(text::kUsageText, '%'), nullptr);
}

}  // namespace
