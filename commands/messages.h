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
// What the error display shows when memory ran out.
inline constexpr char kMsgOutOfMemory[] = "メモリが足りません";
// Follows the error about the user's gaiji table at start: the program goes on
// without one.
inline constexpr char kMsgNoGaijiTable[] = "外字表は使用していません（外字表なしで続けます）";
// Follows the bare file name in the overwrite question.
inline constexpr char kMsgOverwriteSuffix[] = "は既存です。上書きしますか？";

}  // namespace velmor
