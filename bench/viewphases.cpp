#include "viewphases.h"

#include <QApplication>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "app/memoview.h"
#include "document/document.h"
#include "document/linebreaks.h"
#include "document/loadsave.h"
#include "measure.h"

namespace velmor::bench {

namespace {

// The first `lineCount` lines of `text`, cycling through it, each ended by CR LF.
std::string repeatLines(const std::string& text, std::size_t lineCount) {
    if (text.empty()) throw std::runtime_error("no text for the view");
    std::string out;
    std::size_t pos = 0, lines = 0;
    while (lines < lineCount) {
        std::size_t end = findLineEnd(text, pos);
        out.append(text, pos, end - pos);
        out += "\r\n";
        ++lines;
        pos = end + 2 >= text.size() ? 0 : end + 2;
    }
    return out;
}

std::size_t paintedBytes(const Document& doc, const MemoView& view) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < view.linesReadByLastPaint(); ++i) {
        bytes += doc.LineAt(view.firstVisibleLine() + i).size();
    }
    return bytes;
}

}  // namespace

ViewTimes measureView(const std::string& text, const std::string& path, std::size_t lineCount,
                      int runs) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "velmor-bench";
    static char* argv[] = {name, nullptr};
    // Declared first, so it outlives the view.
    std::unique_ptr<QApplication> ownApp;
    if (qApp == nullptr) ownApp = std::make_unique<QApplication>(argc, argv);

    ViewTimes times;
    {
        std::unique_ptr<Document> opened;
        std::unique_ptr<MemoView> openView;
        times.openSeconds = medianSeconds(
            runs,
            [&] {
                openView.reset();
                opened = std::make_unique<Document>();
            },
            [&] {
                memo1set(*opened, path);
                openView = std::make_unique<MemoView>(*opened);
                openView->resize(1920, 1080);
                openView->show();
                openView->showLastLines();
                openView->viewport()->repaint();
            });
    }

    const std::string lines = repeatLines(text, lineCount);
    times.documentBytes = lines.size();

    auto doc = std::make_unique<Document>();
    times.indexSeconds = medianSeconds(
        runs,
        [&] {
            doc = std::make_unique<Document>();
            doc->ReplaceText(lines);
        },
        // Each piece's line index is built the first time a line of it is asked for.
        [&] {
            for (std::size_t i = 0; i < doc->pieceCount(); ++i) doc->LineAt(doc->pieceFirstLine(i));
        });

    MemoView view(*doc);
    view.resize(1920, 1080);
    view.show();
    QApplication::processEvents();
    auto paint = [&](bool bottom) {
        bottom ? view.showLastLines() : view.showFirstLines();
        view.viewport()->repaint();
        if (view.linesReadByLastPaint() == 0) throw std::runtime_error("the view painted nothing");
    };
    times.paintTopSeconds = medianSeconds(
        runs, [] {}, [&] { paint(false); });
    times.paintTopBytes = paintedBytes(*doc, view);
    times.paintBottomSeconds = medianSeconds(
        runs, [] {}, [&] { paint(true); });
    times.paintBottomBytes = paintedBytes(*doc, view);
    return times;
}

}  // namespace velmor::bench
