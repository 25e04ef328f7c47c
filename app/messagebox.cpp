#include "messagebox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <array>
#include <initializer_list>

#include "commands/messages.h"
#include "document/errors.h"
#include "errordisplay.h"
#include "platform.h"

namespace velmor {

namespace {

struct KindInfo {
    const char* caption;  // nullptr: the application title
    QStyle::StandardPixmap icon;
    bool hasIcon;
};

// Indexed by MsgKind.
constexpr std::array<KindInfo, 5> kKinds{{
    {"警告", QStyle::SP_MessageBoxWarning, true},
    {"エラー", QStyle::SP_MessageBoxCritical, true},
    {"情報", QStyle::SP_MessageBoxInformation, true},
    {"確認", QStyle::SP_MessageBoxQuestion, true},
    {nullptr, QStyle::SP_CustomBase, false},
}};

struct ButtonInfo {
    MsgButton bit;
    const char* name;
    const char* caption;  // "&" marks the accelerator letter
    int result;           // 0: the button does not close the box
};

// In the left-to-right order of the row.
constexpr std::array<ButtonInfo, 11> kButtons{{
    {mbYes, "Yes", "はい(&Y)", mrYes},
    {mbNo, "No", "いいえ(&N)", mrNo},
    {mbOK, "OK", "OK", mrOk},
    {mbCancel, "Cancel", "キャンセル", mrCancel},
    {mbAbort, "Abort", "中止(&A)", mrAbort},
    {mbRetry, "Retry", "再試行(&R)", mrRetry},
    {mbIgnore, "Ignore", "無視(&I)", mrIgnore},
    {mbAll, "All", "すべて(&A)", mrAll},
    {mbNoToAll, "NoToAll", "すべていいえ(&O)", mrNoToAll},
    {mbYesToAll, "YesToAll", "すべてはい(&A)", mrYesToAll},
    {mbHelp, "Help", "ヘルプ(&H)", mrNone},
}};

constexpr int kIconSize = 32;
constexpr int kDivider = 27;

// Sizes in dialog units: quarters of the average character width across,
// eighths of the line height down.
struct DialogUnits {
    int charWidth;
    int lineHeight;
    int across(int quarters) const { return (quarters * charWidth + 2) / 4; }
    int down(int eighths) const { return (eighths * lineHeight + 4) / 8; }
};

QChar acceleratorOf(const QString& caption) {
    const qsizetype amp = caption.indexOf(u'&');
    if (amp < 0 || amp + 1 >= caption.size()) return QChar();
    return caption.at(amp + 1).toUpper();
}

QString withoutAmpersands(QString caption) {
    return caption.remove(u'&');
}

}  // namespace

TMessageForm::TMessageForm(std::string_view text, MsgKind kind, MsgButtons buttons, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      text_(text) {
    const KindInfo& info = kKinds.at(static_cast<std::size_t>(kind));
    setWindowTitle(QString::fromUtf8(info.caption ? info.caption : kAppTitle));
    setFont(platform().messageFont());

    if (info.hasIcon) {
        auto* image = new QLabel(this);
        image->setObjectName("Image");
        image->setPixmap(style()->standardIcon(info.icon).pixmap(kIconSize, kIconSize));
    }
    auto* message = new QLabel(this);
    message->setObjectName("Message");
    message->setTextFormat(Qt::PlainText);
    message->setWordWrap(true);
    message->setText(
        QString::fromUtf8(text_).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

    createButtons(buttons);
    layOut(info.hasIcon);
}

void TMessageForm::createButtons(MsgButtons set) {
    std::array<QPushButton*, kButtons.size()> byIndex{};
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        const ButtonInfo& info = kButtons[i];
        if (!(set & info.bit)) continue;
        auto* button = new QPushButton(QString::fromUtf8(info.caption), this);
        button->setObjectName(info.name);
        button->setAutoDefault(true);
        if (info.result != mrNone) {
            const int result = info.result;
            connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        }
        buttons_.push_back(button);
        accelerators_.push_back(acceleratorOf(button->text()));
        byIndex[i] = button;
    }
    // The first of `preference` that the set has.
    const auto pick = [&](std::initializer_list<MsgButton> preference) -> QPushButton* {
        for (MsgButton bit : preference) {
            for (std::size_t i = 0; i < kButtons.size(); ++i) {
                if (kButtons[i].bit == bit && byIndex[i]) return byIndex[i];
            }
        }
        return nullptr;
    };
    if (QPushButton* defaultButton = pick({mbOK, mbYes, mbRetry})) defaultButton->setDefault(true);
    cancel_ = pick({mbCancel, mbNo, mbOK});
    // Enter presses the focused button, and the row starts with the first one.
    if (!buttons_.empty()) buttons_.front()->setFocus();
}

void TMessageForm::layOut(bool hasIcon) {
    const QFontMetrics metrics(font());
    const DialogUnits du{std::max(1, metrics.averageCharWidth()), metrics.height()};
    const int margin = du.across(8);
    const int marginDown = du.down(8);
    const int spacing = du.across(10);
    const int spacingDown = du.down(10);
    const int buttonGap = du.across(4);

    const QSize screen = platform().screenSize();
    auto* message = findChild<QLabel*>("Message");
    const int textFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextExpandTabs;
    message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const QRect textRect = metrics.boundingRect(QRect(0, 0, std::max(1, screen.width() / 2), 0),
                                                textFlags, message->text());

    int buttonWidth = du.across(50);
    int buttonHeight = du.down(14);
    for (QPushButton* button : buttons_) {
        buttonWidth =
            std::max(buttonWidth, metrics.horizontalAdvance(withoutAmpersands(button->text())) + 8);
        buttonHeight = std::max(buttonHeight, button->sizeHint().height());
    }
    const int count = static_cast<int>(buttons_.size());
    const int rowWidth = count * buttonWidth + std::max(0, count - 1) * buttonGap;

    const int textLeft = margin + (hasIcon ? kIconSize + spacing : 0);
    const int contentHeight = std::max(textRect.height(), hasIcon ? kIconSize : 0);
    const int buttonsTop = marginDown + contentHeight + spacingDown;
    const int width = std::max(textLeft + textRect.width() + margin, rowWidth + 2 * margin);
    const int height = buttonsTop + (count ? buttonHeight : 0) + marginDown;

    if (auto* image = findChild<QLabel*>("Image")) {
        image->setGeometry(margin, marginDown, kIconSize, kIconSize);
    }
    message->setGeometry(textLeft, marginDown, textRect.width(), textRect.height());
    int left = (width - rowWidth) / 2;
    for (QPushButton* button : buttons_) {
        button->setGeometry(left, buttonsTop, buttonWidth, buttonHeight);
        left += buttonWidth + buttonGap;
    }
    setFixedSize(width, height);
    move((screen.width() - width) / 2, (screen.height() - height) / 2);
}

int TMessageForm::execute() {
    QPointer<TMessageForm> self(this);
    const int answer = exec();
    if (!self) return mrCancel;
    // No button answers 0, so 0 means the modal loop was ended from outside (the
    // application quitting) with the box still open.
    if (answer == mrNone) {
        hide();
        return mrCancel;
    }
    return answer;
}

void TMessageForm::reject() {
    done(mrCancel);
}

QString TMessageForm::copyText() const {
    const QString divider = QString(kDivider, u'-') + QStringLiteral("\r\n");
    QString buttonLine;
    for (const QPushButton* button : buttons_) {
        buttonLine += withoutAmpersands(button->text()) + QStringLiteral("   ");
    }
    return divider + windowTitle() + QStringLiteral("\r\n") + divider + QString::fromUtf8(text_) +
           QStringLiteral("\r\n") + divider + buttonLine + QStringLiteral("\r\n") + divider;
}

void TMessageForm::copyToClipboard() {
    platform().beep();
    if (!platform().setClipboardText(copyText())) throw Exception(kMsgClipboardError);
}

void TMessageForm::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() &
        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (event->key() == Qt::Key_C && modifiers == Qt::ControlModifier) {
        // The box stays open whatever happens to the copy.
        runCommand([this] { copyToClipboard(); });
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        if (cancel_) cancel_->click();
        return;
    }
    if (modifiers == Qt::NoModifier || modifiers == Qt::AltModifier) {
        const int key = event->key();
        if (key >= Qt::Key_A && key <= Qt::Key_Z) {
            const QChar letter(u'A' + (key - Qt::Key_A));
            for (std::size_t i = 0; i < buttons_.size(); ++i) {
                if (accelerators_[i] == letter) {
                    buttons_[i]->click();
                    return;
                }
            }
        }
    }
    QDialog::keyPressEvent(event);
}

int showMessageBox(std::string_view text, MsgKind kind, MsgButtons buttons) {
    QPointer<TMessageForm> box =
        new TMessageForm(text, kind, buttons, QApplication::activeWindow());
    const int answer = box->execute();
    delete box.data();
    return answer;
}

}  // namespace velmor
