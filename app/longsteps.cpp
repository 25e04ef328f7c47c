#include "longsteps.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "commands/messages.h"
#include "document/threads.h"

namespace velmor {

namespace {

constexpr auto kQuietTime = std::chrono::milliseconds(500);
constexpr int kPollMs = 50;
constexpr int kScale = 1000;

// A progress box that only ever asks the step to stop: Cancel, Escape and the close
// box never close it; it closes when the worker has ended.
class StepDialog : public QProgressDialog {
  public:
    StepDialog(QWidget* owner, StepKind kind, const QString& label, Progress& progress)
        : QProgressDialog(label, QString::fromUtf8("キャンセル"), 0, kScale, owner),
          kind_(kind),
          progress_(progress) {
        setWindowTitle(QString::fromUtf8(kAppTitle));
        setWindowModality(Qt::ApplicationModal);
        setAutoClose(false);
        setAutoReset(false);
        setMinimumDuration(0);
        // QProgressDialog would hide itself on Cancel; the worker must end first.
        disconnect(this, &QProgressDialog::canceled, this, &QProgressDialog::cancel);
        connect(this, &QProgressDialog::canceled, this, &StepDialog::askToStop);
    }

    void reject() override { askToStop(); }

    // The step can no longer be stopped (Progress::commit): キャンセル goes grey.
    void showLockedIn() {
        if (auto* button = findChild<QPushButton*>()) button->setEnabled(false);
    }

  protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        askToStop();
    }

  private:
    void askToStop() {
        // Once a save replaces the old file, or a conversion gives up the old text, it
        // goes on to its end.
        if (!progress_.cancel()) {
            setLabelText(QString::fromUtf8(kind_ == StepKind::Convert ? kMsgConvertCancelTooLate
                                                                      : kMsgCancelTooLate));
        }
        if (auto* button = findChild<QPushButton*>()) button->setEnabled(false);
    }

    StepKind kind_;
    Progress& progress_;
};

QString labelFor(StepKind kind) {
    switch (kind) {
        case StepKind::Load:
            return QString::fromUtf8("ファイルを読み込んでいます...");
        case StepKind::Convert:
            return QString::fromUtf8("変換しています...");
        case StepKind::Find:
            return QString::fromUtf8("検索しています...");
        case StepKind::Save:
            break;
    }
    return QString::fromUtf8("ファイルを保存しています...");
}

}  // namespace

void runLongStep(QWidget* owner, StepKind kind, Progress& progress,
                 const std::function<void()>& step) {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    Thread worker = Thread::start([&] {
        // Told however the step ends; what it threw is rethrown by join().
        struct Done {
            std::mutex& mutex;
            std::condition_variable& ended;
            bool& done;
            ~Done() {
                std::lock_guard lock(mutex);
                done = true;
                ended.notify_all();
            }
        } tellDone{mutex, ended, done};
        step();
    });
    // Without a thread the step runs here, with no box to show meanwhile.
    if (!worker.running()) return step();
    const auto hasEnded = [&](std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex);
        return ended.wait_for(lock, wait, [&] { return done; });
    };
    // Most steps end within the quiet time and show nothing.
    if (!hasEnded(kQuietTime)) {
        StepDialog dialog(owner, kind, labelFor(kind), progress);
        if (progress.total() == 0) dialog.setRange(0, 0);  // size unknown: no percent
        if (progress.committed()) dialog.showLockedIn();
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (progress.committed()) dialog.showLockedIn();
            if (hasEnded(std::chrono::milliseconds(0))) {
                loop.quit();
            } else if (progress.total() > 0) {
                const double share = static_cast<double>(progress.done()) / progress.total();
                dialog.setValue(std::min(kScale - 1, static_cast<int>(share * kScale)));
            }
        });
        poll.start(kPollMs);
        dialog.show();
        loop.exec();
    }
    worker.join();  // rethrows what the step threw
}

}  // namespace velmor
