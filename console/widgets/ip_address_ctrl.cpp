#include "console/widgets/ip_address_ctrl.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

namespace {
constexpr unsigned kFieldMax = 255;
} // namespace

CIPAddressCtrl::CIPAddressCtrl(QWidget *parent) : QFrame(parent)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::StrongFocus);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(0);
    auto *validator = new QIntValidator(0, kFieldMax, this);
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            layout->addWidget(new QLabel(QStringLiteral("."), this));
        auto *field = new QLineEdit(this);
        field->setFrame(false);
        field->setMaxLength(3);
        field->setValidator(validator);
        field->setAlignment(Qt::AlignCenter);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i, field](const QString &text) {
            // The validator lets three digits above 255 stand (they could
            // still be edited down); like the Windows control, a field
            // takes 255 in their place.
            if (text.toUInt() > kFieldMax)
                field->setText(QString::number(kFieldMax));
            if (text.size() == 3 && i < 3)
                SetFieldFocus(i + 1);
        });
        layout->addWidget(field, 1);
        m_fields[i] = field;
    }
    setFocusProxy(m_fields[0]);
}

void CIPAddressCtrl::SetAddress(uint32_t address)
{
    for (int i = 0; i < 4; ++i)
        m_fields[i]->setText(QString::number((address >> (24 - 8 * i)) & 0xFFu));
}

uint32_t CIPAddressCtrl::GetAddress() const
{
    uint32_t address = 0;
    for (QLineEdit *field : m_fields)
        address = address << 8 | std::min(field->text().toUInt(), kFieldMax);
    return address;
}

void CIPAddressCtrl::SetFieldFocus(int field)
{
    m_fields[field]->setFocus();
    m_fields[field]->selectAll();
}

bool CIPAddressCtrl::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        for (int i = 0; i < 3; ++i) {
            if (watched == m_fields[i] && key->key() == Qt::Key_Period) {
                // A dot right after the move to a field (its old text still
                // selected) is the one that ends the field before.
                QLineEdit *field = m_fields[i];
                if (!field->text().isEmpty() && field->selectedText() != field->text())
                    SetFieldFocus(i + 1);
                return true;
            }
        }
    }
    return QFrame::eventFilter(watched, event);
}

void CIPAddressCtrl::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        setBackgroundRole(isEnabled() ? QPalette::Base : QPalette::Window);
}
