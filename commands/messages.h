#pragma once

#include "conversionrules.h"

namespace velmor {

// Every text the commands and the main window show, in one place. The message
// box's own captions and button captions stay with the message box.

// The application title, shown as the caption of the error display and of
// custom message boxes. It is the program's own value: Qt's application display
// name would be appended to every window caption on X11.
inline constexpr char kAppTitle[] = "ＶＥＬＭＯＲ漢字変換（ＷＩＮ版）";

// The main window's caption and the text the About box adds to it.
inline constexpr char kMainCaption[] = "ＶＥＬＭＯＲ＿ＳＪＩＳ漢字変換";
inline constexpr char kVersionText[] = "   ｖｅｒ　１．１　 2002.04.12";

// The conversion commands.
inline constexpr char kMsgOpenFileFirst[] = "ファイルを開いて下さい。";
inline constexpr char kMsgDoubleConversion[] =
    "二重変換禁止です。\r\n一旦、閉じてから開き直して下さい。";
inline constexpr char kMsgAlreadyVelmor[] =
    "ファイルは既にＶＥＬＭＯＲ漢字を含んでいます。\r\n（変換方向が逆のようです）\r\n変換を強行しま"
    "すか？";

// Why a conversion refuses, or what it asks, as the window says it.
inline constexpr char kMsgWouldLose[] = "変換で意味の失われる箇所があるため変換しませんでした";
constexpr const char* windowText(Refusal reason) {
    switch (reason) {
        case Refusal::NoText:
            return kMsgOpenFileFirst;
        case Refusal::DoneBefore:
            return kMsgDoubleConversion;
        case Refusal::HoldsKanjiIn:
            return kMsgAlreadyVelmor;
        case Refusal::WouldLose:
            return kMsgWouldLose;
        case Refusal::None:
            break;
    }
    return "";
}

// The file commands. A filter is "description|pattern|description|pattern...".
inline constexpr char kOpenFilter[] = "Text files (*.txt)|*.TXT|すべてのファイル(*.*)|*.*";
inline constexpr char kSaveFilter[] = "すべて (*.*)|*.*";
inline constexpr char kMsgCloseFirst[] = "一旦、閉じてから開き直して下さい。";
inline constexpr char kMsgSaveChanges[] = "ファイルが更新されています。保存しますか？";
// The clipboard could not be taken.
inline constexpr char kMsgClipboardError[] = "クリップボードを開くことができません";
// A cancel that came once the new file was replacing the old one.
inline constexpr char kMsgCancelTooLate[] = "保存を完了しています。キャンセルできません。";
// A cancel that came once a conversion had begun to give up the old text.
inline constexpr char kMsgConvertCancelTooLate[] = "変換を完了しています。キャンセルできません。";
inline constexpr char kMsgSavedDespiteCancel[] =
    "キャンセルできませんでした。\r\nファイルは保存されました。";
// At start: the old content of a file whose write was interrupted was kept. The
// question is the first text, the file's path, the second text, the kept copy's path,
// then the third text.
inline constexpr char kMsgKeptFileWas[] = "前回、次のファイルへの書き込みが中断されました。\r\n";
inline constexpr char kMsgKeptFileIn[] = "\r\n元の内容は次のファイルに残してあります。\r\n";
inline constexpr char kMsgKeptFileAsk[] =
    "\r\n\r\n元の内容に戻しますか？\r\n"
    "（いいえ：残した内容を削除します。キャンセル：次回の起動時にもう一度尋ねます。）";
// What the error display shows when memory ran out.
inline constexpr char kMsgOutOfMemory[] = "メモリが足りません";
// Follows the error about the user's gaiji table at start: the program goes on
// without one.
inline constexpr char kMsgNoGaijiTable[] = "外字表は使用していません（外字表なしで続けます）";
// Follows the bare file name in the overwrite question.
inline constexpr char kMsgOverwriteSuffix[] = "は既存です。上書きしますか？";
// What the error display says of a file that is no regular file (a device, a FIFO).
inline constexpr char kMsgNotRegularFile[] = "通常のファイルではありません";
// A drop of several files.
inline constexpr char kMsgOneFileAtATime[] = "ファイルは一度に一つずつ開きます。";

// The status bar: the text's state, its mark, and what a save wrote.
inline constexpr char kStateAsOpened[] = "開いたまま";
inline constexpr char kStateSjis[] = "SJIS に変換済み";
inline constexpr char kStateVelmor[] = "VELMOR に変換済み";
inline constexpr char kStateModified[] = "変更あり";
inline constexpr char kMsgSaved[] = "保存しました";  // followed by the name and size

// 行へ移動 and 検索.
inline constexpr char kGoToTitle[] = "行へ移動";
inline constexpr char kGoToLabel[] = "行番号（行:桁 でも可）:";
inline constexpr char kMsgGoToNumber[] = "行番号を数字で入力して下さい。";
inline constexpr char kFindTitle[] = "検索";
inline constexpr char kFindLabel[] = "検索する文字列:";
inline constexpr char kFindAsHex[] = "16 進のバイトで探す (例: 93 70)";
inline constexpr char kMsgNotFound[] = "見つかりませんでした。";
inline constexpr char kMsgBadHex[] = "バイトは 93 70 のように 16 進 2 桁ずつ入力して下さい。";
inline constexpr char kMsgNotShiftJis[] = "Shift-JIS にない文字は探せません。";
inline constexpr char kMsgWrappedToStart[] = "末尾まで探したので先頭から続けました";
inline constexpr char kMsgWrappedToEnd[] = "先頭まで探したので末尾から続けました";

// The report list's export.
inline constexpr char kCsvFilter[] = "CSV (*.csv)|*.csv|すべて (*.*)|*.*";

}  // namespace velmor
