#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "app/errordisplay.h"
#include "commands/messages.h"
#include "document/errors.h"
#include "modalanswer.h"
#include "recordederrors.h"

using namespace velmor;
using velmor::testing::RecordedErrors;

namespace {

class ECancelledByUser : public EAbort {};

}  // namespace

class ErrorDisplayTest : public QObject {
    Q_OBJECT

  private slots:
    void periodRule() {
        const struct {
            const char* message;
            const char* shown;
        } cases[] = {
            {"abc", "abc."},
            {"abc.", "abc."},
            {"abc ", "abc "},
            {"abc!", "abc!"},
            {"abc-", "abc-"},   // '-' sorts just before '.'
            {"abc/", "abc/."},  // '/' just after
            {"", ""},
            {"ファイルが見つかりません", "ファイルが見つかりません."},
            {"完了。", "完了。."},
            {"ｱ", "ｱ."},
            {"abc\r\n", "abc\r\n"},
        };
        for (const auto& c : cases) QCOMPARE(errorDisplayText(c.message), std::string(c.shown));
    }

    void whatEachErrorShows() {
        RecordedErrors errors;
        int reached = 0;
        runCommand([] { throw EAbort(); });
        ++reached;
        runCommand([] { throw ECancelledByUser(); });
        ++reached;
        QVERIFY(errors.texts.empty());

        runCommand([] { throw EInOutError(2, "ファイルが見つかりません"); });
        runCommand([] { throw EInvalidOperation("Text too long"); });
        runCommand([] { throw std::bad_alloc(); });
        runCommand([] { throw std::runtime_error("disk gone"); });
        runCommand([] { throw 42; });
        runCommand([] {});
        ++reached;
        QCOMPARE(reached, 3);
        QCOMPARE(errors.texts,
                 (std::vector<std::string>{"ファイルが見つかりません.", "Text too long.",
                                           "メモリが足りません.", "disk gone.", ""}));
    }

    // A file error adds a line: the file, and the system's reason or the program's own.
    void fileErrorsNameTheFileAndTheReason() {
        RecordedErrors errors;
        runCommand([] { throw EInOutError(5, "拒否", "/data/\x83\x65.txt", EACCES); });
        runCommand([] { throw EInOutError(105, "I/O エラー (105)", "/dev/null", 0); });
        QCOMPARE(errors.texts, (std::vector<std::string>{"拒否.", "I/O エラー (105)"}));
        QCOMPARE(errors.details,
                 (std::vector<std::string>{std::string("/data/テ.txt: ") + std::strerror(EACCES),
                                           "/dev/null: 通常のファイルではありません"}));
    }

    void commandStopsWhereTheErrorArose() {
        RecordedErrors errors;
        std::vector<int> steps;
        runCommand([&] {
            steps.push_back(1);
            throw EInOutError(5, "アクセスが拒否されました");
            steps.push_back(2);
        });
        QCOMPARE(steps, std::vector<int>{1});
        QCOMPARE(errors.texts.size(), std::size_t(1));
    }

    void realBoxHasTitleStopIconAndOk() {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QList<QAbstractButton*> buttons;
        Qt::TextFormat format = Qt::AutoText;
        int width = 0;
        velmor::testing::answerModal<int>(
            [] {
                runCommand([] { throw EInOutError(3, "<b>C:\\data</b> が見つかりません"); });
                return 0;
            },
            [&](QWidget* widget) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (!box) return;
                title = box->windowTitle();
                text = box->text();
                icon = box->icon();
                format = box->textFormat();
                buttons = box->buttons();
                width = box->width();
                QVERIFY(box->isModal());
                box->button(QMessageBox::Ok)->click();
            });
        QCOMPARE(title, QString::fromUtf8(kAppTitle));
        QCOMPARE(text, QString::fromUtf8("<b>C:\\data</b> が見つかりません."));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(buttons.size(), 1);
        // Wide enough for the whole title beside the title bar's buttons.
        QVERIFY(width > QFontMetrics(QApplication::font()).horizontalAdvance(title) + 100);
    }
};

QTEST_MAIN(ErrorDisplayTest)
#include "errordisplay_test.moc"
