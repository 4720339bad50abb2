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

namespace {

void TellShutdownSignal(int signalNumber)
{
    platform::WriteStderrLine(std::string("kelvor-server: ") + ShutdownSignals::Name(signalNumber) +
                              " received, shutting down");
}

} // namespace

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
    server.m_udpRequired = headless;
    // A database login cannot run the event loop while it waits; a signal
    // ends that wait at once.
    server.m_db.SetLoginGiveUp(shutdownSignals.WatchFd());
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
    // Only a headless start without its UDP socket stops before a mode.
    if (server.Mode() == StartMode::NotStarted) {
        platform::WriteStderrLine("kelvor-server: no room unit and no workstation can reach a server without UDP port " +
                                  std::to_string(ServerPorts{}.serverUdp) + "; this one exits with status 1");
        m_exitCode = 1;
        window.OnDestroy();
        return false;
    }
    // A signal during start-up: the shutdown follows at once, and no start-up
    // line tells of a server that is already stopping.
    if (const int signalNumber = shutdownSignals.TakePending()) {
        if (headless)
            TellShutdownSignal(signalNumber);
        window.OnDestroy();
        return false;
    }
    if (headless)
        platform::WriteStderrLine(server.StartupSummary());
    // SIGTERM, SIGINT and SIGHUP end the run exactly as "Exit..." does.
    QObject::connect(&shutdownSignals, &ShutdownSignals::Received, &window, [&window, headless](int signalNumber) {
        if (headless)
            TellShutdownSignal(signalNumber);
        window.OnTrayExit();
    });
    shutdownSignals.Enable();
    window.exec();
    window.OnDestroy();
    return false;
}
