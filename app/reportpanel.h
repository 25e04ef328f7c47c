#pragma once

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QTableView>
#include <cstddef>
#include <string>

#include "document/report.h"

namespace velmor {

class ReportModel;

// The conversion report in the window: a one-line summary under the view, shown
// only when there is something to say, and the list of entries it opens on a
// click or on its key. The list shows the entries in the order of their places,
// sorts by any column, copies its selected rows and saves them all as CSV.
// Choosing an entry in the list asks for it to be shown.
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
    void closeList();
    // The open list, or null.
    QDialog* list() const { return list_; }
    QTableView* listView() const { return listView_; }

    // The selected rows of the open list, in the list's order, as tab-separated lines
    // under a header; the text the list's コピー puts on the clipboard.
    std::string selectedRowsText() const;
    // Every row of the open list, in its order, as CSV.
    std::string allRowsCsv() const;

  signals:
    // An entry was chosen: its 0-based line and byte offset in the Document's text.
    void entryChosen(std::size_t viewLine, std::size_t viewColumn);
    // The list's "CSV で保存" was pressed: `csv` is to be saved.
    void saveRequested(const std::string& csv);

  protected:
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void copySelection();

    const ConversionReport* report_ = nullptr;
    QPointer<QDialog> list_;
    // Gone with the list when the user closes it.
    QPointer<QTableView> listView_;
    QPointer<ReportModel> model_;
};

}  // namespace velmor
