#pragma once

#include <QFont>
#include <QSize>
#include <QString>

namespace velmor {

// The few desktop services the windows and boxes rely on, behind one interface so
// tests can run offscreen with a fixed screen or a failing clipboard.
class Platform {
  public:
    virtual ~Platform() = default;
    // Size of the whole primary screen in device pixels. The window starts with half
    // of it in device-independent pixels, so that it grows with the screen's scale.
    virtual QSize screenSize() const = 0;
    // Size of the whole desktop in device-independent pixels: the area of all
    // monitors together.
    virtual QSize desktopSize() const = 0;
    // Puts plain text on the clipboard, replacing its contents. Returns false when
    // the clipboard cannot be taken.
    virtual bool setClipboardText(const QString& text) = 0;
    // The desktop's default beep.
    virtual void beep() = 0;
    // The font message boxes are set in.
    virtual QFont messageFont() const = 0;
};

// The services in use: Qt's, unless a test installed others.
Platform& platform();

// Installs `services` (not owned) and returns the previous ones; nullptr puts
// Qt's services back.
Platform* installPlatform(Platform* services);

// Qt's implementation; needs a QApplication.
class QtPlatform : public Platform {
  public:
    QSize screenSize() const override;
    QSize desktopSize() const override;
    bool setClipboardText(const QString& text) override;
    void beep() override;
    QFont messageFont() const override;
};

}  // namespace velmor
