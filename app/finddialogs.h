#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace velmor {

// The two small dialogs of 行へ移動 and 検索. Each is modal over `owner` and returns
// what was typed, or nothing when it was cancelled.

// "行へ移動": a line number, or LINE:COLUMN. Full-width digits are read as digits.
std::optional<QString> askGoToPlace(QWidget* owner, const QString& shown);

// "検索": what to find, whether it is hex bytes, and the direction chosen.
struct FindAnswer {
    QString text;
    bool hex = false;
    bool forward = true;
};
std::optional<FindAnswer> askFind(QWidget* owner, const FindAnswer& shown);

}  // namespace velmor
