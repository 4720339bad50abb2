// kelvor-server: the hotel room control server with its operator window.
#include "console/widgets/kelvor_app.h"
#include "platform/private_runtime_dir.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // Before the application: Qt looks for its runtime directory as it starts.
    platform::PrivateRuntimeDir runtimeDir;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kelvor-server"));
    // The window hides to the tray; only "Exit..." ends the server.
    QApplication::setQuitOnLastWindowClosed(false);
    CKelvorApp theApp;
    theApp.InitInstance();
    return 0;
}
