#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <string>

#include "text/messages.h"

namespace {

// Converts code page 932 bytes to UTF-8 with the system's converter; fails the test on
// any byte it cannot convert.
std::string cp932_to_utf8(const char* sjis) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string in = sjis;
  std::string out(in.size() * 4 + 16, '\0');
  char* src = in.data();
  size_t src_left = in.size();
  char* dst = out.data();
  size_t dst_left = out.size();
  const size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
  EXPECT_NE(r, static_cast<size_t>(-1)) << "unconvertible byte at " << (src - in.data());
  iconv_close(cd);
  out.resize(out.size() - dst_left);
  return out;
}

TEST(Messages, ConvertToExactlyTheirUnicodeText) {
  struct Case {
    const char* sjis;
    const char* unicode;
  } cases[] = {
      {text::kOpenFailedFormat, "ファイル:%sのオープンに失敗しました\n"},
      {text::kReadFailedFormat, "ファイル:%sの読み込みに失敗しました"},
      {text::kWriteFailedMessage, "標準出力への書き込みに失敗しました"},
      {text::kOutOfMemoryMessage, "メモリが足りません"},
      {text::kUsageText,
       "\n"
       "<< ファイル内容16進数表示 >>\n"
       "使い方: Tovix [-JjkcdmPpHh] [-s 数値] ファイル名...\n"
       "\n"
       "オプション:\n"
       "        -J ......... 日本語表示ON(規定値)\n"
       "        -j ......... 日本語表示OFF\n"
       "        -k ......... 漢字第1バイト強調\n"
       "        -c ......... CTRLコード強調\n"
       "        -d ......... 改行コード強調\n"
       "        -m ......... JPEGマーカーコード強調\n"
       "        -P ......... 1画面表示でポーズする(規定値)\n"
       "        -p ......... 1画面表示でポーズしない\n"
       "        -H ......... 8バイト単位にハイフン表示する(規定値)\n"
       "        -h ......... 8バイト単位にハイフン表示しない\n"
       "        -s 数値 .... 先頭からのスキップバイト数\n"
       "\n"
       "画面ポーズ時のコマンド:\n"
       "        スペース .. 次の1画面を表示   N .. 次のファイルを表示\n"
       "        リターン .. 次の1行を表示     Q .. 終了\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(cp932_to_utf8(c.sjis), c.unicode);
}

TEST(Messages, UsageTextHasNoFormatCharacter) {
  EXPECT_EQ(std::strchr(text::kUsageText, '%'), nullptr);
}

}  // namespace
