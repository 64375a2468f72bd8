// Helpers for tests of the display conversion: measuring UTF-8 text in terminal cells and
// converting text with the system's converter, independently of the program's own code.
#pragma once

#include <iconv.h>

#include <cwchar>
#include <string>

namespace tovix_test {

/// The usage text as its reader sees it, in UTF-8.
inline constexpr const char* kUsageUnicode =
    "\n<< ファイル内容16進数表示 >>\n"
    "使い方: Tovix [-JjkcdmPpHha] [-s 数値] [-n 数値] [-e 名前] [ファイル名...]\n\n"
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
    "        -n 数値 .... 表示する最大バイト数\n"
    "        -a ......... 同じ内容の行を*1行にまとめる\n"
    "        -e 名前 .... 文字コード(auto sjis eucjp utf8 utf16le utf16be)\n\n"
    "画面ポーズ時のコマンド:\n"
    "        スペース .. 次の1画面を表示   N .. 次のファイルを表示\n"
    "        リターン .. 次の1行を表示     Q .. 終了\n";

/// Cells that UTF-8 text takes by the C library's wcwidth (LC_CTYPE must be a UTF-8
/// locale); -1 for text it cannot measure.
inline int cells(const std::string& utf8) {
  std::mbstate_t state{};
  int total = 0;
  for (size_t at = 0; at < utf8.size();) {
    wchar_t wc = 0;
    const size_t k = std::mbrtowc(&wc, utf8.data() + at, utf8.size() - at, &state);
    if (k == 0 || k > utf8.size() - at || wcwidth(wc) < 0) return -1;
    total += wcwidth(wc);
    at += k;
  }
  return total;
}

/// text converted by iconv from charset from to charset to; empty when it cannot be.
inline std::string iconv_text(const std::string& text, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return "";
  std::string out(text.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  char* op = out.data();
  size_t in_left = text.size(), out_left = out.size();
  const size_t r = iconv(cd, &in, &in_left, &op, &out_left);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return "";
  out.resize(out.size() - out_left);
  return out;
}

}  // namespace tovix_test
