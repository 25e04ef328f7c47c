#pragma once

#include <QAbstractScrollArea>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "convert/textmatch.h"
#include "document/textplace.h"

class QPainter;

namespace velmor {

class Document;

// Bytes of a line shown with a marked background: a 0-based line, byte offset and
// byte length in the Document's text.
struct ViewMark {
    std::size_t line;
    std::size_t column;
    std::size_t length;
};

// The read-only view of the Document: one line per row, never wrapped, a vertical
// scroll bar only. It reads the Document and paints just the rows on screen, so a
// huge Document scrolls as smoothly as a small one. The mouse neither places a
// caret nor selects and it never takes the keyboard focus; the wheel scrolls,
// Shift+wheel scrolls sideways, and the window hands it the scrolling keys. It
// follows the pointer to tell which place of the text lies under it.
class MemoView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit MemoView(const Document& document, QWidget* parent = nullptr);

    // Call after the Document changed: shows its first or its last lines.
    void showFirstLines();
    void showLastLines();

    // While frozen the view reads nothing of the Document (a worker is changing it)
    // and paints blank; unfreezing repaints it.
    void setFrozen(bool frozen);

    // Scrolls for Up/Down/PageUp/PageDown/Ctrl+Home/Ctrl+End/Home/End/Left/Right and
    // accepts the event; returns false for any other key.
    bool scrollByKey(QKeyEvent* event);
    // Marks these bytes (sorted by line, then column) until the next call.
    void setMarks(std::vector<ViewMark> marks);
    const std::vector<ViewMark>& marks() const { return marks_; }
    // Scrolls so that the byte at `column` of `line` (both 0-based) is on screen, and
    // makes it the place the view speaks of until the pointer or a scroll moves on.
    void showPosition(std::size_t line, std::size_t column);

    // The place the window speaks of: the character under the pointer, else the one
    // last shown by showPosition, else the first character shown of the top line.
    // Nothing for an empty Document or while frozen.
    std::optional<TextPlace> place() const;
    // The character at `point` of the viewport: of the row's line, the last one for a
    // point past its end. Nothing below the last line.
    std::optional<TextPlace> placeAt(QPoint point) const;

    // Marks the matches of `forms` on the lines shown, and `current` (0-based line,
    // byte offset and length) more strongly, until the next call or text change.
    void setFound(std::vector<TextQuery> forms, std::optional<ViewMark> current);

    std::size_t firstVisibleLine() const;
    std::size_t visibleLineCapacity() const;
    std::size_t horizontalOffset() const { return hOffset_; }
    // Largest sideways offset: where the end of the longest line reaches the right edge.
    std::size_t maximumHorizontalOffset();
    // Number of Document lines read by the last paint (for checking paint cost).
    std::size_t linesReadByLastPaint() const { return linesReadByLastPaint_; }

  signals:
    // The place the view speaks of may have changed.
    void placeChanged();

  protected:
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    void updateScrollRange();
    int rowHeight() const;
    void scrollSideways(long chars);
    void documentChanged();

    // Index and character count of the longest line, found on first need after each
    // text change, so loading and painting never pay for it.
    struct Longest {
        std::size_t line = 0;
        std::size_t chars = 0;
    };
    Longest longestLine();
    struct Span {
        std::size_t column;
        std::size_t length;
        QColor colour;
    };
    // The marked spans of `line`, sorted by column.
    std::vector<Span> spansOf(std::size_t line, std::string_view text) const;
    void paintSpans(QPainter& painter, const std::vector<Span>& spans, std::string_view text,
                    int top, std::size_t maxChars);
    // Draws a row's text; control pictures as their short names in a box, readable at
    // the size of the text.
    void paintText(QPainter& painter, const QString& shown, int top);
    void scrolled();

    const Document& document_;
    std::size_t hOffset_ = 0;  // characters hidden at the left of every line
    std::size_t linesReadByLastPaint_ = 0;
    std::optional<Longest> longest_;
    bool frozen_ = false;
    std::optional<std::size_t> maxOffset_;  // for the viewport width it was found for
    std::vector<ViewMark> marks_;
    std::vector<TextQuery> findForms_;
    std::optional<ViewMark> current_;
    std::optional<QPoint> pointer_;     // where the pointer is over the text
    std::optional<TextPlace> located_;  // shown last by showPosition
    bool positioning_ = false;          // showPosition is scrolling
};

}  // namespace velmor
