#include "console/widgets/message_box_handler.h"

#include "console/widgets/dialog_placement.h"
#include "console/widgets/gui_text.h"
#include "platform/message_box.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

bool HasInteractiveDisplay()
{
    const QString platformName = QGuiApplication::platformName();
    if (platformName == QLatin1String("offscreen") || platformName == QLatin1String("minimal"))
        return false;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

std::unique_ptr<QMessageBox> MakeMessageBox(std::string_view text, QMessageBox::StandardButtons buttons)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, QCoreApplication::applicationName(),
                                             platform::QStringFromGbk(text), buttons);
    // QMessageBox sizes itself to its text and leaves the caption only a
    // little room; a short text would cut the caption in the title bar. A
    // spacer across the box's grid holds it as wide as the caption needs.
    if (auto *grid = qobject_cast<QGridLayout *>(box->layout()))
        grid->addItem(new QSpacerItem(CaptionWidth(box.get()), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return box;
}

namespace {

platform::MsgAnswer ShowBox(std::string_view text, platform::MsgButtons buttons, platform::MsgAnswer defaultAnswer)
{
    using platform::MsgAnswer;
    using platform::MsgButtons;
    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    switch (buttons) {
    case MsgButtons::Ok: standard = QMessageBox::Ok; break;
    case MsgButtons::OkCancel: standard = QMessageBox::Ok | QMessageBox::Cancel; break;
    case MsgButtons::YesNo: standard = QMessageBox::Yes | QMessageBox::No; break;
    case MsgButtons::YesNoCancel: standard = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    }
    auto toStandard = [](MsgAnswer a) {
        switch (a) {
        case MsgAnswer::Ok: return QMessageBox::Ok;
        case MsgAnswer::Cancel: return QMessageBox::Cancel;
        case MsgAnswer::Yes: return QMessageBox::Yes;
        case MsgAnswer::No: return QMessageBox::No;
        }
        return QMessageBox::Ok;
    };
    const auto box = MakeMessageBox(text, standard);
    box->setDefaultButton(toStandard(defaultAnswer));
    switch (box->exec()) {
    case QMessageBox::Ok: return MsgAnswer::Ok;
    case QMessageBox::Cancel: return MsgAnswer::Cancel;
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    default: return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel;
    }
}

} // namespace

void InstallMessageBoxHandler()
{
    if (HasInteractiveDisplay())
        platform::SetMessageBoxHandler(ShowBox);
    else
        platform::SetMessageBoxHandler({});
}
