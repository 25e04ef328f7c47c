// Project1: the program's start-up. It reads no command-line arguments of its own.
#include <QApplication>
#include <QIcon>

#include "unit1.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setWindowIcon(QIcon(":/velmor-kanji.svg"));
    velmor::TForm1 Form1;
    Form1.show();
    // When the loop ends the process ends: the window is destroyed without asking
    // anything again.
    return app.exec();
}
