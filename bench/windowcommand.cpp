#include "windowcommand.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/memoview.h"
#include "app/unit1.h"
#include "measure.h"
#include "yesdialogs.h"

namespace velmor::bench {

namespace {

using Clock = std::chrono::steady_clock;

// Yes to every question, and OUTPUT in the file-save dialog.
class SavingDialogs : public YesDialogs {
  public:
    explicit SavingDialogs(std::string output) : output_(std::move(output)) {}
    bool runFileDialog(FileDialogKind kind, FileDialogState& state) override {
        if (kind != FileDialogKind::Save) return false;
        state.fileName = output_;
        return true;
    }

  private:
    std::string output_;
};

int usage() {
    std::fprintf(stderr, "usage: velmor-bench window --to-sjis|--to-velmor INPUT OUTPUT\n");
    return 2;
}

double msSince(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

}  // namespace

int runWindow(int argc, char** argv) {
    if (argc != 4) return usage();
    const bool toSjis = std::strcmp(argv[1], "--to-sjis") == 0;
    if (!toSjis && std::strcmp(argv[1], "--to-velmor") != 0) return usage();
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    char name[] = "velmor-bench";
    char* qtArgv[] = {name, nullptr};
    QApplication app(qtArgc, qtArgv);
    SavingDialogs dialogs(argv[3]);
    TForm1 form(&dialogs);
    form.resize(1280, 800);
    form.show();
    QApplication::processEvents();
    const auto paint = [&] { form.Memo1->viewport()->repaint(); };

    auto start = Clock::now();
    form.openFile(argv[2]);
    paint();
    const double open = msSince(start);
    const bool opened = form.workspace().document.TextSize() > 0;
    start = Clock::now();
    toSjis ? form.velmor_sjisClick() : form.sjis_velmorClick();
    paint();
    const double convert = msSince(start);
    start = Clock::now();
    form.SaveAs1Click();
    const double save = msSince(start);
    std::error_code unknown;
    const auto saved = std::filesystem::file_size(argv[3], unknown);
    if (!opened || !dialogs.notices.empty() || unknown) {
        std::fprintf(stderr, "velmor-bench: the window did not open, convert and save %s\n",
                     argv[2]);
        return 1;
    }
    std::printf("open     %10.3f ms\n", open);
    std::printf("convert  %10.3f ms\n", convert);
    std::printf("save     %10.3f ms\n", save);
    std::printf("peak-rss %10.1f MB\n", peakRssMb());
    std::printf("saved    %10.1f MB\n", static_cast<double>(saved) / (1 << 20));
    return 0;
}

}  // namespace velmor::bench
