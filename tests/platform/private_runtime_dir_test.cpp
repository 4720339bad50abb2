// The server's own runtime directory when the environment names none.
#include "platform/private_runtime_dir.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Sets or clears a variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : m_name(name), m_had(qEnvironmentVariableIsSet(name))
    {
        m_old = qgetenv(name);
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

TEST(PrivateRuntimeDir, MadeOwnerOnlyWhenUnsetAndRemovedAfter)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const ScopedEnv tmpdir("TMPDIR", tmp.path().toLocal8Bit().constData());
    for (const char *unset : {static_cast<const char *>(nullptr), ""}) {
        const ScopedEnv runtime("XDG_RUNTIME_DIR", unset);
        std::string made;
        {
            platform::PrivateRuntimeDir dir;
            made = dir.Path();
            ASSERT_FALSE(made.empty());
            EXPECT_EQ(qgetenv("XDG_RUNTIME_DIR").toStdString(), made);
            EXPECT_EQ(QFileInfo(QString::fromStdString(made)).absolutePath(), tmp.path());
            struct stat info {};
            ASSERT_EQ(::stat(made.c_str(), &info), 0);
            EXPECT_TRUE(S_ISDIR(info.st_mode));
            EXPECT_EQ(info.st_mode & 07777, 0700u);
            EXPECT_EQ(info.st_uid, ::getuid());
            // Qt leaves files in it.
            QFile left(QString::fromStdString(made + "/left"));
            ASSERT_TRUE(left.open(QIODevice::WriteOnly));
        }
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(made)));
        EXPECT_FALSE(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"));
    }
}

TEST(PrivateRuntimeDir, LeavesAGivenDirectoryAlone)
{
    const ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/4242");
    {
        platform::PrivateRuntimeDir dir;
        EXPECT_TRUE(dir.Path().empty());
        EXPECT_EQ(qgetenv("XDG_RUNTIME_DIR"), QByteArray("/run/user/4242"));
    }
    EXPECT_EQ(qgetenv("XDG_RUNTIME_DIR"), QByteArray("/run/user/4242"));
}
