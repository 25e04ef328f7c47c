#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace velmor::testing {

// Runs `answer` on the modal window from inside its modal loop, as soon as
// `open` has shown one. A window still open after five seconds is closed with
// result -1, so a broken answer fails the test instead of hanging it.
template <typename Result>
Result answerModal(const std::function<Result()>& open,
                   const std::function<void(QWidget*)>& answer) {
    QTimer::singleShot(0, [answer] { answer(QApplication::activeModalWidget()); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->done(-1);
        }
    });
    watchdog.start(5000);
    return open();
}

}  // namespace velmor::testing
