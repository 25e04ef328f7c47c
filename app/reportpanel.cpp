#include "reportpanel.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "commands/reportexport.h"
#include "commands/reporttexts.h"
#include "platform.h"

namespace velmor {

// The report's entries as table rows in the list's order, read from the report only
// for the rows on screen, so a report of millions of entries opens at once.
class ReportModel : public QAbstractTableModel {
  public:
    ReportModel(const ConversionReport& report, QObject* parent)
        : QAbstractTableModel(parent),
          report_(report),
          order_(reportOrder(report, ReportColumn::Line)) {}

    const ReportEntry& entryAt(int row) const {
        return report_.entries()[order_[static_cast<std::size_t>(row)]];
    }
    const std::vector<std::size_t>& order() const { return order_; }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(order_.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(kReportColumnCount);
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        return QString::fromStdString(
            reportCell(entryAt(index.row()), static_cast<ReportColumn>(index.column())));
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
        return QString::fromStdString(reportColumnHeader(static_cast<ReportColumn>(section)));
    }

    void sort(int column, Qt::SortOrder order) override {
        emit layoutAboutToBeChanged();
        order_ =
            reportOrder(report_, static_cast<ReportColumn>(column), order == Qt::DescendingOrder);
        emit layoutChanged();
    }

  private:
    const ConversionReport& report_;
    std::vector<std::size_t> order_;  // entry indices in the list's order
};

ReportPanel::ReportPanel(QWidget* parent) : QLabel(parent) {
    setObjectName("ReportPanel");
    setCursor(Qt::PointingHandCursor);
    setContentsMargins(4, 2, 4, 2);
    // At any font size the whole summary shows, on a second row if need be.
    setWordWrap(true);
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
    model_ = new ReportModel(*report_, listView_);
    listView_->setModel(model_);
    listView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    listView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listView_->verticalHeader()->hide();
    // The rows come in the order of their places; a header click sorts by its column.
    listView_->setSortingEnabled(true);
    listView_->horizontalHeader()->setSortIndicator(static_cast<int>(ReportColumn::Line),
                                                    Qt::AscendingOrder);
    // Columns as wide as their texts at the font in use, the bytes taking the rest.
    listView_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    listView_->horizontalHeader()->setStretchLastSection(true);
    listView_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(listView_, &QTableView::activated, this, [this](const QModelIndex& index) {
        const ReportEntry& entry = model_->entryAt(index.row());
        emit entryChosen(entry.viewLine, entry.viewColumn);
    });
    auto* copy = new QAction(dialog);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, &ReportPanel::copySelection);
    dialog->addAction(copy);

    auto* buttons = new QDialogButtonBox(dialog);
    QPushButton* copyButton =
        buttons->addButton(QString::fromUtf8("コピー(&C)"), QDialogButtonBox::ActionRole);
    QPushButton* saveButton =
        buttons->addButton(QString::fromUtf8("CSV で保存(&S)..."), QDialogButtonBox::ActionRole);
    copyButton->setObjectName("copy");
    saveButton->setObjectName("saveCsv");
    buttons->addButton(QDialogButtonBox::Close);
    connect(copyButton, &QPushButton::clicked, this, &ReportPanel::copySelection);
    connect(saveButton, &QPushButton::clicked, this, [this] { emit saveRequested(allRowsCsv()); });
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);

    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(listView_);
    layout->addWidget(buttons);
    const QFontMetrics metrics = dialog->fontMetrics();
    dialog->resize(metrics.averageCharWidth() * 90, metrics.height() * 24);
    list_ = dialog;
    dialog->show();
}

std::string ReportPanel::selectedRowsText() const {
    if (!listView_ || !model_) return {};
    std::vector<int> rows;
    for (const QModelIndex& index : listView_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    std::vector<std::size_t> entries;
    for (int row : rows) entries.push_back(model_->order()[static_cast<std::size_t>(row)]);
    return reportTable(*report_, entries, TableForm::Tabs);
}

std::string ReportPanel::allRowsCsv() const {
    return model_ ? reportTable(*report_, model_->order(), TableForm::Csv) : std::string();
}

void ReportPanel::copySelection() {
    if (!listView_ || !model_ || !listView_->selectionModel()->hasSelection()) return;
    platform().setClipboardText(QString::fromStdString(selectedRowsText()));
}

void ReportPanel::closeList() {
    if (list_) delete list_;
    listView_ = nullptr;
    model_ = nullptr;
}

void ReportPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) openList();
    event->accept();
}

}  // namespace velmor
