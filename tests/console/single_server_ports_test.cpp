// One server per working directory: a second real server started in the
// first one's directory (in a network namespace of its own, so no port
// stands in its way) says who holds the directory and exits 1, and the first
// one serves on with its live-room rows untouched.
#include "support/server_process.h"
#include "support/temp_dir.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <csignal>

namespace {

class SingleServerTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        if (!HasNetworkNamespaces())
            GTEST_SKIP() << "unshare --net --map-root-user is not allowed here";
        ASSERT_TRUE(QFile::copy(QStringLiteral(KELVOR_SEED_DB), Path(QStringLiteral("velto.db"))));
        QFile(Path(QStringLiteral("velto.db"))).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        QFile conf(Path(QStringLiteral("hotel.conf")));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write("[Layout]\nitem1=1 2 10 0\nitem2=2 1 3\n");
    }
    void TearDown() override
    {
        for (QProcess *p : {&m_first, &m_second})
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished();
            }
        QSqlDatabase::removeDatabase(QStringLiteral("tempdb-reader"));
    }

    void Start(QProcess &process)
    {
        StartServerProcess(process, Path(), true);
        ASSERT_TRUE(process.waitForStarted());
    }

    // A statement on the live-room table, as the PMS software runs it.
    QString LiveRooms(const QString &sql)
    {
        QSqlDatabase db = QSqlDatabase::contains(QStringLiteral("tempdb-reader"))
            ? QSqlDatabase::database(QStringLiteral("tempdb-reader"))
            : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tempdb-reader"));
        db.setDatabaseName(Path(QStringLiteral("tempdb.db")));
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        EXPECT_TRUE(db.open());
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(sql)) << sql.toStdString();
        return query.next() ? query.value(0).toString() : QString();
    }

    QProcess m_first;
    QProcess m_second;
};

TEST_F(SingleServerTest, SecondServerInTheSameDirectoryExitsAndLeavesTheFirstAlone)
{
    Start(m_first);
    QByteArray firstErr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            firstErr += m_first.readAllStandardError();
            return firstErr.contains("kelvor-server started: mode full");
        },
        10000))
        << firstErr.constData();
    // A PMS marks a room do-not-disturb in the first server's live-room table.
    LiveRooms(QStringLiteral("UPDATE REALTIMEROOM SET DND=1 WHERE BUILD=1 AND FLOOR=2 AND ROOMNUM=3"));

    Start(m_second);
    ASSERT_TRUE(m_second.waitForFinished(10000));
    const QString secondErr = QString::fromUtf8(m_second.readAllStandardError());
    EXPECT_EQ(m_second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_second.exitCode(), 1) << secondErr.toStdString();
    // One line, and nothing else.
    const QRegularExpression line(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  kelvor-server: another server \\(process %1\\) is "
                       "running in %2 and holds velto.lock; this one exits\\n$")
            .arg(m_first.processId())
            .arg(QRegularExpression::escape(Path())));
    EXPECT_TRUE(line.match(secondErr).hasMatch()) << secondErr.toStdString();

    EXPECT_EQ(m_first.state(), QProcess::Running);
    EXPECT_EQ(LiveRooms(QStringLiteral("SELECT count(*) FROM REALTIMEROOM")), QStringLiteral("13"));
    EXPECT_EQ(LiveRooms(QStringLiteral("SELECT DND FROM REALTIMEROOM WHERE BUILD=1 AND FLOOR=2 AND ROOMNUM=3")),
              QStringLiteral("1"));
    QSqlDatabase::database(QStringLiteral("tempdb-reader")).close();

    ASSERT_EQ(::kill(static_cast<pid_t>(m_first.processId()), SIGTERM), 0);
    ASSERT_TRUE(m_first.waitForFinished(10000));
    EXPECT_EQ(m_first.exitCode(), 0) << m_first.readAllStandardError().constData();
}

} // namespace
