// The program's own texts: the usage text and the messages, as Shift_JIS (code page
// 932) byte strings. Nothing here depends on any other part of the program.
#pragma once

namespace text {

/// The usage text: twenty-two lines, each ended by a newline; it holds no '%'.
extern const char kUsageText[];

/// "ファイル:%sのオープンに失敗しました\n"; %s is the file name as given.
extern const char kOpenFailedFormat[];

/// "ファイル:%sの読み込みに失敗しました", with no line end; %s is the file name.
extern const char kReadFailedFormat[];

/// "ファイル:%sは出力先と同じファイルです\n": the file is the one standard output
/// writes to, and dumping it would feed the dump back into itself.
extern const char kInputIsOutputFormat[];

/// "標準出力への書き込みに失敗しました": standard output could not be written.
extern const char kWriteFailedMessage[];

/// "メモリが足りません": a copy of a file name could not be made.
extern const char kOutOfMemoryMessage[];

/// "TOVIX_KERNEL:このプロセッサでは使えないカーネルです": the kernel named in the
/// environment variable is none this processor runs; the detail says which runs instead.
extern const char kKernelCapMessage[];
/// "(標準入力)": the name the header shows for standard input.
extern const char kStandardInputName[];

/// Reasons for a refused command line, each followed by ": " and the argument it is about.
/// "不明なオプションです": a letter or argument that is no option.
extern const char kUnknownOptionMessage[];
/// "オプションの数値がありません": -s or -n is the last argument.
extern const char kMissingNumberMessage[];
/// "数値が正しくありません": the text after -s or -n is no number of the allowed forms.
extern const char kBadNumberMessage[];
/// "文字コードの名前がありません": -e is the last argument.
extern const char kMissingNameMessage[];
/// "文字コードの名前が正しくありません": the text after -e names no text encoding.
extern const char kBadNameMessage[];
/// "ファイル名がありません": no file name, and standard input is the terminal.
extern const char kNoFileMessage[];
/// "文字コードを表示用に変換できません": the converter cannot turn text into the
/// display's charset (its modules are missing, or it does not know the charset).
extern const char kConversionUnavailableMessage[];

/// The words after the version in the banner line (plain ASCII).
extern const char kBannerNotice[];

}  // namespace text
