// The parameters dialog and the maintenance settings dialog: what they show,
// what OK checks and where it stores the values.
#include "dialog_fixture.h"

#include "console/widgets/dlg_param.h"
#include "console/widgets/dlg_setting.h"
#include "console/widgets/ip_address_ctrl.h"
#include "platform/gbk.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QExposeEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>

namespace {

std::string U(const char *gbk) { return platform::Utf8FromGbk(gbk); }

void Expose(QWidget &dialog)
{
    QExposeEvent event(QRegion(dialog.rect()));
    QCoreApplication::sendEvent(dialog.windowHandle(), &event);
}

} // namespace

class ParamTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        m_server->SetOptionDatabase(&m_server->m_db);
        m_dialog = std::make_unique<CDlgParam>(m_server.get(), nullptr);
    }
    void TearDown() override
    {
        m_dialog.reset();
        DialogTest::TearDown();
    }
    void Ok() { ButtonWithText(*m_dialog, "确定")->click(); }
    int Net(const char *name) { return Setting(QStringLiteral("Network Configuration/") + name).toInt(); }
    bool HasNet(const char *name) { return Setting(QStringLiteral("Network Configuration/") + name).isValid(); }
    std::string Disabled(int code)
    {
        return Query("select Disabled from sysoptions where Optioncode=" + std::to_string(code), "Disabled");
    }

    std::unique_ptr<CDlgParam> m_dialog;
};

TEST_F(ParamTest, ShowsTheRunningValuesAndTheStoredOptions)
{
    SeedExec("UpdateSysOptions 18,1,'0'");
    m_server->m_pmsType = kPmsQianlima;
    ShowActive(*m_dialog);
    EXPECT_EQ(m_dialog->windowTitle(), T("参数设置"));
    EXPECT_EQ(m_dialog->RcuBroadcastIp()->GetAddress(), 0xC0A8FFFFu);
    EXPECT_EQ(m_dialog->IntervalEdit()->text(), QStringLiteral("10"));
    EXPECT_EQ(m_dialog->HmsIp()->GetAddress(), 0xC0A80101u);
    EXPECT_EQ(m_dialog->PortEdit()->text(), QStringLiteral("1500"));
    EXPECT_FALSE(m_dialog->AutoIp()->isChecked());
    EXPECT_TRUE(m_dialog->HmsIp()->isEnabled());
    ASSERT_EQ(m_dialog->PmsTypeCombo()->count(), 5);
    EXPECT_EQ(m_dialog->PmsTypeCombo()->itemText(4), T("NEC接口"));
    EXPECT_EQ(m_dialog->PmsTypeCombo()->currentIndex(), 3);
    // 1049 is option 18.
    EXPECT_FALSE(m_dialog->OptionSwitch(0)->isChecked());
    EXPECT_TRUE(m_dialog->OptionSwitch(1)->isChecked());
}

struct BadField {
    const char *interval;
    const char *port;
    const char *message;
};

class ParamValidationTest : public ParamTest, public ::testing::WithParamInterface<BadField> {};

TEST_P(ParamValidationTest, RejectedFieldStoresNothing)
{
    const BadField &c = GetParam();
    ShowActive(*m_dialog);
    m_dialog->RcuBroadcastIp()->SetAddress(0x0A0000FF);
    m_dialog->IntervalEdit()->setText(QString::fromLatin1(c.interval));
    m_dialog->PortEdit()->setText(QString::fromLatin1(c.port));
    Ok();
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{U(c.message)});
    EXPECT_TRUE(m_dialog->isVisible());
    EXPECT_EQ(m_server->m_rcuBroadcastIp, 0xC0A8FFFFu);
    EXPECT_EQ(m_server->m_broadcastInterval, 10);
    EXPECT_FALSE(HasNet("RCU IP ADDRESS LOWORD"));
    EXPECT_FALSE(HasNet("BROADCAST INTERVAL"));
}

INSTANTIATE_TEST_SUITE_P(Cases, ParamValidationTest,
                         ::testing::Values(BadField{"2", "1500", "请输入一个 3 至 2000 之间的整数。"},
                                           BadField{"2001", "1500", "请输入一个 3 至 2000 之间的整数。"},
                                           BadField{"ten", "1500", "请输入一个整数。"},
                                           BadField{"10", "-1", "请输入一个正整数。"},
                                           BadField{"10", "70000", "请输入一个 0 至 65535 之间的整数。"}));

TEST_F(ParamTest, OkWritesMembersProfileAndOptions)
{
    for (const char *interval : {"3", "2000"}) {
        ShowActive(*m_dialog);
        m_dialog->RcuBroadcastIp()->SetAddress(0x0A0000FF);
        m_dialog->IntervalEdit()->setText(QString::fromLatin1(interval));
        m_dialog->PmsTypeCombo()->setCurrentIndex(4);
        m_dialog->HmsIp()->SetAddress(0x0A000002);
        m_dialog->PortEdit()->setText(QStringLiteral("1600"));
        m_dialog->AutoIp()->click();
        EXPECT_FALSE(m_dialog->HmsIp()->isEnabled());
        m_dialog->OptionSwitch(0)->setChecked(true); // 16
        m_dialog->OptionSwitch(3)->setChecked(true); // 19
        Ok();
        EXPECT_FALSE(m_dialog->isVisible());
        EXPECT_TRUE(m_boxes.Texts().empty());
        EXPECT_EQ(m_server->m_broadcastInterval, std::atoi(interval));
        EXPECT_EQ(Net("BROADCAST INTERVAL"), std::atoi(interval));
        m_server->m_hmsIpAuto = 0; // the next show must load the box again
    }
    EXPECT_EQ(m_server->m_rcuBroadcastIp, 0x0A0000FFu);
    EXPECT_EQ(m_server->m_pmsType, kPmsNehops);
    EXPECT_EQ(m_server->m_hmsIp, 0x0A000002u);
    EXPECT_EQ(m_server->m_hmsPort, 1600);
    EXPECT_EQ(Net("RCU IP ADDRESS HIWORD"), 0x0A00);
    EXPECT_EQ(Net("RCU IP ADDRESS LOWORD"), 0x00FF);
    EXPECT_EQ(Net("HMS IP ADDRESS HIWORD"), 0x0A00);
    EXPECT_EQ(Net("HMS IP ADDRESS LOWORD"), 0x0002);
    EXPECT_EQ(Net("HMS UDP PORT NUM"), 1600);
    EXPECT_EQ(Net("HMS IP AUTO"), 1);
    EXPECT_EQ(Setting(QStringLiteral("Interface Configuration/HMS INTERFACE")).toInt(), 4);
    EXPECT_EQ(Disabled(16), "1");
    EXPECT_EQ(Disabled(18), "0");
    EXPECT_EQ(Disabled(17), "0");
    EXPECT_EQ(Disabled(19), "1");
    EXPECT_EQ(Query("select Value from sysoptions where Optioncode=19", "Value"), "0");
}

// Both address controls take 255 for a field typed above it, as the Windows
// control does; the low byte of what was typed is never kept.
TEST_F(ParamTest, AddressFieldsAbove255Take255)
{
    ShowActive(*m_dialog);
    const auto type = [](CIPAddressCtrl *control, const char *text) {
        control->SetFieldFocus(0);
        for (const char c : std::string(text))
            QTest::keyClick(QApplication::focusWidget(), c);
    };
    type(m_dialog->RcuBroadcastIp(), "192.168.255.256");
    EXPECT_EQ(m_dialog->RcuBroadcastIp()->Field(3)->text(), QStringLiteral("255"));
    type(m_dialog->HmsIp(), "10.300.0.9");
    EXPECT_EQ(m_dialog->HmsIp()->Field(1)->text(), QStringLiteral("255"));
    Ok();
    EXPECT_TRUE(m_boxes.Texts().empty());
    EXPECT_EQ(m_server->m_rcuBroadcastIp, 0xC0A8FFFFu);
    EXPECT_EQ(Net("RCU IP ADDRESS LOWORD"), 0xFFFF);
    EXPECT_EQ(m_server->m_hmsIp, 0x0AFF0009u);
    EXPECT_EQ(Net("HMS IP ADDRESS HIWORD"), 0x0AFF);
}

TEST_F(ParamTest, ExposeRestoresTheStoredValuesWhileEditing)
{
    ShowActive(*m_dialog);
    m_dialog->IntervalEdit()->setText(QStringLiteral("77"));
    m_dialog->PortEdit()->setText(QStringLiteral("9"));
    m_dialog->RcuBroadcastIp()->SetAddress(1);
    m_dialog->AutoIp()->setChecked(true);
    m_dialog->PmsTypeCombo()->setCurrentIndex(2);
    Expose(*m_dialog);
    EXPECT_EQ(m_dialog->IntervalEdit()->text(), QStringLiteral("10"));
    EXPECT_EQ(m_dialog->PortEdit()->text(), QStringLiteral("1500"));
    EXPECT_EQ(m_dialog->RcuBroadcastIp()->GetAddress(), 0xC0A8FFFFu);
    EXPECT_FALSE(m_dialog->AutoIp()->isChecked());
    EXPECT_TRUE(m_dialog->HmsIp()->isEnabled());
    // Only a show reloads the interface type.
    EXPECT_EQ(m_dialog->PmsTypeCombo()->currentIndex(), 2);
}

TEST_F(ParamTest, UnknownPmsTypeShowsNoSelectionAndStoresMinusOne)
{
    m_server->m_pmsType = 7;
    ShowActive(*m_dialog);
    EXPECT_EQ(m_dialog->PmsTypeCombo()->currentIndex(), -1);
    Ok();
    EXPECT_EQ(m_server->m_pmsType, -1);
    EXPECT_EQ(Setting(QStringLiteral("Interface Configuration/HMS INTERFACE")).toInt(), -1);
}

TEST_F(ParamTest, ClosedDatabaseStoresTheSettingsAndReportsEachOption)
{
    ShowActive(*m_dialog);
    m_server->m_db.Close();
    m_dialog->IntervalEdit()->setText(QStringLiteral("25"));
    Ok();
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>(4, U("数据库连接未连接！")));
    EXPECT_EQ(m_server->m_broadcastInterval, 25);
    EXPECT_EQ(Net("BROADCAST INTERVAL"), 25);
}

class SettingTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        m_server->SetOptionDatabase(&m_server->m_db);
        SeedExec("UpdateSysOptions 1,0,'2'");
        SeedExec("UpdateSysOptions 2,1,'5'");
        m_dialog = std::make_unique<CDlgSetting>(m_server.get(), nullptr);
        ShowActive(*m_dialog);
    }
    void TearDown() override
    {
        m_dialog.reset();
        DialogTest::TearDown();
    }
    std::string Option(int code, const char *field)
    {
        return Query("select " + std::string(field) + " from sysoptions where Optioncode=" + std::to_string(code),
                     field);
    }
    std::unique_ptr<CDlgSetting> m_dialog;
};

TEST_F(SettingTest, ShowsBothOptionsAndStoresTheLeadingNumbers)
{
    EXPECT_EQ(m_dialog->windowTitle(), T("数据库参数设置"));
    EXPECT_TRUE(m_dialog->MonthsSwitch()->isChecked());
    EXPECT_EQ(m_dialog->MonthsEdit()->text(), QStringLiteral("2"));
    EXPECT_FALSE(m_dialog->RecordsSwitch()->isChecked());
    EXPECT_EQ(m_dialog->RecordsEdit()->text(), QStringLiteral("5"));

    m_dialog->MonthsEdit()->setText(QStringLiteral("12months"));
    m_dialog->RecordsEdit()->setText(QStringLiteral("many"));
    m_dialog->RecordsSwitch()->setChecked(true);
    ButtonWithText(*m_dialog, "确定")->click();
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(Option(1, "Value"), "12");
    EXPECT_EQ(Option(1, "Disabled"), "0");
    EXPECT_EQ(Option(2, "Value"), "0");
    EXPECT_EQ(Option(2, "Disabled"), "0");
}

TEST_F(SettingTest, UncheckedSwitchDisablesTheLimitAndKeepsTheNumber)
{
    m_dialog->MonthsSwitch()->setChecked(false);
    ButtonWithText(*m_dialog, "确定")->click();
    EXPECT_EQ(Option(1, "Value"), "2");
    EXPECT_EQ(Option(1, "Disabled"), "1");
}

TEST_F(SettingTest, ExposeReloadsOnlyWhileTheDatabaseIsOpen)
{
    m_dialog->MonthsEdit()->setText(QStringLiteral("40"));
    Expose(*m_dialog);
    EXPECT_EQ(m_dialog->MonthsEdit()->text(), QStringLiteral("2"));

    m_server->m_db.Close();
    m_dialog->MonthsEdit()->setText(QStringLiteral("40"));
    Expose(*m_dialog);
    EXPECT_EQ(m_dialog->MonthsEdit()->text(), QStringLiteral("40"));
    ButtonWithText(*m_dialog, "确定")->click();
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>(2, U("数据库连接未连接！")));
    EXPECT_FALSE(m_dialog->isVisible());
}

TEST_F(SettingTest, CancelStoresNothing)
{
    m_dialog->MonthsEdit()->setText(QStringLiteral("40"));
    ButtonWithText(*m_dialog, "取消")->click();
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(Option(1, "Value"), "2");
}
