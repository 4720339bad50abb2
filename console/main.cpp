// kelvor-server: the hotel room control server with its operator window.
#include "console/widgets/kelvor_app.h"
#include "database/odbc_login.h"
#include "platform/error_line.h"
#include "platform/gbk.h"
#include "platform/instance_lock.h"
#include "platform/private_runtime_dir.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>

namespace {

// velto.db, tempdb.db and the live-room rows in them belong to one server:
// a second one in the same working directory would empty the first one's
// live-room table. The lock file lies beside velto.db.
constexpr const char *kLockFile = "velto.lock";

// False when another server holds the lock; that is told on stderr, and
// nothing else is.
bool TakeInstanceLock(platform::InstanceLock &lock)
{
    const QString directory = QDir::toNativeSeparators(QDir::currentPath());
    const std::string where = platform::GbkFromQString(directory).toStdString();
    const QString path = QDir::current().filePath(QLatin1String(kLockFile));
    switch (lock.Take(QFile::encodeName(path).toStdString())) {
    case platform::InstanceLock::Result::Taken:
        break;
    case platform::InstanceLock::Result::HeldByOther: {
        const std::string holder = lock.OtherPid() > 0 ? "process " + std::to_string(lock.OtherPid())
                                                       : std::string("a process that has not written its id yet");
        platform::WriteStderrLine("kelvor-server: another server (" + holder + ") is running in " + where +
                                  " and holds " + kLockFile + "; this one exits");
        return false;
    }
    case platform::InstanceLock::Result::Failed:
        // Not fatal: the database there tells its own failure, if any.
        platform::WriteErrorLine(("kelvor-server: no single-server lock " + where + "/" + kLockFile).c_str(),
                                 lock.Error());
        break;
    }
    return true;
}

// Everything the process does up to its end, which main() decides; the
// exit status.
int RunServer(int argc, char **argv)
{
    // Before anything opens velto.db or tempdb.db, and before anything is shown.
    platform::InstanceLock lock;
    if (!TakeInstanceLock(lock))
        return 1;
    // Before the application: Qt looks for its runtime directory as it starts.
    platform::PrivateRuntimeDir runtimeDir;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kelvor-server"));
    // The window hides to the tray; only "Exit..." ends the server.
    QApplication::setQuitOnLastWindowClosed(false);
    CKelvorApp theApp;
    theApp.InitInstance();
    return theApp.ExitCode();
}

} // namespace

int main(int argc, char **argv)
{
    const int status = RunServer(argc, argv);
    // Everything of the server is closed and written by now. A login that a
    // database server never answered may still run on its own thread inside
    // the driver; exit() would run the libraries' destructors under it.
    if (database::OdbcLoginLeftBehind()) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
