#include "reportpanel.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QHeaderView>
#include <QMouseEvent>
#include <QTableView>
#include <QVBoxLayout>

#include "commands/reporttexts.h"

namespace velmor {

namespace {

// The report's entries as table rows, read from the report only for the rows on
// screen, so a report of millions of entries opens at once.
class ReportModel : public QAbstractTableModel {
  public:
    ReportModel(const ConversionReport& report, QObject* parent)
        : QAbstractTableModel(parent), report_(report) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(report_.entries().size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 4; }

    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        const ReportEntry& entry = report_.entries()[static_cast<std::size_t>(index.row())];
        switch (index.column()) {
            case 0:
                return QString::fromUtf8(reportKindLabel(entry.kind));
            case 1:
                return QString::number(entry.line);
            case 2:
                return QString::number(entry.column);
            default:
                return QString::fromStdString(reportBytesHex(entry.bytes) +
                                              (entry.length > entry.bytes.size() ? " …" : ""));
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
        static const char* const kHeaders[] = {"種類", "行", "桁", "バイト"};
        return QString::fromUtf8(kHeaders[section]);
    }

  private:
    const ConversionReport& report_;
};

}  // namespace

ReportPanel::ReportPanel(QWidget* parent) : QLabel(parent) {
    setObjectName("ReportPanel");
    setCursor(Qt::PointingHandCursor);
    setContentsMargins(4, 2, 4, 2);
    hide();
}

ReportPanel::~ReportPanel() {
    closeList();
}

void ReportPanel::showReport(const ConversionReport& report, std::size_t gaijiInUse) {
    closeList();
    report_ = &report;
    const std::string summary = reportSummary(report, gaijiInUse);
    setText(QString::fromStdString(summary));
    setVisible(!summary.empty());
}

void ReportPanel::openList() {
    if (report_ == nullptr || report_->empty()) return;
    closeList();
    auto* dialog = new QDialog(window());
    dialog->setObjectName("ReportList");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QString::fromUtf8("変換の報告"));
    listView_ = new QTableView(dialog);
    listView_->setModel(new ReportModel(*report_, listView_));
    listView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    listView_->setSelectionMode(QAbstractItemView::SingleSelection);
    listView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listView_->verticalHeader()->hide();
    listView_->horizontalHeader()->setStretchLastSection(true);
    connect(listView_, &QTableView::activated, this, [this](const QModelIndex& index) {
        const ReportEntry& entry = report_->entries()[static_cast<std::size_t>(index.row())];
        emit entryChosen(entry.viewLine, entry.viewColumn);
    });
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(listView_);
    dialog->resize(480, 320);
    list_ = dialog;
    dialog->show();
}

void ReportPanel::closeList() {
    if (list_) delete list_;
    listView_ = nullptr;
}

void ReportPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) openList();
    event->accept();
}

}  // namespace velmor
