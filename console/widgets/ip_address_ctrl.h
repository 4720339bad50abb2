#pragma once
// An IPv4 address control: four fields of 0 to 255 between dots. The
// address is one u32 with the first field in the most significant byte; an
// empty field counts as 0. Typing three digits or a dot moves to the next
// field, which comes with its text selected.
#include <QFrame>
#include <array>
#include <cstdint>

class QLineEdit;

class CIPAddressCtrl : public QFrame {
    Q_OBJECT
public:
    explicit CIPAddressCtrl(QWidget *parent = nullptr);

    void SetAddress(uint32_t address);
    uint32_t GetAddress() const;
    // The focus into field 0 .. 3.
    void SetFieldFocus(int field);
    QLineEdit *Field(int field) const { return m_fields[field]; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    std::array<QLineEdit *, 4> m_fields{};
};
