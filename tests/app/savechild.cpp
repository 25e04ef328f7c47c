// The window's Save As in a process of its own, for the kill harness
// (tests/cli/kill_test.sh): starts as the program does, opens INPUT through the
// window, then saves it over TARGET with the menu command, the dialogs answered as a
// user would (the path chosen, Yes to overwriting). Usage: savechild INPUT TARGET
#include <QApplication>
#include <cstdio>

#include "app/processstart.h"
#include "app/unit1.h"
#include "recordederrors.h"
#include "support/scripteddialogs.h"

int main(int argc, char** argv) {
    velmor::prepareWindowProcess();
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: savechild INPUT TARGET\n");
        return 2;
    }
    velmor::testing::RecordedErrors errors;
    velmor::testing::ScriptedDialogs dialogs;
    dialogs.choose(argv[2]);
    dialogs.answerAllWith(velmor::mrYes);
    velmor::TForm1 form(&dialogs);
    form.openFile(argv[1]);
    form.SaveAs1Click();
    for (const std::string& text : errors.texts) std::fprintf(stderr, "%s\n", text.c_str());
    return errors.texts.empty() ? 0 : 1;
}
