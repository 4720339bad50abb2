#include "console/widgets/qt_translations.h"

#include "platform/error_line.h"
#include "platform/gbk.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool InstallQtChineseTranslations()
{
    // Debian's qt6-translations-l10n puts qtbase_zh_CN.qm there.
    static QTranslator *translator = nullptr;
    if (translator)
        return true;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto *loaded = new QTranslator(QCoreApplication::instance());
    if (!loaded->load(QStringLiteral("qtbase_zh_CN"), folder)) {
        platform::WriteErrorLine("kelvor-server: Qt's Chinese texts (qtbase_zh_CN.qm) are missing; install "
                                 "qt6-translations-l10n",
                                 platform::GbkFromQString(folder).constData());
        delete loaded;
        return false;
    }
    QCoreApplication::installTranslator(loaded);
    translator = loaded;
    return true;
}
