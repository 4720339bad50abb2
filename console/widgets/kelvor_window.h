#pragma once
// The operator window: status area, counters, event log, the buttons and the
// tray icon. It views the server object (CKelvorDlg) and drives its start-up
// and shutdown; closing or minimising only hides it, "Exit..." ends it.
#include <QDialog>
#include <QEventLoop>
#include <QPointer>
#include <functional>
#include <map>

class CKelvorDlg;
class CDlgClient;
class CDlgIPlist;
class CDlgParam;
class CDlgSetting;
class CDlgSuperUser;
class CRoom;
class ElidedLabel;
class QComboBox;
class QLabel;
class QListView;
class QMenu;
class QPushButton;
class QSystemTrayIcon;

class CKelvorWindow : public QDialog {
    Q_OBJECT
public:
    explicit CKelvorWindow(CKelvorDlg *server, QWidget *parent = nullptr);
    ~CKelvorWindow() override;

    // Window icons, tray icon, secondary dialogs, then the server's start-up
    // and the room selector.
    void OnInitDialog();
    // Tray icon away, then the server's shutdown.
    void OnDestroy();

    // The server's run: shows the window and runs the event loop until
    // EndModalLoop; its result is EndModalLoop's. Not QDialog's own modal
    // loop, which ends whenever the dialog is hidden: here hiding the window
    // to the tray (close box, minimise, "Show/Hide") must leave it running.
    int exec() override;
    // Ends the run that exec() holds (or the one it is about to start). The
    // only way the server's run ends: "Exit..." and an orderly stop call it.
    void EndModalLoop(int result);

    void OnTrayShowHide();
    // "Exit...": EndModalLoop(0).
    void OnTrayExit();
    // Re-reads the server's status texts into the controls.
    void RefreshStatus();

    // Controls by their numbers (1008 .. 1057) for the operator commands.
    QPushButton *Button(int id) const;
    QLabel *Label(int id) const;
    QListView *LogView() const { return m_logList; }
    QComboBox *RoomCombo() const { return m_roomCombo; }
    QSystemTrayIcon *Tray() const { return m_tray; }
    QMenu *TrayMenu() const { return m_trayMenu; }
    CDlgSuperUser *SuperUserDialog() const { return m_dlgSuperUser; }

    // Whether the desktop has a notification area: only then do minimise and
    // close hide the window to the tray (else it could never come back).
    bool m_hasTray;

    // The secondary dialogs (created hidden). Minimising hides the first two.
    QPointer<CDlgSetting> m_dlgSetting;
    QPointer<CDlgClient> m_dlgClient;
    QPointer<CDlgParam> m_dlgParam;
    QPointer<CDlgIPlist> m_dlgIPlist;
    CDlgSuperUser *m_dlgSuperUser = nullptr;

    // The operator commands' handlers that need the window: a file to back
    // up to or restore from, the room selector's room.
    void OnBtnDbBackup();
    void OnBtnDbRestore();
    CRoom *SelectedRoom() const;
    // Asks for the file (save: the backup) in the working directory; empty
    // when cancelled. Tests replace it.
    std::function<QString(bool save, const QString &defaultName)> m_chooseFile;

public slots:
    // Enter and Escape never close the window.
    void accept() override {}
    void reject() override {}

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void BuildControls();
    // The secondary dialogs, then every button's handler.
    void CreateDialogs();
    void ConnectCommands();
    void HideToTray();
    QPushButton *AddButton(int id, const char *text, bool shown);

    CKelvorDlg *m_server;
    QEventLoop *m_runLoop = nullptr; // while exec() runs
    bool m_endRequested = false;
    int m_endResult = 0;
    QSystemTrayIcon *m_tray = nullptr;
    QMenu *m_trayMenu = nullptr;
    QListView *m_logList = nullptr;
    QComboBox *m_roomCombo = nullptr;
    QLabel *m_picDbUp = nullptr, *m_picDbDown = nullptr;
    ElidedLabel *m_txtDbState = nullptr;
    std::map<int, QPushButton *> m_buttons;
    std::map<int, QLabel *> m_labels;
};
