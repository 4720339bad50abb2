#pragma once
// "房间IP对应表": one row per room in service, with the five values the
// server keeps per room (building name, room name, unit and gateway
// addresses, unit code) edited in place. A double click opens an editor over
// the cell; the value is taken the next time the list gets the focus, put
// into the room (or building) at once and saved to the database.
#include <QDialog>
#include <QTableWidget>

class CIPAddressCtrl;
class CKelvorDlg;
class CRoom;
class QLineEdit;

// The table; it takes the focus before it scrolls, so an open edit is
// committed before its cell moves away.
class CMyListCtrl : public QTableWidget {
    Q_OBJECT
public:
    explicit CMyListCtrl(QWidget *parent);

signals:
    void FocusIn();

protected:
    void focusInEvent(QFocusEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
};

class CDlgIPlist : public QDialog {
    Q_OBJECT
public:
    CDlgIPlist(CKelvorDlg *server, QWidget *parent);

    CMyListCtrl *List() const { return m_list; }                // 1015
    CIPAddressCtrl *AddressEditor() const { return m_ipEditor; } // 1017
    QLineEdit *TextEditor() const { return m_textEditor; }      // 1044
    int EditedRow() const { return m_editRow; }
    // Wide enough for every column without scrolling sideways.
    QSize sizeHint() const override;

    void FillList();
    void OnNMDblclkList(int row, int column);
    void OnNMSetfocusList();

private:
    CRoom *RoomOfRow(int row) const;
    void PlaceOver(QWidget *editor, int row, int column);
    void CommitAddress(CRoom *room, int row);
    void CommitText(CRoom *room, int row, const QString &text);

    CKelvorDlg *m_server;
    int m_editRow = -1;
    int m_editColumn = 0;
    CMyListCtrl *m_list;
    CIPAddressCtrl *m_ipEditor;
    QLineEdit *m_textEditor;
};
