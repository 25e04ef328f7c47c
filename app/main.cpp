// Project1: the program's start-up. `velmor-kanji [FILE]` opens FILE as Open would.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <string>

#include "processstart.h"
#include "qttranslation.h"
#include "unit1.h"

int main(int argc, char** argv) {
    velmor::prepareWindowProcess();
    QApplication app(argc, argv);
    // QApplication has taken its own options out of argv; what is left is ours.
    if (argc > 2) {
        std::fprintf(stderr, "usage: velmor-kanji [FILE]\n");
        return 2;
    }
    if (!velmor::installQtJapanese()) {
        std::fprintf(stderr, "velmor-kanji: Qt's Japanese translation is not installed\n");
    }
    app.setWindowIcon(QIcon(":/velmor-kanji.svg"));
    velmor::TForm1 Form1;
    Form1.show();
    Form1.loadUserGaijiTable();
    // What an interrupted earlier run left is offered back before anything else.
    QMetaObject::invokeMethod(
        &Form1, [&Form1] { Form1.offerKeptFiles(); }, Qt::QueuedConnection);
    if (argc == 2) {
        // The file name's bytes as given, opened once the window is up, so an error
        // box shows over it.
        const std::string path = argv[1];
        QMetaObject::invokeMethod(
            &Form1, [&Form1, path] { Form1.openFile(path); }, Qt::QueuedConnection);
    }
    // When the loop ends the process ends: the window is destroyed without asking
    // anything again.
    return app.exec();
}
