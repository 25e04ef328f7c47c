#pragma once

#include <QWidget>
#include <cstddef>
#include <optional>

#include "document/textplace.h"

class QLabel;
class QTableView;

namespace velmor {

class Document;
class ByteModel;

// The pane beside the view that shows the bytes behind what is drawn: the current
// line's bytes in hex, sixteen a row, beside the characters they make, with the
// bytes of the character at the current place highlighted. It reads the Document
// only for the rows on screen.
class BytePane : public QWidget {
    Q_OBJECT
  public:
    explicit BytePane(const Document& document, QWidget* parent = nullptr);

    // Shows the line of `place` with the character at it highlighted; nothing for none.
    // Call with nothing before the Document changes.
    void showPlace(std::optional<TextPlace> place);
    std::optional<TextPlace> shownPlace() const { return place_; }
    QTableView* table() const { return table_; }

  private:
    const Document& document_;
    std::optional<TextPlace> place_;
    QLabel* title_;
    QTableView* table_;
    ByteModel* model_;
};

}  // namespace velmor
