// The window's buttons: the secondary dialogs, shown centred over the
// window, and the operator commands of the server, with the file dialogs of
// backup and restore and the room selector.
#include "console/widgets/kelvor_window.h"

#include "console/kelvor_dlg.h"
#include "console/widgets/dialog_placement.h"
#include "console/widgets/dlg_client.h"
#include "console/widgets/dlg_ip_list.h"
#include "console/widgets/dlg_param.h"
#include "console/widgets/dlg_setting.h"
#include "console/widgets/dlg_super_user.h"
#include "platform/gbk.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QStyle>

namespace {

// Icons and type names from a file's name and kind alone. Qt's own providers
// read a file's first bytes to tell its type; in the working directory that
// would open and close the live database files (velto.db, tempdb.db, their
// -wal and -shm), and on Linux closing any descriptor of a file drops every
// POSIX lock the process holds on it: the engine's locks would be gone.
class NameOnlyIconProvider : public QAbstractFileIconProvider {
public:
    QIcon icon(IconType type) const override
    {
        return QApplication::style()->standardIcon(type == Folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
    }
    QIcon icon(const QFileInfo &info) const override { return icon(info.isDir() ? Folder : File); }
    QString type(const QFileInfo &info) const override
    {
        const char *context = "QAbstractFileIconProvider";
        if (info.isDir())
            return QGuiApplication::translate(context, "Folder");
        if (info.suffix().isEmpty())
            return QGuiApplication::translate(context, "File");
        return QGuiApplication::translate(context, "%1 File").arg(info.suffix());
    }
};

// Overwriting an existing file is asked first; the read-only box of the
// original has no counterpart here.
QString ChooseFileInWorkingDirectory(QWidget *parent, bool save, const QString &defaultName)
{
    NameOnlyIconProvider icons; // outlives the dialog that uses it
    QFileDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("backupFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.setDirectory(QDir::current());
    // Qt takes the pattern from the last parentheses; the entry shows without it.
    dialog.setNameFilter(QStringLiteral("backup file (*.bak) (*.bak)"));
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("bak"));
        dialog.selectFile(defaultName);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

template <class Dialog> void ShowCentred(Dialog *dialog)
{
    CentreOverParent(dialog);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

} // namespace

void CKelvorWindow::CreateDialogs()
{
    m_dlgClient = new CDlgClient(m_server, this);
    m_dlgSetting = new CDlgSetting(m_server, this);
    m_dlgParam = new CDlgParam(m_server, this);
    m_dlgSuperUser = new CDlgSuperUser(m_server, this);
    m_dlgIPlist = new CDlgIPlist(m_server, this);
    if (!m_chooseFile)
        m_chooseFile = [this](bool save, const QString &defaultName) {
            return ChooseFileInWorkingDirectory(this, save, defaultName);
        };
}

void CKelvorWindow::ConnectCommands()
{
    auto on = [this](int id, auto handler) { connect(Button(id), &QPushButton::clicked, this, handler); };
    on(1010, [this] {
        m_dlgClient->RefreshList();
        ShowCentred(m_dlgClient.data());
    });
    on(1036, [this] {
        m_dlgIPlist->FillList();
        ShowCentred(m_dlgIPlist.data());
    });
    on(1011, [this] { ShowCentred(m_dlgParam.data()); });
    on(1013, [this] { m_dlgSuperUser->ShowCentred(); });
    on(1009, [this] { ShowCentred(m_dlgSetting.data()); });
    on(1031, [this] { m_server->OnBtnSendTime(); });
    on(1047, [this] { m_server->OnBtnRefreshState(); });
    on(1026, [this] { m_server->OnBtnTest(); });
    on(1008, [this] { m_server->OnBtnLoginDb(); });
    on(1015, [this] { OnBtnDbBackup(); });
    on(1016, [this] { OnBtnDbRestore(); });
    on(1046, [this] { m_server->OnBtnGetRoomState(SelectedRoom()); });
    on(1012, [this] { m_server->OnBtnGetHostTime(SelectedRoom()); });
    // The selection is read again by the two buttons above; its change
    // itself does nothing, nor do "关于" and the three configuration queries.
}

CRoom *CKelvorWindow::SelectedRoom() const
{
    if (m_roomCombo->currentIndex() < 0)
        return nullptr;
    return static_cast<CRoom *>(m_roomCombo->currentData().value<void *>());
}

void CKelvorWindow::OnBtnDbBackup()
{
    if (!m_server->m_db.IsOpen())
        return;
    const QString path = m_chooseFile(true, platform::QStringFromGbk(m_server->BackupFileName()));
    if (!path.isEmpty())
        m_server->BackupDatabase(platform::GbkFromQString(path).toStdString());
}

void CKelvorWindow::OnBtnDbRestore()
{
    if (!m_server->m_db.IsOpen())
        return;
    const QString path = m_chooseFile(false, QString());
    if (!path.isEmpty())
        m_server->RestoreDatabase(platform::GbkFromQString(path).toStdString());
}
