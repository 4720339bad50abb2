#include "console/widgets/dlg_ip_list.h"

#include "console/kelvor_dlg.h"
#include "console/room_address_table.h"
#include "console/widgets/gui_text.h"
#include "console/widgets/ip_address_ctrl.h"
#include "console/widgets/list_columns.h"
#include "console/widgets/number_text.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cstdio>

namespace {

enum Column { kNumber, kBuild, kRoom, kBuildName, kRoomName, kAddress, kGateway, kCode, kRunTime };

constexpr ListColumn kColumns[] = {
    {"序号", 40},    {"楼号", 42},    {"房间号", 56}, {"楼名", 78},     {"显示房名", 78},
    {"IP地址", 115}, {"空调网关", 115}, {"编码", 42}, {"运行时间", 60},
};

constexpr int kRowHeight = 17;

QString Gbk(std::string_view text) { return platform::QStringFromGbk(text); }

} // namespace

CMyListCtrl::CMyListCtrl(QWidget *parent) : QTableWidget(parent)
{
    // Dragging or clicking the scroll bar takes the focus first.
    connect(verticalScrollBar(), &QScrollBar::sliderPressed, this, [this] { setFocus(Qt::OtherFocusReason); });
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] { setFocus(Qt::OtherFocusReason); });
}

void CMyListCtrl::focusInEvent(QFocusEvent *event)
{
    QTableWidget::focusInEvent(event);
    emit FocusIn();
}

void CMyListCtrl::wheelEvent(QWheelEvent *event)
{
    setFocus(Qt::OtherFocusReason);
    QTableWidget::wheelEvent(event);
}

CDlgIPlist::CDlgIPlist(CKelvorDlg *server, QWidget *parent) : QDialog(parent), m_server(server)
{
    setWindowTitle(GuiText("房间IP对应表"));
    m_list = new CMyListCtrl(this);
    m_list->setObjectName("1015");
    InsertColumns(m_list, kColumns, static_cast<int>(std::size(kColumns)));
    m_list->setShowGrid(true);
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setMinimumSectionSize(kRowHeight);
    m_list->verticalHeader()->setDefaultSectionSize(kRowHeight);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, &CDlgIPlist::OnNMDblclkList);
    connect(m_list, &CMyListCtrl::FocusIn, this, &CDlgIPlist::OnNMSetfocusList);

    m_ipEditor = new CIPAddressCtrl(this);
    m_ipEditor->setObjectName("1017");
    m_ipEditor->hide();
    m_textEditor = new QLineEdit(this);
    m_textEditor->setObjectName("1044");
    m_textEditor->hide();
    // Enter ends the edit as a click on the list does.
    connect(m_textEditor, &QLineEdit::returnPressed, m_list, [this] { m_list->setFocus(Qt::OtherFocusReason); });
    for (int i = 0; i < 4; ++i)
        connect(m_ipEditor->Field(i), &QLineEdit::returnPressed, m_list,
                [this] { m_list->setFocus(Qt::OtherFocusReason); });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    resize(sizeHint());
}

QSize CDlgIPlist::sizeHint() const
{
    int width = 0;
    for (const ListColumn &c : kColumns)
        width += c.width;
    return {width + 48, 560};
}

CRoom *CDlgIPlist::RoomOfRow(int row) const
{
    const QTableWidgetItem *item = m_list->item(row, kNumber);
    return item ? static_cast<CRoom *>(item->data(Qt::UserRole).value<void *>()) : nullptr;
}

void CDlgIPlist::FillList()
{
    m_list->setRowCount(0);
    int n = 1;
    char text[32];
    for (CRoom *room = m_server->m_hotel.GetFirstRoom(); room; room = m_server->m_hotel.GetNextRoom(), ++n) {
        const int row = n - 1;
        m_list->insertRow(row);
        SetCell(m_list, row, kNumber, QString::number(n));
        m_list->item(row, kNumber)->setData(Qt::UserRole, QVariant::fromValue(static_cast<void *>(room)));
        SetCell(m_list, row, kBuild, QString::number(room->m_buildNum));
        std::snprintf(text, sizeof text, "%d%02d", room->m_floorNum, room->m_roomNum);
        SetCell(m_list, row, kRoom, QString::fromLatin1(text));
        const CBuild *build = m_server->m_hotel.FindBuild(room->m_buildNum);
        SetCell(m_list, row, kBuildName, build ? Gbk(platform::FieldText(build->m_name, sizeof build->m_name)) : QString());
        SetCell(m_list, row, kRoomName, Gbk(platform::FieldText(room->m_name, sizeof room->m_name)));
        SetCell(m_list, row, kAddress, QString::fromStdString(room->GetIPString()));
        SetCell(m_list, row, kGateway, QString::fromStdString(room->GetGatewayIPString()));
        SetCell(m_list, row, kCode, QString::number(room->m_unitCode));
        // The unit reports its run time high byte first.
        const unsigned runTime = static_cast<unsigned>(room->m_runTime) & 0xFFFFu;
        SetCell(m_list, row, kRunTime, QString::number((runTime & 0xFFu) << 8 | runTime >> 8));
    }
}

void CDlgIPlist::PlaceOver(QWidget *editor, int row, int column)
{
    const QRect cell = m_list->visualRect(m_list->model()->index(row, column));
    editor->setGeometry(QRect(m_list->viewport()->mapTo(this, cell.topLeft()), cell.size()));
    editor->show();
    editor->raise();
}

void CDlgIPlist::OnNMDblclkList(int row, int column)
{
    CRoom *room = RoomOfRow(row);
    if (!room)
        return;
    if (column == kAddress || column == kGateway) {
        PlaceOver(m_ipEditor, row, column);
        m_ipEditor->SetAddress(column == kAddress ? room->m_rcuIp : room->m_gatewayIp);
        m_ipEditor->SetFieldFocus(0);
    } else if (column == kBuildName || column == kRoomName || column == kCode) {
        PlaceOver(m_textEditor, row, column);
        m_textEditor->clear();
        m_textEditor->setFocus(Qt::OtherFocusReason);
    } else {
        return;
    }
    m_editRow = row;
    m_editColumn = column;
}

void CDlgIPlist::OnNMSetfocusList()
{
    CRoom *room = m_editRow >= 0 ? RoomOfRow(m_editRow) : nullptr;
    if (room && m_ipEditor->isVisible())
        CommitAddress(room, m_editRow);
    if (room && m_textEditor->isVisible())
        CommitText(room, m_editRow, m_textEditor->text());
    m_ipEditor->hide();
    m_textEditor->hide();
    m_editRow = -1;
}

void CDlgIPlist::CommitAddress(CRoom *room, int row)
{
    if (m_editColumn == kAddress) {
        room->m_rcuIp = m_ipEditor->GetAddress();
        SetCell(m_list, row, kAddress, QString::fromStdString(room->GetIPString()));
    } else if (m_editColumn == kGateway) {
        room->m_gatewayIp = m_ipEditor->GetAddress();
        SetCell(m_list, row, kGateway, QString::fromStdString(room->GetGatewayIPString()));
    } else {
        return;
    }
    SaveRoomAddress(m_server->m_db, *room, m_editColumn);
}

// Names keep what fits their 30-byte fields (29 bytes, no character split);
// the cell, the room and the database all get that much.
void CDlgIPlist::CommitText(CRoom *room, int row, const QString &text)
{
    const QByteArray gbk = platform::GbkFromQString(text);
    const std::string_view typed(gbk.constData(), static_cast<size_t>(gbk.size()));
    if (m_editColumn == kRoomName) {
        platform::CopyToField(room->m_name, sizeof room->m_name, typed);
        SetCell(m_list, row, kRoomName, Gbk(platform::FieldText(room->m_name, sizeof room->m_name)));
        SaveRoomName(m_server->m_db, *room);
    } else if (m_editColumn == kBuildName) {
        CBuild *build = m_server->m_hotel.FindBuild(room->m_buildNum);
        if (!build)
            return;
        platform::CopyToField(build->m_name, sizeof build->m_name, typed);
        SetCell(m_list, row, kBuildName, Gbk(platform::FieldText(build->m_name, sizeof build->m_name)));
        if (SaveBuildingName(m_server->m_db, *build))
            FillList();
    } else if (m_editColumn == kCode) {
        room->m_unitCode = LeadingNumber(text);
        SetCell(m_list, row, kCode, text);
        SaveUnitCode(m_server->m_db, *room);
    }
}
