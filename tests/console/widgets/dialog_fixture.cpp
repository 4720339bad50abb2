#include "dialog_fixture.h"

#include "database/ado_recordset.h"
#include "model/hotel_conf.h"
#include "platform/gbk.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

void DialogTest::SetUp()
{
    ServerTest::SetUp();
    InstallSeed("velto.db");
    m_server = std::make_unique<CKelvorDlg>(m_ports);
    m_server->m_clock = [this] { return m_now; };
    ASSERT_TRUE(m_server->m_db.Open("Driver={SQL Server};Server=127.0.0.1;Uid=velto;Pwd=qubra;"));
    m_server->ReadSettings();
    HotelConf conf = LoadHotelConf();
    m_server->m_hotel.SetLayout(std::move(conf.layout));
    ASSERT_TRUE(m_server->m_hotel.BuildRooms());
}

std::string DialogTest::Query(const std::string &sql, const char *field)
{
    CADOMyRecordset rs(&m_server->m_db);
    EXPECT_TRUE(rs.Exec(sql)) << sql << "\n" << rs.GetLastErrorText();
    return rs.GetRecordCount() ? rs.GetFieldString(field) : std::string("<none>");
}

void DialogTest::ShowActive(QWidget &dialog)
{
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
}

void Screenshot(QWidget *widget, const char *name)
{
    const QPixmap shot = widget->grab();
    EXPECT_FALSE(shot.isNull()) << name;
    const QString dir = qEnvironmentVariable("KELVOR_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        EXPECT_TRUE(shot.save(QDir(dir).filePath(QString::fromLatin1(name) + QStringLiteral(".png")))) << name;
    }
}

QPushButton *ButtonWithText(QWidget &dialog, const char *gbk)
{
    for (QPushButton *button : dialog.findChildren<QPushButton *>())
        if (button->text() == platform::QStringFromGbk(gbk))
            return button;
    return nullptr;
}

QString T(const char *gbk) { return platform::QStringFromGbk(gbk); }
