#include "bytepane.h"

#include <QAbstractTableModel>
#include <QBrush>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "displaytext.h"
#include "document/document.h"

namespace velmor {

namespace {

constexpr int kRowBytes = 16;
constexpr int kColumnColumn = 0;  // the byte column of the row's first byte
constexpr int kCharsColumn = kRowBytes + 1;
const QColor kPlaceColour(0, 140, 255, 110);

}  // namespace

// The rows of one line: its 1-based byte column, sixteen bytes and the characters
// that begin among them.
class ByteModel : public QAbstractTableModel {
  public:
    ByteModel(const Document& document, QObject* parent)
        : QAbstractTableModel(parent), document_(document) {}

    void show(std::optional<TextPlace> place) {
        beginResetModel();
        place_ = place;
        line_ = place ? document_.LineAt(place->line) : std::string_view();
        placeLength_ =
            place && place->column < line_.size() ? displayCharLength(line_, place->column) : 0;
        charStarts_.clear();
        endResetModel();
    }
    std::string_view line() const { return line_; }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>((line_.size() + kRowBytes - 1) / kRowBytes);
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : kCharsColumn + 1;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return {};
        const std::size_t rowStart = static_cast<std::size_t>(index.row()) * kRowBytes;
        const int column = index.column();
        if (role == Qt::TextAlignmentRole) {
            return column == kCharsColumn ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                          : QVariant(Qt::AlignCenter);
        }
        if (role == Qt::BackgroundRole && column > kColumnColumn && column < kCharsColumn) {
            const std::size_t pos = rowStart + static_cast<std::size_t>(column - 1);
            if (place_ && pos >= place_->column && pos < place_->column + placeLength_)
                return QBrush(kPlaceColour);
            return {};
        }
        if (role != Qt::DisplayRole) return {};
        if (column == kColumnColumn) return QString::number(rowStart + 1);
        if (column == kCharsColumn) return characters(rowStart);
        const std::size_t pos = rowStart + static_cast<std::size_t>(column - 1);
        if (pos >= line_.size()) return {};
        return QString::asprintf("%02X", static_cast<unsigned char>(line_[pos]));
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
        if (section == kColumnColumn) return QString::fromUtf8("桁");
        if (section == kCharsColumn) return QString::fromUtf8("文字");
        return QString::asprintf("+%X", section - 1);
    }

  private:
    // The characters that begin in the row starting at byte `rowStart`.
    QString characters(std::size_t rowStart) const {
        if (charStarts_.empty()) {
            for (std::size_t pos = 0; pos < line_.size(); pos += displayCharLength(line_, pos))
                charStarts_.push_back(pos);
        }
        const auto first = std::lower_bound(charStarts_.begin(), charStarts_.end(), rowStart);
        const auto last = std::lower_bound(first, charStarts_.end(), rowStart + kRowBytes);
        if (first == last) return {};
        return displayText(line_.substr(*first), 0, static_cast<std::size_t>(last - first));
    }

    const Document& document_;
    std::optional<TextPlace> place_;
    std::string_view line_;
    std::size_t placeLength_ = 0;
    mutable std::vector<std::size_t> charStarts_;  // found on first need
};

BytePane::BytePane(const Document& document, QWidget* parent)
    : QWidget(parent), document_(document) {
    setObjectName("BytePane");
    title_ = new QLabel(this);
    table_ = new QTableView(this);
    model_ = new ByteModel(document_, table_);
    table_->setModel(model_);
    table_->setObjectName("ByteTable");
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setFocusPolicy(Qt::NoFocus);
    table_->verticalHeader()->hide();
    table_->setShowGrid(false);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(title_);
    layout->addWidget(table_);
    showPlace(std::nullopt);
}

void BytePane::showPlace(std::optional<TextPlace> place) {
    if (place == place_ && place) return;
    place_ = place;
    model_->show(place);
    if (!place) {
        title_->setText(QString());
        return;
    }
    title_->setText(QString::fromUtf8("%1 行目のバイト（%2 バイト）")
                        .arg(place->line + 1)
                        .arg(model_->line().size()));
    table_->scrollTo(model_->index(static_cast<int>(place->column / kRowBytes), 0));
}

}  // namespace velmor
