#pragma once

#include <QApplication>

#include "app/platform.h"

namespace velmor::testing {

// Platform services with a fixed screen, a clipboard that can be made to fail
// and a beep counter. Installed for the life of the object.
class FakePlatform : public Platform {
  public:
    FakePlatform() : previous_(installPlatform(this)) {}
    ~FakePlatform() override { installPlatform(previous_); }
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    QSize screenSize() const override { return screen; }
    QSize desktopSize() const override { return desktop.isValid() ? desktop : screen; }
    bool setClipboardText(const QString& text) override {
        if (!clipboardWorks) return false;
        clipboard = text;
        return true;
    }
    void beep() override { ++beeps; }
    QFont messageFont() const override { return QApplication::font("QMessageBox"); }

    QSize screen{800, 600};
    QSize desktop;  // the screen's size unless set
    bool clipboardWorks = true;
    QString clipboard;
    int beeps = 0;

  private:
    Platform* previous_;
};

}  // namespace velmor::testing
