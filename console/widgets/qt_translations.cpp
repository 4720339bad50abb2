#include "console/widgets/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>

bool InstallQtChineseTranslations()
{
    // Debian's qt6-translations-l10n puts qtbase_zh_CN.qm there.
    static QTranslator *translator = nullptr;
    if (translator)
        return true;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto *loaded = new QTranslator(QCoreApplication::instance());
    if (!loaded->load(QStringLiteral("qtbase_zh_CN"), folder)) {
        std::fprintf(stderr, "kelvor-server: Qt's Chinese texts (qtbase_zh_CN.qm) are not in %s; "
                             "install qt6-translations-l10n\n",
                     folder.toLocal8Bit().constData());
        delete loaded;
        return false;
    }
    QCoreApplication::installTranslator(loaded);
    translator = loaded;
    return true;
}
