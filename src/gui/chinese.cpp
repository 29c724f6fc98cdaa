#include "chinese.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installChineseTranslations(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    // Dates and numbers in Qt's dialogs follow too.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    return true;
}
