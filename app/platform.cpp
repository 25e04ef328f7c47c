#include "platform.h"

#include <QApplication>
#include <QClipboard>
#include <QScreen>

namespace velmor {

namespace {

// Used only when no screen is attached at all, so layout still gets sane numbers.
constexpr QSize kFallbackScreen(640, 480);

QtPlatform qtPlatform;
Platform* current = &qtPlatform;

}  // namespace

Platform& platform() {
    return *current;
}

Platform* installPlatform(Platform* services) {
    Platform* previous = current;
    current = services ? services : &qtPlatform;
    return previous == &qtPlatform ? nullptr : previous;
}

QSize QtPlatform::screenSize() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->size() * screen->devicePixelRatio() : kFallbackScreen;
}

QSize QtPlatform::desktopSize() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualSize() : kFallbackScreen;
}

bool QtPlatform::setClipboardText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    clipboard->setText(text, QClipboard::Clipboard);
    // Qt reports no failure to take the clipboard; reading back tells whether the
    // text is really what the clipboard now offers.
    return clipboard->text(QClipboard::Clipboard) == text;
}

void QtPlatform::beep() {
    QApplication::beep();
}

QFont QtPlatform::messageFont() const {
    return QApplication::font("QMessageBox");
}

}  // namespace velmor
