// kelvor-server: the hotel room control server with its operator window.
#include "console/widgets/kelvor_app.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kelvor-server"));
    // The window hides to the tray; only "Exit..." ends the server.
    QApplication::setQuitOnLastWindowClosed(false);
    CKelvorApp theApp;
    theApp.InitInstance();
    return 0;
}
