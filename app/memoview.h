#pragma once

#include <QAbstractScrollArea>
#include <cstddef>

namespace velmor {

class Document;

// The read-only view of the Document: one line per row, never wrapped, a vertical
// scroll bar only. It reads the Document and paints just the rows on screen, so a
// huge Document scrolls as smoothly as a small one. The mouse neither places a
// caret nor selects; the wheel scrolls, Shift+wheel and Left/Right scroll sideways.
class MemoView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit MemoView(const Document& document, QWidget* parent = nullptr);

    // Call after the Document changed: shows its first or its last lines.
    void showFirstLines();
    void showLastLines();

    std::size_t firstVisibleLine() const;
    std::size_t visibleLineCapacity() const;
    std::size_t horizontalOffset() const { return hOffset_; }
    // Number of Document lines read by the last paint (for checking paint cost).
    std::size_t linesReadByLastPaint() const { return linesReadByLastPaint_; }

  protected:
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

    const Document& document_;
    std::size_t hOffset_ = 0;  // characters hidden at the left of every line
    std::size_t linesReadByLastPaint_ = 0;
};

}  // namespace velmor
