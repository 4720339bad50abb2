#pragma once
// The real executable run as a service runs it: no display (offscreen), the
// given working directory, HOME there and the settings under its "config"
// folder. With ownNetwork it runs in a network namespace of its own
// (unshare, as an unprivileged user too), so the installation's fixed ports
// collide with nothing; without, it reaches listeners of the test. Unless
// asRoot, the namespace maps no user: even root then meets the files'
// permissions as any service account does.
#include "platform/gbk.h"

#include <QProcess>
#include <QString>
#include <QStringList>

// The settings file of a server started by StartServerProcess in `directory`.
inline QString ServerSettingsFile(const QString &directory)
{
    return directory + QStringLiteral("/config/") + platform::QStringFromGbk("应用程序向导生成的本地应用程序") +
           QStringLiteral("/kelvor-server.conf");
}

inline QStringList UnshareArguments(bool asRoot)
{
    return asRoot ? QStringList{QStringLiteral("--net"), QStringLiteral("--map-root-user")}
                  : QStringList{QStringLiteral("--user"), QStringLiteral("--net")};
}

inline bool HasNetworkNamespaces(bool asRoot = true)
{
    return QProcess::execute(QStringLiteral("unshare"), UnshareArguments(asRoot) << QStringLiteral("true")) == 0;
}

// `extra` entries are added to the environment ("NAME=value"). `wrapper`,
// when given with ownNetwork, is a program and its arguments that exec the
// server in place inside its namespace (the process is still the server).
inline void StartServerProcess(QProcess &process, const QString &directory, bool ownNetwork,
                               const QStringList &extra = {}, bool asRoot = true, const QStringList &wrapper = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), directory);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), directory + QStringLiteral("/config"));
    for (const QString &entry : extra)
        env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(directory);
    if (ownNetwork) {
        // unshare execs the server in place: the process is the server.
        process.setProgram(QStringLiteral("unshare"));
        process.setArguments(UnshareArguments(asRoot) + wrapper << QStringLiteral(KELVOR_SERVER_EXE));
    } else {
        process.setProgram(QStringLiteral(KELVOR_SERVER_EXE));
        process.setArguments({});
    }
    process.start();
}
