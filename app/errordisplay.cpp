#include "errordisplay.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QWidget>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "commands/filenametext.h"
#include "commands/messages.h"
#include "document/errors.h"
#include "document/ioerror.h"

namespace velmor {

namespace {

ErrorSink& sink() {
    static ErrorSink current;
    return current;
}

// Window managers set titles in bold, beside an icon and up to three buttons.
constexpr int kTitleBarExtras = 160;

// A message box is as wide as its text; a short message would cut the title.
// QMessageBox ignores a minimum width, but not an empty item of that width.
void reserveTitleWidth(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    QFont bold = box.font();
    bold.setBold(true);
    const int width = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + kTitleBarExtras;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

std::string errorDisplayText(std::string_view message) {
    std::string text(message);
    // Every byte of a multi-byte UTF-8 character is 0x80 or above, so the last
    // byte alone tells whether the last character sorts after ".".
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
    return text;
}

std::string fileErrorDetail(const std::string& fileName, int systemError, int code) {
    std::string detail = displayFileName(fileName);
    std::string description;
    if (systemError != 0) {
        char buffer[256];
        description = strerror_r(systemError, buffer, sizeof buffer);
        if (!isUtf8(description)) description = "errno " + std::to_string(systemError);
    } else if (code == kIoNotRegularFile) {
        description = kMsgNotRegularFile;
    }
    if (!detail.empty() && !description.empty()) detail += ": ";
    return detail + description;
}

std::optional<std::string> errorTextFor(const std::exception_ptr& error) {
    if (!error) return std::nullopt;
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return std::nullopt;
    } catch (const EInOutError& e) {
        // The fixed message first, then which file and what the system said.
        const std::string detail = fileErrorDetail(e.FileName, e.SystemError, e.ErrorCode);
        return errorDisplayText(e.what()) + (detail.empty() ? "" : "\n" + detail);
    } catch (const std::bad_alloc&) {
        return errorDisplayText(kMsgOutOfMemory);
    } catch (const std::exception& e) {
        return errorDisplayText(e.what());
    } catch (...) {
        return std::string();
    }
}

void showError(const std::exception_ptr& error) {
    const std::optional<std::string> text = errorTextFor(error);
    if (!text) return;
    if (sink()) {
        sink()(*text);
    } else {
        showErrorBox(*text);
    }
}

void runCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (...) {
        showError(std::current_exception());
    }
}

ErrorSink installErrorSink(ErrorSink next) {
    return std::exchange(sink(), std::move(next));
}

void showErrorBox(const std::string& text) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        // No windows can be shown before the application object exists.
        std::fprintf(stderr, "%s\n", text.c_str());
        return;
    }
    // A drag in progress would keep the mouse from reaching the box.
    if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();

    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kAppTitle), QString::fromUtf8(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    // Messages hold file names; never let one be read as markup.
    box.setTextFormat(Qt::PlainText);
    reserveTitleWidth(box);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace velmor
