#include "console/widgets/kelvor_app.h"

#include "console/kelvor_dlg.h"
#include "console/shutdown_signals.h"
#include "platform/error_line.h"
#include "console/widgets/dlg_sql.h"
#include "console/widgets/kelvor_window.h"
#include "console/widgets/message_box_handler.h"
#include "console/widgets/qt_translations.h"
#include "platform/gbk.h"

#include <QCoreApplication>
#include <cstdio>
#include <string>

void CKelvorApp::PrepareApplication()
{
    QCoreApplication::setOrganizationName(platform::QStringFromGbk("应用程序向导生成的本地应用程序"));
    InstallQtChineseTranslations();
    InstallMessageBoxHandler();
}

bool CKelvorApp::InitInstance()
{
    PrepareApplication();
    // Without a display stderr is the server's log (a service's journal).
    const bool headless = !HasInteractiveDisplay();
    // Handled from here on, so a signal during start-up ends the run as soon
    // as it begins, in order.
    ShutdownSignals shutdownSignals;

    CKelvorDlg server;
    server.m_logToStderr = headless;
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
    if (headless)
        platform::WriteStderrLine(server.StartupSummary());
    // SIGTERM, SIGINT and SIGHUP end the run exactly as "Exit..." does.
    QObject::connect(&shutdownSignals, &ShutdownSignals::Received, &window, [&window, headless](int signalNumber) {
        if (headless)
            platform::WriteStderrLine(std::string("kelvor-server: ") + ShutdownSignals::Name(signalNumber) +
                           " received, shutting down");
        window.OnTrayExit();
    });
    shutdownSignals.Enable();
    window.exec();
    window.OnDestroy();
    return false;
}
