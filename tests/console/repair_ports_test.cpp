// A first-start repair whose statements fail: the reopen still decides the
// mode, and every failing statement is told on standard error.
#include "support/server_fixture.h"
#include "support/stderr_capture.h"

#include <QFile>

namespace {

class RepairFailureTest : public ServerTest {};

TEST_F(RepairFailureTest, FailingRestoreIsToldAndTheReopenDecides)
{
    QFile backup(Path(QStringLiteral("velto.bak")));
    ASSERT_TRUE(backup.open(QIODevice::WriteOnly));
    backup.write("not a database, only its name");
    backup.close();
    m_server = std::make_unique<CKelvorDlg>(m_ports);
    m_server->m_clock = [this] { return m_now; };
    m_server->m_askAdminPassword = [](std::string &password) {
        password = "secret";
        return true;
    };
    StderrCapture capture;
    m_server->OnInitDialog();
    const std::string text = capture.Stop();

    EXPECT_NE(text.find("first-start repair statement failed: Query = RESTORE  DATABASE velto"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("secret"), std::string::npos) << text;
    EXPECT_EQ(m_server->Mode(), m_server->m_db.IsOpen() ? StartMode::Full : StartMode::WithoutDatabase);
}

} // namespace
