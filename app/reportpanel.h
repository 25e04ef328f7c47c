#pragma once

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <cstddef>

#include "document/report.h"

class QTableView;

namespace velmor {

// The conversion report in the window: a one-line summary under the view, shown
// only when there is something to say, and the list of entries it opens on a
// click or on its key. Choosing an entry in the list asks for it to be shown.
class ReportPanel : public QLabel {
    Q_OBJECT
  public:
    explicit ReportPanel(QWidget* parent = nullptr);
    ~ReportPanel() override;

    // Shows the summary of `report` and how many gaiji table entries are in use;
    // hides itself and closes the list when there is nothing to say. The report must
    // stay alive and unchanged until the next call.
    void showReport(const ConversionReport& report, std::size_t gaijiInUse);

    // Opens the list of entries; does nothing when there are none.
    void openList();
    // The open list, or null.
    QDialog* list() const { return list_; }
    QTableView* listView() const { return listView_; }

  signals:
    // An entry was chosen: its 0-based line and byte offset in the Document's text.
    void entryChosen(std::size_t viewLine, std::size_t viewColumn);

  protected:
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void closeList();

    const ConversionReport* report_ = nullptr;
    QPointer<QDialog> list_;
    QTableView* listView_ = nullptr;
};

}  // namespace velmor
