#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "app/errordisplay.h"
#include "app/messagebox.h"
#include "commands/messages.h"
#include "fakeplatform.h"
#include "modalanswer.h"
#include "recordederrors.h"

using namespace velmor;
using velmor::testing::FakePlatform;
using velmor::testing::RecordedErrors;

namespace {

QString utf8(const char* text) {
    return QString::fromUtf8(text);
}

TMessageForm* openBox(QWidget* widget) {
    auto* box = qobject_cast<TMessageForm*>(widget);
    if (!box) qWarning("no message box is open");
    return box;
}

// Sends a key to whatever has the focus in the box, as a keyboard would.
void press(TMessageForm* box, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    if (!target || target->window() != box) target = box;
    QTest::keyClick(target, key, modifiers);
}

// Shows a real box and answers it with `answer` from inside its modal loop.
int showAndAnswer(const char* text, MsgKind kind, MsgButtons set,
                  const std::function<void(TMessageForm*)>& answer) {
    return velmor::testing::answerModal<int>([&] { return showMessageBox(text, kind, set); },
                                             [answer](QWidget* widget) {
                                                 TMessageForm* box = openBox(widget);
                                                 if (!box) return;
                                                 // Keys reach the focused button only once the
                                                 // window is active.
                                                 if (!QTest::qWaitForWindowActive(box))
                                                     qWarning("message box not activated");
                                                 answer(box);
                                             });
}

struct ButtonSet {
    const char* label;
    MsgButtons set;
    QStringList names;
    QStringList captions;
    QString defaultName;
    QString cancelName;
    int escape;
    // Accelerator letters with the result each gives.
    std::vector<std::pair<Qt::Key, int>> accelerators;
};

std::vector<ButtonSet> setsInUse() {
    return {
        {"OK", mbOK, {"OK"}, {"OK"}, "OK", "OK", mrOk, {}},
        {"Yes+No",
         mbYes | mbNo,
         {"Yes", "No"},
         {utf8("はい(&Y)"), utf8("いいえ(&N)")},
         "Yes",
         "No",
         mrNo,
         {{Qt::Key_Y, mrYes}, {Qt::Key_N, mrNo}}},
        {"Yes+No+Cancel",
         mbYes | mbNo | mbCancel,
         {"Yes", "No", "Cancel"},
         {utf8("はい(&Y)"), utf8("いいえ(&N)"), utf8("キャンセル")},
         "Yes",
         "Cancel",
         mrCancel,
         {{Qt::Key_Y, mrYes}, {Qt::Key_N, mrNo}}},
        {"Yes+Cancel",
         mbYes | mbCancel,
         {"Yes", "Cancel"},
         {utf8("はい(&Y)"), utf8("キャンセル")},
         "Yes",
         "Cancel",
         mrCancel,
         {{Qt::Key_Y, mrYes}}},
    };
}

std::string divided(const std::vector<std::string>& parts) {
    const std::string divider = std::string(27, '-') + "\r\n";
    std::string out = divider;
    for (const std::string& part : parts) out += part + "\r\n" + divider;
    return out;
}

}  // namespace

class MessageBoxTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { platform_ = std::make_unique<FakePlatform>(); }
    void cleanup() { platform_.reset(); }

    void kindsGiveCaptionAndIcon() {
        const struct {
            MsgKind kind;
            const char* caption;
            bool icon;
        } kinds[] = {
            {MsgKind::Warning, "警告", true},     {MsgKind::Error, "エラー", true},
            {MsgKind::Information, "情報", true}, {MsgKind::Confirmation, "確認", true},
            {MsgKind::Custom, kAppTitle, false},
        };
        for (const auto& k : kinds) {
            TMessageForm box("<b>a & b</b>", k.kind, mbOK);
            QCOMPARE(box.windowTitle(), utf8(k.caption));
            auto* image = box.findChild<QLabel*>("Image");
            QCOMPARE(image != nullptr, k.icon);
            if (image) QCOMPARE(image->pixmap().deviceIndependentSize(), QSizeF(32, 32));
            auto* message = box.findChild<QLabel*>("Message");
            QVERIFY(message);
            // Texts hold file names: shown as they are, never as markup.
            QCOMPARE(message->textFormat(), Qt::PlainText);
            QCOMPARE(message->text(), QString("<b>a & b</b>"));
            QVERIFY(!image || message->x() > image->geometry().right());
        }
    }

    void buttonRowOfEachSet() {
        for (const ButtonSet& s : setsInUse()) {
            TMessageForm box("?", MsgKind::Confirmation, s.set);
            QStringList names, captions;
            int lastRight = -1;
            for (QPushButton* button : box.buttons()) {
                names << button->objectName();
                captions << button->text();
                QVERIFY2(button->x() > lastRight, s.label);
                QCOMPARE(button->width(), box.buttons().front()->width());
                QCOMPARE(button->y(), box.buttons().front()->y());
                QCOMPARE(button->isDefault(), button->objectName() == s.defaultName);
                lastRight = button->geometry().right();
            }
            QCOMPARE(names, s.names);
            QCOMPARE(captions, s.captions);
            QVERIFY(box.cancelButton());
            QCOMPARE(box.cancelButton()->objectName(), s.cancelName);
            // The row is centred in the box.
            const int leftGap = box.buttons().front()->x();
            const int rightGap = box.width() - 1 - lastRight;
            QVERIFY2(qAbs(leftGap - rightGap) <= 1, s.label);
        }
    }

    void keysAnswerEachSet() {
        for (const ButtonSet& s : setsInUse()) {
            const int first = s.names.front() == "OK" ? mrOk : mrYes;
            const auto check = [&](const char* what, const std::function<void(TMessageForm*)>& act,
                                   int expected) {
                const int got = showAndAnswer("?", MsgKind::Confirmation, s.set, act);
                if (got != expected) {
                    QFAIL(qPrintable(QString("%1, %2: got %3, expected %4")
                                         .arg(s.label, what)
                                         .arg(got)
                                         .arg(expected)));
                }
            };
            check(
                "focus",
                [&](TMessageForm* box) {
                    const bool firstFocused = QApplication::focusWidget() == box->buttons().front();
                    box->done(firstFocused ? 100 : 101);
                },
                100);
            check(
                "Enter", [](TMessageForm* b) { press(b, Qt::Key_Return); }, first);
            check(
                "keypad Enter", [](TMessageForm* b) { press(b, Qt::Key_Enter); }, first);
            check(
                "Space", [](TMessageForm* b) { press(b, Qt::Key_Space); }, first);
            check(
                "Escape", [](TMessageForm* b) { press(b, Qt::Key_Escape); }, s.escape);
            check(
                "close box", [](TMessageForm* b) { b->close(); }, mrCancel);
            for (const auto& [key, result] : s.accelerators) {
                check(
                    "letter", [key](TMessageForm* b) { press(b, key); }, result);
                check(
                    "Alt+letter", [key](TMessageForm* b) { press(b, key, Qt::AltModifier); },
                    result);
            }
            if (s.names.size() > 1) {
                const int second = s.names[1] == "No" ? mrNo : mrCancel;
                check(
                    "Tab, Enter",
                    [](TMessageForm* b) {
                        press(b, Qt::Key_Tab);
                        press(b, Qt::Key_Return);
                    },
                    second);
            }
            // A letter that is no button's accelerator, or one with Ctrl, answers nothing.
            check(
                "stray keys",
                [](TMessageForm* b) {
                    press(b, Qt::Key_Q);
                    press(b, Qt::Key_Y, Qt::ControlModifier);
                    b->done(b->isVisible() ? 100 : 101);
                },
                100);
        }
    }

    void everyButtonAndTheHelpButton() {
        const MsgButtons all = 2047;
        TMessageForm box("?", MsgKind::Warning, all);
        QStringList names;
        for (QPushButton* b : box.buttons()) names << b->objectName();
        QCOMPARE(names, QStringList({"Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore", "All",
                                     "NoToAll", "YesToAll", "Help"}));
        QCOMPARE(box.findChild<QPushButton*>("OK")->isDefault(), true);
        QCOMPARE(box.cancelButton()->objectName(), QString("Cancel"));
        // Buttons are widened to the widest caption plus 8 pixels.
        const QFontMetrics metrics(box.font());
        QVERIFY(box.buttons().front()->width() >=
                metrics.horizontalAdvance(utf8("すべていいえ(O)")) + 8);

        const int results[] = {6, 7, 1, 2, 3, 4, 5, 8, 9, 10};
        for (int i = 0; i < 10; ++i) {
            const int got = showAndAnswer("?", MsgKind::Warning, all,
                                          [i](TMessageForm* b) { b->buttons()[i]->click(); });
            QCOMPARE(got, results[i]);
        }
        // Help has no help to show and leaves the box open.
        const int got = showAndAnswer("?", MsgKind::Warning, all, [](TMessageForm* b) {
            b->findChild<QPushButton*>("Help")->click();
            if (b->isVisible()) b->findChild<QPushButton*>("Retry")->click();
        });
        QCOMPARE(got, mrRetry);
    }

    void retryIsDefaultWithoutOkOrYes() {
        const MsgButtons set = mbAbort | mbRetry | mbIgnore;
        TMessageForm box("?", MsgKind::Error, set);
        QVERIFY(box.findChild<QPushButton*>("Retry")->isDefault());
        QVERIFY(!box.cancelButton());
        // Without a cancel button Escape does nothing; the close box still gives 2.
        const int got = showAndAnswer("?", MsgKind::Error, set, [](TMessageForm* b) {
            press(b, Qt::Key_Escape);
            if (b->isVisible()) b->close();
        });
        QCOMPARE(got, mrCancel);
    }

    void ctrlCCopiesTheBox() {
        const struct {
            const char* text;
            MsgKind kind;
            MsgButtons set;
            std::string expected;
        } cases[] = {
            {"二重変換禁止です。\r\n一旦、閉じてから開き直して下さい。", MsgKind::Information, mbOK,
             divided(
                 {"情報", "二重変換禁止です。\r\n一旦、閉じてから開き直して下さい。", "OK   "})},
            {"ファイルが更新されています。保存しますか？", MsgKind::Confirmation,
             mbYes | mbNo | mbCancel,
             divided({"確認", "ファイルが更新されています。保存しますか？",
                      "はい(Y)   いいえ(N)   キャンセル   "})},
        };
        for (const auto& c : cases) {
            platform_->clipboard = "before";
            platform_->beeps = 0;
            const int got = showAndAnswer(c.text, c.kind, c.set, [&](TMessageForm* b) {
                press(b, Qt::Key_C, Qt::ControlModifier);
                b->done(b->isVisible() ? 100 : 101);
            });
            QCOMPARE(got, 100);
            QCOMPARE(platform_->clipboard.toUtf8().toStdString(), c.expected);
            QCOMPARE(platform_->beeps, 1);
        }
    }

    void ctrlWithOtherModifiersCopiesNothing() {
        platform_->clipboard = "before";
        showAndAnswer("x", MsgKind::Information, mbOK, [](TMessageForm* b) {
            press(b, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
            press(b, Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);
            b->done(1);
        });
        QCOMPARE(platform_->clipboard, QString("before"));
        QCOMPARE(platform_->beeps, 0);
    }

    void copyReachesTheRealClipboard() {
        platform_.reset();
        const int got = showAndAnswer("abc", MsgKind::Information, mbOK, [](TMessageForm* b) {
            press(b, Qt::Key_C, Qt::ControlModifier);
            press(b, Qt::Key_Return);
        });
        QCOMPARE(got, mrOk);
        QCOMPARE(QGuiApplication::clipboard()->text().toUtf8().toStdString(),
                 divided({"情報", "abc", "OK   "}));
    }

    void clipboardFailureGoesToTheErrorDisplay() {
        RecordedErrors errors;
        platform_->clipboardWorks = false;
        bool stayedOpen = false;
        const int got =
            showAndAnswer("x", MsgKind::Confirmation, mbYes | mbNo, [&](TMessageForm* b) {
                press(b, Qt::Key_C, Qt::ControlModifier);
                stayedOpen = b->isVisible();
                press(b, Qt::Key_N);
            });
        QVERIFY(stayedOpen);
        QCOMPARE(got, mrNo);
        QCOMPARE(errors.texts, std::vector<std::string>{"クリップボードを開くことができません."});
    }

    void longTextWrapsWithinHalfTheScreen() {
        QString words;
        for (int i = 0; i < 120; ++i) words += QString("word%1 ").arg(i);
        const std::string longText = words.toStdString();
        TMessageForm shortBox("short", MsgKind::Information, mbOK);
        TMessageForm longBox(longText, MsgKind::Information, mbOK);

        auto* message = longBox.findChild<QLabel*>("Message");
        QVERIFY(message->width() <= platform_->screen.width() / 2);
        QVERIFY(message->width() > platform_->screen.width() / 3);
        // Tall enough for every wrapped line the label draws at its width.
        QVERIFY(message->heightForWidth(message->width()) <= message->height());
        QVERIFY(message->height() >= 4 * QFontMetrics(message->font()).height());
        QVERIFY(longBox.height() > shortBox.height() + 3 * QFontMetrics(message->font()).height());
        QVERIFY(longBox.width() < platform_->screen.width() / 2 + 100);
        // Centred on the screen.
        QCOMPARE(longBox.pos(), QPoint((800 - longBox.width()) / 2, (600 - longBox.height()) / 2));
    }

    void japaneseTextWrapsToo() {
        QString text;
        for (int i = 0; i < 20; ++i) text += utf8("ファイルが更新されています。");
        TMessageForm box(text.toStdString(), MsgKind::Confirmation, mbYes | mbNo);
        auto* message = box.findChild<QLabel*>("Message");
        QVERIFY(message->width() <= platform_->screen.width() / 2);
        QVERIFY(message->heightForWidth(message->width()) <= message->height());
    }

    void quittingTheApplicationAnswersTwo() {
        for (const bool viaQuit : {true, false}) {
            int got = -1;
            QPointer<QWidget> box;
            QTimer::singleShot(0, [&] {
                QTimer::singleShot(0, [&] {
                    box = QApplication::activeModalWidget();
                    if (viaQuit) {
                        QCoreApplication::quit();
                    } else {
                        QCoreApplication::exit(0);
                    }
                });
                got = showMessageBox("?", MsgKind::Confirmation, mbYes | mbNo);
                QCoreApplication::exit(0);
            });
            QTimer watchdog;
            connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
            watchdog.start(5000);
            QCOMPARE(QCoreApplication::exec(), 0);
            QCOMPARE(got, mrCancel);
            QVERIFY(box.isNull());  // the box was destroyed
        }
    }

  private:
    std::unique_ptr<FakePlatform> platform_;
};

QTEST_MAIN(MessageBoxTest)
#include "messagebox_test.moc"
