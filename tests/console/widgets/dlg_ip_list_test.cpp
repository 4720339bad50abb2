// The room address table: its rows, the in-place editors opened by a double
// click and committed when the list gets the focus, and the saves.
#include "dialog_fixture.h"

#include "console/widgets/dlg_ip_list.h"
#include "console/widgets/ip_address_ctrl.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>

class IpListTest : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        m_dialog = std::make_unique<CDlgIPlist>(m_server.get(), nullptr);
        m_dialog->FillList();
        ShowActive(*m_dialog);
    }
    void TearDown() override
    {
        m_dialog.reset();
        DialogTest::TearDown();
    }

    // Rows in walk order: 1|201 .. 1|210, then 2|100 .. 2|102.
    static int RowOf(int build, int /*floor*/, int room) { return build == 1 ? room - 1 : 10 + room; }
    QString Cell(int row, int column) const { return m_dialog->List()->item(row, column)->text(); }
    void DoubleClick(int row, int column)
    {
        CMyListCtrl *list = m_dialog->List();
        const QRect cell = list->visualRect(list->model()->index(row, column));
        // The view only takes a double click on the cell it saw pressed.
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }
    // Keys to whichever field has the focus, as the operator types them.
    static void Type(const QString &text)
    {
        for (QChar c : text)
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    }
    // A click on the list ends the edit.
    void ClickList() { QTest::mouseClick(m_dialog->List()->viewport(), Qt::LeftButton, {}, QPoint(5, 5)); }
    void EditText(int row, int column, const QString &text)
    {
        DoubleClick(row, column);
        ASSERT_TRUE(m_dialog->TextEditor()->isVisible());
        // As an input method enters it (key clicks know only ASCII).
        m_dialog->TextEditor()->insert(text);
        ClickList();
    }
    CRoom &Room(int b, int f, int r) { return *m_server->m_hotel.FindRoom(b, f, r); }

    std::unique_ptr<CDlgIPlist> m_dialog;
};

TEST_F(IpListTest, RowsShowEveryRoomInService)
{
    CRoom &room = Room(1, 2, 3);
    room.m_rcuIp = 0xC0A80117;
    room.m_unitCode = 17;
    room.m_runTime = 0x12340102;
    std::strcpy(room.m_name, "Suite");
    std::strcpy(m_server->m_hotel.FindBuild(1)->m_name, "Main");
    m_dialog->FillList();

    CMyListCtrl *list = m_dialog->List();
    EXPECT_EQ(m_dialog->windowTitle(), T("房间IP对应表"));
    EXPECT_TRUE(list->showGrid());
    ASSERT_EQ(list->columnCount(), 9);
    const char *titles[] = {"序号", "楼号", "房间号", "楼名", "显示房名", "IP地址", "空调网关", "编码", "运行时间"};
    const int widths[] = {40, 42, 56, 78, 78, 115, 115, 42, 60};
    for (int c = 0; c < 9; ++c) {
        EXPECT_EQ(list->horizontalHeaderItem(c)->text(), T(titles[c]));
        EXPECT_EQ(list->columnWidth(c), widths[c]);
    }
    ASSERT_EQ(list->rowCount(), 13);
    const int row = RowOf(1, 2, 3);
    const QStringList expected = {"3", "1", "203", "Main", "Suite", "192.168.1.23", "0.0.0.0", "17", "513"};
    for (int c = 0; c < 9; ++c)
        EXPECT_EQ(Cell(row, c), expected[c]) << c;
    EXPECT_EQ(Cell(12, 0), QStringLiteral("13"));
    EXPECT_EQ(Cell(12, 2), QStringLiteral("102"));
    EXPECT_EQ(list->rowHeight(0), 17);
}

TEST_F(IpListTest, OnlyTheFiveValueColumnsOpenAnEditor)
{
    for (int column : {0, 1, 2, 8}) {
        DoubleClick(0, column);
        EXPECT_FALSE(m_dialog->AddressEditor()->isVisible()) << column;
        EXPECT_FALSE(m_dialog->TextEditor()->isVisible()) << column;
        EXPECT_EQ(m_dialog->EditedRow(), -1) << column;
    }
    DoubleClick(2, 6);
    EXPECT_TRUE(m_dialog->AddressEditor()->isVisible());
    EXPECT_EQ(m_dialog->EditedRow(), 2);
    ClickList();
    EXPECT_FALSE(m_dialog->AddressEditor()->isVisible());
    DoubleClick(2, 7);
    EXPECT_TRUE(m_dialog->TextEditor()->isVisible());
    EXPECT_TRUE(m_dialog->TextEditor()->text().isEmpty());
}

TEST_F(IpListTest, AddressEditUpdatesTheRowAndGatewayInsertsOne)
{
    SeedExec("insert into room_ip_list(BUILD_NUM, FLOOR_NUM, ROOM_NUM, IP_ADDR) values(1, 2, 3, 5)");
    const int row = RowOf(1, 2, 3);
    DoubleClick(row, 5);
    ASSERT_TRUE(m_dialog->AddressEditor()->isVisible());
    Type(QStringLiteral("10.0.0.7"));
    ClickList();
    EXPECT_EQ(Room(1, 2, 3).m_rcuIp, 0x0A000007u);
    EXPECT_EQ(Cell(row, 5), QStringLiteral("10.0.0.7"));
    EXPECT_EQ(Query("select IP_ADDR from room_ip_list where BUILD_NUM=1 and FLOOR_NUM=2 and ROOM_NUM=3", "IP_ADDR"),
              "167772167");

    // A unit address above 127.x is stored as the signed number.
    const int other = RowOf(2, 1, 1);
    DoubleClick(other, 6);
    Type(QStringLiteral("192.168.9.1"));
    ClickList();
    EXPECT_EQ(Room(2, 1, 1).m_gatewayIp, 0xC0A80901u);
    EXPECT_EQ(Query("select IP_ADDR2, IP_ADDR from room_ip_list where BUILD_NUM=2 and FLOOR_NUM=1 and ROOM_NUM=1",
                    "IP_ADDR2"),
              "-1062729471");
    EXPECT_EQ(Query("select IP_ADDR from room_ip_list where BUILD_NUM=2 and FLOOR_NUM=1 and ROOM_NUM=1", "IP_ADDR"),
              "0");
}

// A field typed above 255 takes 255, as in the Windows control; it never
// keeps the low byte of what was typed.
TEST_F(IpListTest, AddressFieldsAbove255Take255)
{
    const struct {
        const char *typed, *shown;
        uint32_t address;
    } cases[] = {{"10.1.2.300", "10.1.2.255", 0x0A0102FF},
                 {"10.999.2.3", "10.255.2.3", 0x0AFF0203},
                 {"256.0.0.1", "255.0.0.1", 0xFF000001}};
    const int row = RowOf(1, 2, 3);
    for (const auto &c : cases) {
        DoubleClick(row, 5);
        ASSERT_TRUE(m_dialog->AddressEditor()->isVisible()) << c.typed;
        Type(QString::fromLatin1(c.typed));
        ClickList();
        EXPECT_EQ(Room(1, 2, 3).m_rcuIp, c.address) << c.typed;
        EXPECT_EQ(Cell(row, 5), QString::fromLatin1(c.shown)) << c.typed;
        EXPECT_EQ(Query("select IP_ADDR from room_ip_list where BUILD_NUM=1 and FLOOR_NUM=2 and ROOM_NUM=3", "IP_ADDR"),
                  std::to_string(static_cast<int32_t>(c.address)))
            << c.typed;
    }
}

TEST_F(IpListTest, NamesAreCutTo29BytesAndQuotesStayText)
{
    const int row = RowOf(1, 2, 4);
    EditText(row, 4, QStringLiteral("0123456789012345678901234567890123456789"));
    EXPECT_EQ(std::string(Room(1, 2, 4).m_name), "01234567890123456789012345678");
    EXPECT_EQ(Cell(row, 4), QStringLiteral("01234567890123456789012345678"));
    EXPECT_EQ(Query("select RMNAME from room_ip_list where BUILD_NUM=1 and FLOOR_NUM=2 and ROOM_NUM=4", "RMNAME"),
              "01234567890123456789012345678");
    EXPECT_EQ(Query("select IP_ADDR from room_ip_list where BUILD_NUM=1 and FLOOR_NUM=2 and ROOM_NUM=4", "IP_ADDR"),
              "0");

    EditText(row, 4, QStringLiteral("O'Hara'); drop table room_ip_list;--"));
    EXPECT_EQ(Query("select RMNAME from room_ip_list where BUILD_NUM=1 and FLOOR_NUM=2 and ROOM_NUM=4", "RMNAME"),
              "O'Hara'); drop table room_ip_");

    // A Chinese name is cut before a character, never through one.
    EditText(row, 4, T("豪华套房豪华套房豪华套房豪华套房"));
    EXPECT_EQ(std::string(Room(1, 2, 4).m_name), "豪华套房豪华套房豪华套房豪华");

    // Nothing typed: the name becomes empty everywhere.
    EditText(row, 4, QString());
    EXPECT_EQ(Room(1, 2, 4).m_name[0], '\0');
    EXPECT_EQ(Query("select RMNAME from room_ip_list where BUILD_NUM=1 and FLOOR_NUM=2 and ROOM_NUM=4", "RMNAME"), "");
}

TEST_F(IpListTest, CodeKeepsItsLeadingNumberAndTheCellTheTypedText)
{
    const int row = RowOf(1, 2, 5);
    EditText(row, 7, QStringLiteral("12ab"));
    EXPECT_EQ(Room(1, 2, 5).m_unitCode, 12);
    EXPECT_EQ(Cell(row, 7), QStringLiteral("12ab"));
    EXPECT_EQ(Query("select ADDR from room_ip_list where BUILD_NUM=1 and FLOOR_NUM=2 and ROOM_NUM=5", "ADDR"), "12");
    m_dialog->FillList();
    EXPECT_EQ(Cell(row, 7), QStringLiteral("12"));
}

TEST_F(IpListTest, BuildingNameRefillsEveryRowOfThatBuilding)
{
    EditText(RowOf(1, 2, 2), 3, QStringLiteral("North"));
    EXPECT_EQ(std::string(m_server->m_hotel.FindBuild(1)->m_name), "North");
    for (int r = 1; r <= 10; ++r)
        EXPECT_EQ(Cell(RowOf(1, 2, r), 3), QStringLiteral("North")) << r;
    EXPECT_EQ(Cell(RowOf(2, 1, 0), 3), QString());
    EXPECT_EQ(Query("select BDNAME from build_name where BUILD_NUM=1", "BDNAME"), "North");
    EditText(0, 3, QStringLiteral("South"));
    EXPECT_EQ(Query("select count(*) as N from build_name where BUILD_NUM=1", "N"), "1");
    EXPECT_EQ(Query("select BDNAME from build_name where BUILD_NUM=1", "BDNAME"), "South");
}

TEST_F(IpListTest, WithoutTheNameColumnNamesAndCodesStayInMemory)
{
    SeedExec("drop table room_ip_list");
    SeedExec("create table room_ip_list(BUILD_NUM int, FLOOR_NUM int, ROOM_NUM int, IP_ADDR int, IP_ADDR2 int)");
    EditText(0, 4, QStringLiteral("Blue"));
    EditText(0, 7, QStringLiteral("9"));
    EXPECT_EQ(std::string(Room(1, 2, 1).m_name), "Blue");
    EXPECT_EQ(Room(1, 2, 1).m_unitCode, 9);
    EXPECT_EQ(Query("select count(*) as N from room_ip_list", "N"), "0");
}

TEST_F(IpListTest, FocusWithoutAnEditorChangesNothing)
{
    Room(1, 2, 1).m_rcuIp = 0x0A000001;
    ClickList();
    m_dialog->OnNMSetfocusList();
    EXPECT_EQ(Room(1, 2, 1).m_rcuIp, 0x0A000001u);
    EXPECT_EQ(Query("select count(*) as N from room_ip_list", "N"), "0");
}
