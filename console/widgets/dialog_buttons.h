#pragma once
// The button row of the dialogs: OK ("确定" unless told otherwise), the
// default button, and "取消".
#include "console/widgets/gui_text.h"

#include <QDialogButtonBox>
#include <QPushButton>

template <class Dialog, class OnOk, class OnCancel>
QDialogButtonBox *OkCancelButtons(Dialog *dialog, OnOk onOk, OnCancel onCancel, const char *okText = "确定")
{
    auto *buttons = new QDialogButtonBox(dialog);
    buttons->addButton(GuiText(okText), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(GuiText("取消"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, onOk);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, onCancel);
    return buttons;
}
