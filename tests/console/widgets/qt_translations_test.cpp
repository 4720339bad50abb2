// Qt's own texts are Chinese once the application's start-up has run: the
// standard buttons of a message box and the labels of the file dialog.
#include "dialog_fixture.h"

#include "console/widgets/kelvor_app.h"
#include "platform/gbk.h"
#include "platform/message_box.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(QtTranslationsTest, StartUpMakesQtsOwnTextsChinese)
{
    const QString organisation = QCoreApplication::organizationName();
    CKelvorApp::PrepareApplication();
    QCoreApplication::setOrganizationName(organisation);
    platform::SetMessageBoxHandler({});

    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("kelvor-server"), QStringLiteral("text"),
                    QMessageBox::Ok | QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    const struct {
        QMessageBox::StandardButton button;
        const char *text;
    } buttons[] = {{QMessageBox::Ok, "确定"}, {QMessageBox::Yes, "是(&Y)"}, {QMessageBox::No, "否(&N)"},
                   {QMessageBox::Cancel, "取消"}};
    // As a Chinese Windows shows them: 确定, 是(Y), 否(N), 取消.
    for (const auto &b : buttons)
        EXPECT_EQ(box.button(b.button)->text(), platform::QStringFromGbk(b.text)) << b.button;
    Screenshot(&box, "message_box_buttons");

    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto *lookIn = dialog.findChild<QLabel *>(QStringLiteral("lookInLabel"));
    ASSERT_NE(lookIn, nullptr);
    EXPECT_EQ(lookIn->text(), platform::QStringFromGbk("查找范围："));
    EXPECT_EQ(dialog.labelText(QFileDialog::FileName), platform::QStringFromGbk("文件名称(&N)："));
    EXPECT_EQ(dialog.labelText(QFileDialog::Accept), platform::QStringFromGbk("打开(&O)"));
}
