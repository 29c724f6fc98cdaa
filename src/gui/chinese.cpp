#include "chinese.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installChineseTranslations(QCoreApplication &app)
{
    // The program's own texts first: they do not depend on Qt's files.
    auto *own = new QTranslator(&app);
    if (own->load(QStringLiteral(":/i18n/feeoffice_zh_CN.qm")))
        QCoreApplication::installTranslator(own);
    else
        delete own;
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
