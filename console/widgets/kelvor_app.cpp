#include "console/widgets/kelvor_app.h"

#include "console/kelvor_dlg.h"
#include "console/widgets/dlg_sql.h"
#include "console/widgets/kelvor_window.h"
#include "console/widgets/message_box_handler.h"
#include "console/widgets/qt_translations.h"
#include "platform/gbk.h"

#include <QCoreApplication>
#include <cstdio>

void CKelvorApp::PrepareApplication()
{
    QCoreApplication::setOrganizationName(platform::QStringFromGbk("应用程序向导生成的本地应用程序"));
    InstallQtChineseTranslations();
    InstallMessageBoxHandler();
}

bool CKelvorApp::InitInstance()
{
    PrepareApplication();

    CKelvorDlg server;
    CKelvorWindow window(&server);
    server.m_askAdminPassword = [&window](std::string &password) {
        if (!HasInteractiveDisplay()) {
            std::fputs("kelvor-server: the database login was refused; the administrator login needs a display\n",
                       stderr);
            return false;
        }
        return AskAdminPassword(&window, password);
    };
    window.OnInitDialog();
    window.exec();
    window.OnDestroy();
    return false;
}
