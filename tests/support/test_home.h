#pragma once
// The test process's own home: HOME, the XDG config, data, cache and state
// folders and a runtime directory in a temporary folder, set before the Qt
// application is made, so that nothing a test runs (file dialogs keeping
// their history in QtProject.conf, settings, Qt's caches) writes the user's
// own files. Removed when the process ends.
#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

class TestHome {
public:
    TestHome()
    {
        if (!m_dir.isValid()) {
            std::fprintf(stderr, "no temporary home for the tests: %s\n", qPrintable(m_dir.errorString()));
            std::exit(2);
        }
        Set("HOME", QString());
        Set("XDG_CONFIG_HOME", QStringLiteral("config"));
        Set("XDG_DATA_HOME", QStringLiteral("data"));
        Set("XDG_CACHE_HOME", QStringLiteral("cache"));
        Set("XDG_STATE_HOME", QStringLiteral("state"));
        // Qt accepts a runtime directory only when it is the user's alone.
        Set("XDG_RUNTIME_DIR", QStringLiteral("runtime"));
        ::chmod(m_dir.filePath(QStringLiteral("runtime")).toLocal8Bit().constData(), 0700);
    }

private:
    void Set(const char *name, const QString &sub)
    {
        const QString path = sub.isEmpty() ? m_dir.path() : m_dir.filePath(sub);
        QDir().mkpath(path);
        qputenv(name, path.toLocal8Bit());
    }

    QTemporaryDir m_dir;
};
