#include "qttranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace velmor {

bool installQtJapanese() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    // Dates and sizes in the file dialogs read the Japanese way too.
    QLocale::setDefault(japanese);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(japanese, "qtbase", "_", folder)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

}  // namespace velmor
