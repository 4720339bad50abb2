#include "console/widgets/kelvor_window.h"

#include "console/kelvor_dlg.h"
#include "console/widgets/dlg_client.h"
#include "console/widgets/dlg_setting.h"
#include "console/widgets/dlg_super_user.h"
#include "console/widgets/elided_label.h"
#include "console/widgets/event_log_view.h"
#include "console/widgets/gui_text.h"
#include "console/widgets/icons.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>

CKelvorWindow::CKelvorWindow(CKelvorDlg *server, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_hasTray(QSystemTrayIcon::isSystemTrayAvailable()), m_server(server)
{
    setWindowTitle(GuiText("Pemo客控服务器 2014"));
    setFont(QFont(GuiText("宋体"), 9));
    BuildControls();
    connect(m_server, &CKelvorDlg::StatusChanged, this, &CKelvorWindow::RefreshStatus);
}

CKelvorWindow::~CKelvorWindow() = default;

QPushButton *CKelvorWindow::AddButton(int id, const char *text, bool shown)
{
    auto *button = new QPushButton(GuiText(text), this);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    button->setVisible(shown);
    m_buttons[id] = button;
    return button;
}

void CKelvorWindow::BuildControls()
{
    auto label = [this](int id, const char *text) {
        auto *l = new QLabel(GuiText(text), this);
        if (id) {
            l->setObjectName(QString::number(id));
            m_labels[id] = l;
        }
        return l;
    };

    auto *status = new QGroupBox(GuiText("系统运行状态"), this);
    auto *grid = new QGridLayout(status);
    m_picDbUp = label(1022, "");
    m_picDbUp->setPixmap(DatabaseStatePicture(true));
    m_picDbDown = label(1023, "");
    m_picDbDown->setPixmap(DatabaseStatePicture(false));
    m_picDbUp->hide();
    auto *pictures = new QHBoxLayout;
    pictures->addWidget(m_picDbUp);
    pictures->addWidget(m_picDbDown);
    grid->addLayout(pictures, 0, 0);
    grid->addWidget(label(0, "数据库连接状态："), 0, 1);
    // Without a database the line carries the whole connection string.
    m_txtDbState = new ElidedLabel(GuiText("静态"), this);
    m_txtDbState->setObjectName(QStringLiteral("1024"));
    m_txtDbState->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_labels[1024] = m_txtDbState;
    grid->addWidget(m_txtDbState, 0, 2, 1, 3);
    grid->addWidget(label(0, "接收客房控制器报文："), 1, 1);
    grid->addWidget(label(1019, ""), 1, 2);
    grid->addWidget(label(0, "发送客房控制器报文："), 1, 3);
    grid->addWidget(label(1021, ""), 1, 4);
    grid->addWidget(label(0, "接收客户端报文："), 2, 1);
    grid->addWidget(label(1028, ""), 2, 2);
    grid->addWidget(label(0, "发送客户端报文："), 2, 3);
    grid->addWidget(label(1029, ""), 2, 4);
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(4, 1);

    m_logList = new EventLogView(this);
    m_logList->setObjectName("1014");
    m_logList->setModel(&m_server->LogModel());
    m_logList->setSelectionModel(&m_server->LogSelection());
    m_logList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_logList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_logList->setUniformItemSizes(true);
    m_logList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto *left = new QVBoxLayout;
    left->addWidget(status);
    left->addWidget(label(0, "事件列表："));
    left->addWidget(m_logList, 1);

    auto *right = new QVBoxLayout;
    const struct {
        int id;
        const char *text;
    } shown[] = {{1010, "在线用户"}, {1013, "设置管理员"}, {1036, "客房IP表"}, {1011, "设置选项"},
                 {1031, "发送时间"}, {1047, "刷新状态"},   {1026, "TEST"}};
    for (const auto &b : shown)
        right->addWidget(AddButton(b.id, b.text, true));
    right->addStretch(1);
    right->addWidget(AddButton(1025, "关于", true));

    // Controls the window holds but never shows.
    const struct {
        int id;
        const char *text;
    } hidden[] = {{1008, "登录数据库"},   {1009, "数据库维护"},   {1015, "数据库备份"},
                  {1016, "数据库恢复"},   {1012, "获取主机时间"}, {1046, "获取客房状态"},
                  {1038, "获取房间配置"}, {1039, "获取空调状态"}, {1040, "获取取电状态"}};
    for (const auto &b : hidden)
        AddButton(b.id, b.text, false);
    m_roomCombo = new QComboBox(this);
    m_roomCombo->setObjectName("1037");
    m_roomCombo->hide();
    for (int id : {1027, 1030, 1057}) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QString::number(id));
        edit->setReadOnly(true);
        edit->hide();
    }
    for (const char *text : {"酒店名称：", "酒店地址：", "统计信息："})
        label(0, text)->hide();

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(label(1041, "静态"), 2);
    bottom->addWidget(label(1042, "静态"), 1);
    bottom->addWidget(label(1043, "静态"), 1);
    bottom->addWidget(label(0, "版本Ver6 WIN8"));

    auto *top = new QHBoxLayout;
    top->addLayout(left, 1);
    top->addLayout(right);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
    resize(680, 520);
    setFixedSize(size());
}

void CKelvorWindow::OnInitDialog()
{
    setWindowIcon(ServerIcon());

    m_trayMenu = new QMenu(this);
    QAction *showHide = m_trayMenu->addAction(QStringLiteral("Show/Hide"), this, &CKelvorWindow::OnTrayShowHide);
    m_trayMenu->addAction(QStringLiteral("Exit..."), this, &CKelvorWindow::OnTrayExit);
    m_trayMenu->setDefaultAction(showHide);
    m_tray = new QSystemTrayIcon(ServerIcon(), this);
    m_tray->setToolTip(GuiText("Kelvor客控服务器"));
    m_tray->setContextMenu(m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            OnTrayShowHide();
    });
    if (m_hasTray) {
        m_tray->show();
    } else {
        // Without a notification area the tray menu is the window's own
        // context menu, so "Exit..." stays reachable.
        setContextMenuPolicy(Qt::CustomContextMenu);
        connect(this, &QWidget::customContextMenuRequested, this,
                [this](const QPoint &pos) { m_trayMenu->popup(mapToGlobal(pos)); });
    }

    CreateDialogs();
    ConnectCommands();

    m_server->OnInitDialog();
    // The monitor's idle passes belong to the modal run that follows.
    m_server->m_idleLoopLevel = QThread::currentThread()->loopLevel() + 1;

    std::vector<const RoomListItem *> items;
    for (const RoomListItem &item : m_server->RoomList())
        items.push_back(&item);
    std::stable_sort(items.begin(), items.end(), [](const RoomListItem *a, const RoomListItem *b) {
        return platform::QStringFromGbk(a->text).localeAwareCompare(platform::QStringFromGbk(b->text)) < 0;
    });
    for (const RoomListItem *item : items)
        m_roomCombo->addItem(platform::QStringFromGbk(item->text),
                             QVariant::fromValue(static_cast<void *>(item->room)));
    // A combo box selects its first item on its own; the selector starts
    // with none, so the room queries do nothing until a room is chosen.
    m_roomCombo->setCurrentIndex(-1);
    RefreshStatus();
}

void CKelvorWindow::OnDestroy()
{
    if (m_tray)
        m_tray->hide();
    m_server->OnDestroy();
}

void CKelvorWindow::OnTrayShowHide()
{
    if (!isVisible() || isMinimized()) {
        showNormal();
        raise();
        activateWindow();
    } else if (m_hasTray) {
        hide();
    } else {
        // Hidden without a tray icon, nothing could bring the window back.
        showMinimized();
    }
}

int CKelvorWindow::exec()
{
    if (m_endRequested)
        return m_endResult;
    QEventLoop loop;
    m_runLoop = &loop;
    show();
    const int result = loop.exec(QEventLoop::DialogExec);
    m_runLoop = nullptr;
    return result;
}

void CKelvorWindow::EndModalLoop(int result)
{
    m_endRequested = true;
    m_endResult = result;
    hide();
    if (m_runLoop)
        m_runLoop->exit(result);
}

void CKelvorWindow::OnTrayExit() { EndModalLoop(0); }

void CKelvorWindow::HideToTray()
{
    if (m_dlgSetting)
        m_dlgSetting->hide();
    if (m_dlgClient)
        m_dlgClient->hide();
    hide();
}

void CKelvorWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
    if (m_hasTray)
        HideToTray();
    else
        showMinimized();
}

void CKelvorWindow::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_hasTray) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        HideToTray();
    }
}

QPushButton *CKelvorWindow::Button(int id) const
{
    const auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

QLabel *CKelvorWindow::Label(int id) const
{
    const auto it = m_labels.find(id);
    return it == m_labels.end() ? nullptr : it->second;
}

void CKelvorWindow::RefreshStatus()
{
    if (isMinimized())
        return;
    const StatusTexts t = m_server->GetStatusTexts();
    m_picDbUp->setVisible(t.dbOpen);
    m_picDbDown->setVisible(!t.dbOpen);
    m_txtDbState->SetFullText(platform::QStringFromGbk(t.dbState));
    if (t.dbOpen) {
        Label(1019)->setText(platform::QStringFromGbk(t.rcuRecv));
        Label(1021)->setText(platform::QStringFromGbk(t.rcuSend));
        Label(1028)->setText(platform::QStringFromGbk(t.clientRecv));
        Label(1029)->setText(platform::QStringFromGbk(t.clientSend));
    }
    findChild<QLineEdit *>("1027")->setText(platform::QStringFromGbk(t.hotelName));
    findChild<QLineEdit *>("1030")->setText(platform::QStringFromGbk(t.hotelAddress));
    findChild<QLineEdit *>("1057")->setText(platform::QStringFromGbk(t.totalRooms));
    Label(1041)->setText(platform::QStringFromGbk(t.hotelInfo));
    Label(1042)->setText(platform::QStringFromGbk(t.roomCount));
    Label(1043)->setText(platform::QStringFromGbk(t.statusNote));
    Button(1008)->setEnabled(true);
}
