#include <QtTest>

#include "app/displaytext.h"
#include "app/memoview.h"
#include "document/document.h"
#include "support/bytes.h"

namespace velmor {

using testing::bytes;

class MemoViewTest : public QObject {
    Q_OBJECT

  private slots:
    void decodesCodePage932AndShowsEveryOtherByte() {
        auto show = [](const std::string& line, std::size_t skip = 0, std::size_t max = 100) {
            return displayText(line, skip, max);
        };
        QCOMPARE(show(bytes({0x88, 0x9F, 'A', 0xB1, 0x82, 0xA0})), QString("亜Aｱあ"));
        // Control pictures leave room after them for the box naming the control.
        QCOMPARE(show(bytes({'a', 0, 'b', 0x1A, 0x7F})),
                 QString("a\u2400\u2002b\u241A\u2002\u2421\u2002"));
        // Bytes that are no character, and unassigned codes, show as U+FFFD.
        QCOMPARE(show(bytes({0x80, 0xA0, 0xFF, 0x85, 0x40})), QString("\uFFFD\uFFFD\uFFFD\uFFFD"));
        // A lead byte at the end, or before a byte that cannot follow it, stands alone.
        QCOMPARE(show(bytes({'x', 0x88})), QString("x\uFFFD"));
        QCOMPARE(show(bytes({0x88, 0x0D, 'y'})), QString("\uFFFD\u240D\u2002y"));
        // TAB is an arrow padded to the next stop of eight.
        QCOMPARE(show(bytes({'\t', 'a', '\t', 'b'})), QString("\u21E5       a\u21E5      b"));
        // Skipping counts characters, not bytes, and only the bytes shown are decoded.
        QCOMPARE(show(bytes({0x88, 0x9F, 0x88, 0x9F, 'Z', 'W'}), 2, 1), QString("Z"));
    }

    void paintsOnlyTheVisibleLinesOfAHugeDocument() {
        Document doc;
        std::string text;
        text.reserve(12'000'000);
        for (int i = 0; i < 1'000'000; ++i) text += "line " + std::to_string(i) + "\r\n";
        doc.ReplaceText(std::move(text));
        MemoView view(doc);
        view.resize(300, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        for (bool last : {false, true}) {
            last ? view.showLastLines() : view.showFirstLines();
            view.viewport()->repaint();
            QVERIFY(view.linesReadByLastPaint() > 0);
            QVERIFY(view.linesReadByLastPaint() <= view.visibleLineCapacity() + 1);
        }
        QCOMPARE(view.firstVisibleLine() + view.visibleLineCapacity(), size_t(1'000'000));
    }

    void wheelAndKeysScroll() {
        Document doc;
        for (int i = 0; i < 200; ++i) doc.AppendLine(std::string(300, 'x'));
        MemoView view(doc);
        view.resize(300, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.showFirstLines();
        QWheelEvent down(QPointF(10, 10), view.mapToGlobal(QPointF(10, 10)), QPoint(),
                         QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &down);
        QVERIFY(view.firstVisibleLine() > 0);

        QWheelEvent sideways(QPointF(10, 10), view.mapToGlobal(QPointF(10, 10)), QPoint(),
                             QPoint(0, -120), Qt::NoButton, Qt::ShiftModifier, Qt::NoScrollPhase,
                             false);
        QApplication::sendEvent(view.viewport(), &sideways);
        QVERIFY(view.horizontalOffset() > 0);
        QTest::keyClick(&view, Qt::Key_Left);
        QCOMPARE(view.horizontalOffset(), size_t(0));
        QTest::keyClick(&view, Qt::Key_Right);
        QVERIFY(view.horizontalOffset() > 0);
        QVERIFY(view.horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff);
        QVERIFY(view.focusPolicy() == Qt::NoFocus);  // neither Tab nor a click reaches it
    }

    // Sideways scrolling stops once the end of the longest line (counted in characters,
    // not bytes) reached the right edge.
    void sidewaysScrollingEndsAtTheLongestLine() {
        Document doc;
        std::string kanji;
        for (int i = 0; i < 200; ++i) kanji += bytes({0x88, 0x9F});  // 400 bytes, 200 characters
        doc.AppendLine(kanji);
        doc.AppendLine(std::string(250, 'x') + "END");
        doc.AppendLine("short");
        MemoView view(doc);
        view.resize(300, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.showFirstLines();
        for (int i = 0; i < 100; ++i) QTest::keyClick(&view, Qt::Key_Right);
        const std::size_t end = view.horizontalOffset();
        QCOMPARE(end, view.maximumHorizontalOffset());
        QVERIFY(end > 200 && end < 253);
        const QString tail = displayText(doc.LineAt(1), end, 1000);
        QVERIFY(tail.endsWith("END"));
        QVERIFY(view.fontMetrics().horizontalAdvance(tail) <= view.viewport()->width());
        QVERIFY(view.fontMetrics().horizontalAdvance(displayText(doc.LineAt(1), end - 1, 1000)) >
                view.viewport()->width() - 2);
    }
};

}  // namespace velmor

QTEST_MAIN(velmor::MemoViewTest)
#include "memoview_test.moc"
