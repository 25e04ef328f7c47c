#include "memoview.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <climits>

#include "displaytext.h"
#include "document/document.h"

namespace velmor {

namespace {
constexpr int kMargin = 2;         // pixels left of the text
constexpr long kSidewaysStep = 8;  // characters per key press or wheel notch
// The background of marked bytes: half-transparent, so it reads on light and dark bases.
const QColor kMarkColour(255, 128, 0, 110);
const QColor kFoundColour(0, 140, 255, 70);
const QColor kCurrentColour(0, 140, 255, 150);
const QColor kPlaceColour(128, 128, 128, 90);
// Lines longer than this have only the current match marked: finding every match
// on screen would read the whole line at each paint.
constexpr std::size_t kMarkedLineLimit = 1 << 16;

// Number of characters the first `bytes` bytes of `line` show as.
std::size_t charsBefore(std::string_view line, std::size_t bytes) {
    std::size_t chars = 0;
    for (std::size_t pos = 0; pos < bytes && pos < line.size(); ++chars) {
        pos += displayCharLength(line, pos);
    }
    return chars;
}
}  // namespace

MemoView::MemoView(const Document& document, QWidget* parent)
    : QAbstractScrollArea(parent), document_(document) {
    setObjectName("Memo1");
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::NoFocus);  // no caret and no focus: the window hands it its keys
    viewport()->setCursor(Qt::ArrowCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setMouseTracking(true);
    verticalScrollBar()->setSingleStep(1);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &MemoView::scrolled);
}

void MemoView::scrolled() {
    if (!positioning_) located_.reset();
    viewport()->update();
    emit placeChanged();
}

std::optional<TextPlace> MemoView::placeAt(QPoint point) const {
    if (frozen_) return std::nullopt;
    const std::size_t line = firstVisibleLine() + static_cast<std::size_t>(point.y() / rowHeight());
    if (point.y() < 0 || line >= document_.LineCount()) return std::nullopt;
    const std::string_view text = document_.LineAt(line);
    const std::size_t shown = byteOfChar(text, hOffset_);
    if (shown >= text.size()) return TextPlace{line, text.empty() ? 0 : text.size() - 1};
    // The most characters from the left edge whose text ends left of the point.
    const QFontMetrics metrics = fontMetrics();
    const int x = point.x() - kMargin;
    // No more characters than fill a row are looked at, however long the line.
    const std::size_t rowChars = static_cast<std::size_t>(viewport()->width() / 2 + 2);
    std::size_t low = 0;
    std::size_t high = 0;
    for (std::size_t pos = shown + displayCharLength(text, shown);
         pos < text.size() && high < rowChars; pos += displayCharLength(text, pos)) {
        ++high;
    }
    while (low < high) {
        const std::size_t mid = (low + high + 1) / 2;
        if (metrics.horizontalAdvance(displayText(text, hOffset_, mid)) <= x) {
            low = mid;
        } else {
            high = mid - 1;
        }
    }
    return TextPlace{line, shown + byteOfChar(text.substr(shown), low)};
}

std::optional<TextPlace> MemoView::place() const {
    if (frozen_ || document_.LineCount() == 0) return std::nullopt;
    if (pointer_) {
        if (auto under = placeAt(*pointer_)) return under;
    }
    if (located_) return located_;
    return placeAt(QPoint(kMargin, 0));
}

void MemoView::setFound(std::vector<TextQuery> forms, std::optional<ViewMark> current) {
    findForms_ = std::move(forms);
    current_ = current;
    viewport()->update();
}

bool MemoView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) {
        pointer_.reset();
        emit placeChanged();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

int MemoView::rowHeight() const {
    return std::max(1, fontMetrics().height());
}

std::size_t MemoView::visibleLineCapacity() const {
    return static_cast<std::size_t>(std::max(1, viewport()->height() / rowHeight()));
}

std::size_t MemoView::firstVisibleLine() const {
    return static_cast<std::size_t>(verticalScrollBar()->value());
}

void MemoView::setFrozen(bool frozen) {
    frozen_ = frozen;
    updateScrollRange();
    viewport()->update();
    emit placeChanged();
}

void MemoView::updateScrollRange() {
    if (frozen_) return;
    std::size_t count = document_.LineCount();
    std::size_t page = visibleLineCapacity();
    std::size_t maximum = count > page ? count - page : 0;
    verticalScrollBar()->setPageStep(static_cast<int>(page));
    verticalScrollBar()->setRange(0, static_cast<int>(std::min<std::size_t>(maximum, INT_MAX)));
}

void MemoView::documentChanged() {
    hOffset_ = 0;
    longest_.reset();
    maxOffset_.reset();
    located_.reset();
    findForms_.clear();
    current_.reset();
}

void MemoView::showFirstLines() {
    documentChanged();
    updateScrollRange();
    verticalScrollBar()->setValue(0);
    viewport()->update();
    emit placeChanged();
}

void MemoView::showLastLines() {
    documentChanged();
    updateScrollRange();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
    emit placeChanged();
}

void MemoView::setMarks(std::vector<ViewMark> marks) {
    marks_ = std::move(marks);
    viewport()->update();
}

void MemoView::showPosition(std::size_t line, std::size_t column) {
    updateScrollRange();
    const std::size_t page = visibleLineCapacity();
    positioning_ = true;
    verticalScrollBar()->setValue(static_cast<int>(std::min<std::size_t>(
        line > page / 2 ? line - page / 2 : 0, static_cast<std::size_t>(INT_MAX))));
    positioning_ = false;
    const std::size_t chars = charsBefore(document_.LineAt(line), column);
    const std::size_t width = static_cast<std::size_t>(
        std::max(1, viewport()->width() / std::max(1, fontMetrics().averageCharWidth())));
    if (chars < hOffset_ || chars >= hOffset_ + width) {
        hOffset_ = chars > width / 4 ? chars - width / 4 : 0;
    }
    located_ = TextPlace{line, column};
    viewport()->update();
    emit placeChanged();
}

std::vector<MemoView::Span> MemoView::spansOf(std::size_t line, std::string_view text) const {
    std::vector<Span> spans;
    auto mark = std::lower_bound(marks_.begin(), marks_.end(), line,
                                 [](const ViewMark& m, std::size_t l) { return m.line < l; });
    for (; mark != marks_.end() && mark->line == line; ++mark) {
        spans.push_back({mark->column, mark->length, kMarkColour});
    }
    if (text.size() <= kMarkedLineLimit) {
        for (const TextQuery& form : findForms_) {
            for (const auto& [column, length] : form.matchesIn(text)) {
                spans.push_back({column, length, kFoundColour});
            }
        }
    }
    if (current_ && current_->line == line) {
        spans.push_back({current_->column, current_->length, kCurrentColour});
    }
    if (located_ && located_->line == line && located_->column < text.size()) {
        spans.push_back(
            {located_->column, displayCharLength(text, located_->column), kPlaceColour});
    }
    std::stable_sort(spans.begin(), spans.end(),
                     [](const Span& a, const Span& b) { return a.column < b.column; });
    return spans;
}

// Paints the background of the marked spans of a line that lie on screen. Spans are
// visited in column order, counting characters as it goes, so a line with many
// marks costs one walk up to the right edge.
void MemoView::paintSpans(QPainter& painter, const std::vector<Span>& spans, std::string_view text,
                          int top, std::size_t maxChars) {
    std::size_t pos = 0, chars = 0;
    const QFontMetrics metrics = fontMetrics();
    for (auto mark = spans.begin(); mark != spans.end(); ++mark) {
        while (pos < mark->column && pos < text.size()) {
            pos += displayCharLength(text, pos);
            ++chars;
        }
        if (chars >= hOffset_ + maxChars) break;
        const std::size_t start = chars;
        std::size_t end = chars, p = pos;
        while (p < mark->column + mark->length && p < text.size()) {
            p += displayCharLength(text, p);
            ++end;
        }
        if (end <= hOffset_) continue;
        const std::size_t shownStart = std::max(start, hOffset_);
        const int x =
            kMargin + metrics.horizontalAdvance(displayText(text, hOffset_, shownStart - hOffset_));
        const int w = metrics.horizontalAdvance(displayText(text, shownStart, end - shownStart));
        painter.fillRect(x, top, std::max(w, 2), rowHeight(), mark->colour);
    }
}

void MemoView::paintText(QPainter& painter, const QString& shown, int top) {
    const QFontMetrics metrics = fontMetrics();
    const int baseline = top + metrics.ascent();
    QFont small = font();
    small.setPixelSize(std::max(6, font().pixelSize() * 2 / 3));
    small.setFamilies({"DejaVu Sans Condensed", "DejaVu Sans"});
    int x = kMargin;
    qsizetype done = 0;  // characters of `shown` drawn
    const auto drawUpTo = [&](qsizetype end) {
        const QString part = shown.mid(done, end - done);
        painter.drawText(x, baseline, part);
        x += metrics.horizontalAdvance(part);
    };
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const QString name = controlName(shown[i]);
        if (name.isEmpty()) continue;
        drawUpTo(i);
        // The picture's own drawing is too small to read: its name in a box instead,
        // over the picture's place and the space after it.
        const int w = metrics.horizontalAdvance(shown.mid(i, 2));
        done = i + 2;
        const QRect box(x, top + 1, w - 1, rowHeight() - 2);
        painter.save();
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        QFont fitted = small;
        const int natural = QFontMetrics(small).horizontalAdvance(name);
        if (natural > box.width() - 2)
            fitted.setStretch(std::max(50, 100 * (box.width() - 2) / natural));
        painter.setFont(fitted);
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(box, Qt::AlignCenter, name);
        painter.restore();
        x += w;
    }
    drawUpTo(shown.size());
}

void MemoView::paintEvent(QPaintEvent*) {
    if (frozen_) return;
    QPainter painter(viewport());
    painter.setFont(font());
    const int height = rowHeight();
    const std::size_t count = document_.LineCount();
    const std::size_t first = firstVisibleLine();
    // Rows partly shown at the bottom are painted too.
    const std::size_t rows = static_cast<std::size_t>(viewport()->height() / height + 1);
    // No glyph is narrower than a few pixels, so this many characters fill a row.
    const std::size_t maxChars = static_cast<std::size_t>(viewport()->width() / 2 + 2);
    linesReadByLastPaint_ = 0;
    for (std::size_t row = 0; row < rows && first + row < count; ++row) {
        std::string_view line = document_.LineAt(first + row);
        ++linesReadByLastPaint_;
        const int top = static_cast<int>(row) * height;
        const std::vector<Span> spans = spansOf(first + row, line);
        if (!spans.empty()) paintSpans(painter, spans, line, top, maxChars);
        paintText(painter, displayText(line, hOffset_, maxChars), top);
    }
}

void MemoView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    maxOffset_.reset();
    updateScrollRange();
}

MemoView::Longest MemoView::longestLine() {
    if (longest_) return *longest_;
    Longest best;
    // Walked piece by piece: the lines' index is built only for pieces the view shows.
    for (std::size_t piece = 0; piece < document_.pieceCount(); ++piece) {
        LineWalker lines(document_.piece(piece));
        std::string_view line;
        for (std::size_t i = document_.pieceFirstLine(piece); lines.next(line); ++i) {
            // A line never shows more characters than it has bytes: most lines need no count.
            if (line.size() <= best.chars) continue;
            std::size_t chars = displayCharCount(line);
            if (chars > best.chars) best = {i, chars};
        }
    }
    longest_ = best;
    return best;
}

std::size_t MemoView::maximumHorizontalOffset() {
    if (maxOffset_) return *maxOffset_;
    const Longest longest = longestLine();
    const std::string_view line = document_.LineAt(longest.line);
    const int room = viewport()->width() - kMargin;
    const QFontMetrics metrics = fontMetrics();
    // The most characters of the line's end that fit in the view.
    std::size_t fit = 0;
    std::size_t high = std::min<std::size_t>(longest.chars, static_cast<std::size_t>(room / 2 + 2));
    while (fit < high) {
        std::size_t tail = (fit + high + 1) / 2;
        QString text = displayText(line, longest.chars - tail, tail);
        if (metrics.horizontalAdvance(text) <= room) {
            fit = tail;
        } else {
            high = tail - 1;
        }
    }
    maxOffset_ = longest.chars - fit;
    return *maxOffset_;
}

void MemoView::scrollSideways(long chars) {
    long offset = static_cast<long>(hOffset_) + chars;
    hOffset_ = std::min(static_cast<std::size_t>(std::max(0L, offset)), maximumHorizontalOffset());
    located_.reset();
    viewport()->update();
    emit placeChanged();
}

void MemoView::wheelEvent(QWheelEvent* event) {
    QPoint delta = event->angleDelta();
    bool sideways = (event->modifiers() & Qt::ShiftModifier) || (delta.y() == 0 && delta.x() != 0);
    if (sideways) {
        int notches = (delta.x() != 0 ? delta.x() : delta.y()) / 120;
        scrollSideways(-notches * kSidewaysStep);
        event->accept();
        return;
    }
    updateScrollRange();
    QAbstractScrollArea::wheelEvent(event);
}

void MemoView::keyPressEvent(QKeyEvent* event) {
    if (!scrollByKey(event)) QAbstractScrollArea::keyPressEvent(event);
}

bool MemoView::scrollByKey(QKeyEvent* event) {
    QScrollBar* bar = verticalScrollBar();
    updateScrollRange();
    switch (event->key()) {
        case Qt::Key_Left:
            scrollSideways(-kSidewaysStep);
            break;
        case Qt::Key_Right:
            scrollSideways(kSidewaysStep);
            break;
        case Qt::Key_Up:
            bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
            break;
        case Qt::Key_Down:
            bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            break;
        case Qt::Key_PageUp:
            bar->triggerAction(QAbstractSlider::SliderPageStepSub);
            break;
        case Qt::Key_PageDown:
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            break;
        case Qt::Key_Home:
            if (event->modifiers() & Qt::ControlModifier) bar->setValue(0);
            hOffset_ = 0;
            located_.reset();
            viewport()->update();
            emit placeChanged();
            break;
        case Qt::Key_End:
            if (event->modifiers() & Qt::ControlModifier) bar->setValue(bar->maximum());
            break;
        default:
            return false;
    }
    event->accept();
    return true;
}

// The view is read-only and has no caret or selection: mouse presses and drags
// inside the text do nothing (the scroll bar is a separate widget and still works).
void MemoView::mousePressEvent(QMouseEvent* event) {
    event->accept();
}
void MemoView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}
void MemoView::mouseMoveEvent(QMouseEvent* event) {
    // Only followed: the place under the pointer is told, nothing is selected.
    pointer_ = event->position().toPoint();
    emit placeChanged();
    event->accept();
}

}  // namespace velmor
