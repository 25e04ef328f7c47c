#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

#include "commands/userdialogs.h"

class QKeyEvent;
class QPushButton;

namespace velmor {

// The modal message box every notice and question of the program goes through:
// a caption and icon chosen by the kind, the text in a label named "Message"
// (the icon in one named "Image"), and one row of push buttons chosen by the
// button set, each named after its button ("Yes", "No", "OK", "Cancel", ...).
class TMessageForm : public QDialog {
    Q_OBJECT

  public:
    // `text` is UTF-8 and may hold CR LF line breaks.
    TMessageForm(std::string_view text, MsgKind kind, MsgButtons buttons,
                 QWidget* parent = nullptr);

    // Shows the box modally and returns the result code of the button that
    // answered it; 2 when it was closed by its close box or when the
    // application quit while it was open.
    int execute();

    // The plain-text copy that Ctrl+C puts on the clipboard (CR LF line ends).
    QString copyText() const;

    // The buttons left to right.
    const std::vector<QPushButton*>& buttons() const { return buttons_; }
    // The button Escape presses, or nullptr when the set has none.
    QPushButton* cancelButton() const { return cancel_; }

  public slots:
    // The close box and the system menu answer 2, whatever the buttons.
    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void createButtons(MsgButtons set);
    void layOut(bool hasIcon);
    void copyToClipboard();

    std::string text_;
    std::vector<QPushButton*> buttons_;
    std::vector<QChar> accelerators_;  // per button; null when it has none
    QPushButton* cancel_ = nullptr;
};

// Creates a TMessageForm over the active window, runs it modally, destroys it
// and returns the result code.
int showMessageBox(std::string_view text, MsgKind kind, MsgButtons buttons);

}  // namespace velmor
